# Runs xgettext over the marked sources (cmake -P; see CMakeLists.txt).
file(GLOB_RECURSE sources RELATIVE ${SOURCE}
  ${SOURCE}/src/platform/*.cc ${SOURCE}/src/platform/*.h
  ${SOURCE}/src/model/*.cc ${SOURCE}/src/model/*.h
  ${SOURCE}/src/conditions/*.cc ${SOURCE}/src/conditions/*.h
  ${SOURCE}/src/net/*.cc ${SOURCE}/src/net/*.h
  ${SOURCE}/src/app/*.cc ${SOURCE}/src/app/*.h
  ${SOURCE}/src/cli/*.cc ${SOURCE}/src/cli/*.h ${SOURCE}/src/cli/*.inc)
list(SORT sources)
execute_process(COMMAND ${XGETTEXT} ${OPTIONS} -o ${OUTPUT} ${sources}
  WORKING_DIRECTORY ${SOURCE} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "xgettext failed")
endif()
