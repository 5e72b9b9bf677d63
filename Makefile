# Thin wrapper over CMake. `make run` and `make test` are the two commands of the README.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps test-deps build run test test-fast test-san test-tsan bench format clean

all: build

deps:
	@tools/install-deps.sh

test-deps:
	@tools/install-deps.sh test

build: deps
	cmake -S . -B build $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

# The program reads vertex.txt and face.txt from its working directory.
run: build
	cd data && ../build/zarvo

# Every test in the normal build, then the sanitizer builds.
test: test-deps
	$(MAKE) --no-print-directory test-fast test-san test-tsan

test-fast: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-san:
	cmake -S . -B build-san -DZARVO_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-san -j $(JOBS)
	cd build-san && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS) -L unit

test-tsan:
	cmake -S . -B build-tsan -DZARVO_TSAN=ON $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS) --target zarvo-tsan-tests
	cd build-tsan && ctest --output-on-failure -L tsan

bench: build
	cmake --build build -j $(JOBS) --target zarvo-bench
	build/bench/zarvo-bench

# Reformats every tracked C++ file with the project's .clang-format.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-san build-tsan
