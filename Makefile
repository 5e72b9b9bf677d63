# Thin wrapper over CMake. `make run` and `make test` are the two commands of the README.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps test-deps build run install package test test-fast test-san test-tsan test-fuzz fuzz \
	fuzz-build bench format clean abi-baseline

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

# The programs, the mesh, the desktop entry, the icon and the man pages under PREFIX
# (DESTDIR honoured); the same as a Debian package in build/.
PREFIX ?= /usr/local

install: build
	cmake --install build --prefix $(PREFIX)

package: build
	cd build && cpack -G DEB

# Every test in the normal build, then the sanitizer builds and the fuzzers.
test: test-deps
	$(MAKE) --no-print-directory test-fast test-san test-tsan test-fuzz

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

# The libFuzzer harnesses of tests/fuzz, built by clang. test-fuzz runs each for a fixed
# number of inputs from a fixed seed; fuzz runs each for FUZZ_SECONDS and keeps the corpus
# it grows in build-fuzz/tests/fuzz/corpus/.
FUZZ_SECONDS ?= 60

fuzz-build:
	cmake -S . -B build-fuzz -DZARVO_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		$(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target zarvo-fuzzers

test-fuzz: fuzz-build
	cd build-fuzz && ctest --output-on-failure -j $(JOBS) -L '^fuzz$$'

fuzz: fuzz-build
	cd build-fuzz && FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --output-on-failure -L '^fuzz-long$$'

bench: build
	cmake --build build -j $(JOBS) --target zarvo-bench
	build/bench/zarvo-bench

# Rewrites libzarvo's ABI baseline (libzarvo/abi/) from the built library: only for a
# deliberate change of the ABI, committed on its own. The test suite's libzarvo.abi compares
# every build against it.
abi-baseline: build
	cmake --build build --target zarvo-abi-baseline

# Reformats every tracked C++ file with the project's .clang-format.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-san build-tsan build-fuzz
