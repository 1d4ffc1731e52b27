# SPDX-License-Identifier: MIT
# Run by CPack on its staging folder, before it packs: drops the sections of
# the programs that Debian's dh_strip drops too and a plain strip keeps.
find_program(OBJCOPY objcopy)
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_DIRECTORY}/*/bin/*")
foreach(program IN LISTS programs)
    if(OBJCOPY)
        execute_process(COMMAND ${OBJCOPY} --remove-section=.comment --remove-section=.note ${program}
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
endforeach()
