# Builds TARGET in BUILD_DIR and passes only if the build fails because the
# Qt Widgets header can't be found.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "${TARGET} compiled: a GUI-free target can reach Qt Widgets")
endif()
if(NOT "${out}${err}" MATCHES "QWidget")
  message(FATAL_ERROR "${TARGET} failed for another reason:\n${out}${err}")
endif()
message(STATUS "${TARGET} fails to compile, as it must")
