# Reruns tools/make_head_mesh.py into OUT and compares the result with data/.
# Variables: PYTHON (interpreter), SOURCE (project root), OUT (scratch directory).
file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${PYTHON} ${SOURCE}/tools/make_head_mesh.py --out ${OUT} --quiet
                             --costav ${SOURCE}/model/costav.cpp
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_head_mesh.py failed (${status})")
endif()
foreach(name vertex.txt face.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name} ${SOURCE}/data/${name}
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "regenerated ${name} differs from data/${name}")
  endif()
endforeach()
