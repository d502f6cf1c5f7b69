# Fails, naming the files, when clang-format would change any C++ file.
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/platform/*.[ch]* ${SOURCE_DIR}/search/*.[ch]* ${SOURCE_DIR}/pictures/*.[ch]*
     ${SOURCE_DIR}/results/*.[ch]* ${SOURCE_DIR}/ui/*.[ch]* ${SOURCE_DIR}/dirtree/*.[ch]*
     ${SOURCE_DIR}/app/*.[ch]* ${SOURCE_DIR}/cli/*.[ch]* ${SOURCE_DIR}/tests/*.[ch]*
     ${SOURCE_DIR}/bench/*.[ch]* ${SOURCE_DIR}/fuzz/*.[ch]*)
list(FILTER files INCLUDE REGEX "\\.(cpp|h)$")
set(unformatted "")
foreach(f IN LISTS files)
  execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${f} WORKING_DIRECTORY ${SOURCE_DIR}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0)
    list(APPEND unformatted ${f})
  endif()
endforeach()
list(LENGTH files count)
if(unformatted)
  list(JOIN unformatted "\n  " names)
  message(FATAL_ERROR "not formatted (run clang-format -i on them):\n  ${names}")
endif()
message(STATUS "${count} files formatted")
