# Run by CPack on the staged files, before it strips them and splits off the
# debug symbols: the compiler's version stamps (.comment) are of no use in an
# installed program, and Debian's own packaging tools remove them too.
find_program(objcopy objcopy REQUIRED)
file(GLOB programs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
  message(FATAL_ERROR "no program staged in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND ${objcopy} --remove-section=.comment ${program} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
