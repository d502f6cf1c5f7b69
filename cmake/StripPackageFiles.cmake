# Run by CPack on the staged tree before it is packed: drops the sections of
# the programs that a stripped binary doesn't need (as dh_strip does).
find_program(strip_program strip REQUIRED)
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND ${strip_program} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
