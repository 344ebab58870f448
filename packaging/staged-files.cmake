# Run by CPack once it has staged (installed and stripped) the files of a package, before
# it archives them: the Linux program loses the sections that only name the compiler
# (.comment, .note), as in Debian's own packages (dh_strip).
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*")
foreach(program ${programs})
  execute_process(COMMAND ${CPACK_OBJCOPY_EXECUTABLE} --remove-section=.comment --remove-section=.note ${program}
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
