# Manual pages made at build time from each program's --help and --version with help2man, so
# their options never drift from the programs, with the sections of packaging/man/*.h2m. Off
# in sanitizer builds, whose programs are not shipped.
find_program(TARVO_HELP2MAN help2man)
find_program(TARVO_GZIP gzip)
if(TARVO_HELP2MAN AND TARVO_GZIP AND NOT TARVO_SANITIZE)
  set(TARVO_MAN_PAGES_DEFAULT ON)
else()
  set(TARVO_MAN_PAGES_DEFAULT OFF)
endif()
option(TARVO_MAN_PAGES "Make the manual pages with help2man" ${TARVO_MAN_PAGES_DEFAULT})
if(TARVO_MAN_PAGES AND NOT (TARVO_HELP2MAN AND TARVO_GZIP))
  message(FATAL_ERROR "TARVO_MAN_PAGES needs help2man and gzip (Debian: help2man)")
endif()

set(TARVO_MAN_DIR ${CMAKE_BINARY_DIR}/man)

# tarvo_man_page(PROGRAM "what it is" COMPONENT): section 1 page PROGRAM.1.gz for the program
# target, installed with the package component that holds the program.
function(tarvo_man_page program description component)
  if(NOT TARVO_MAN_PAGES)
    return()
  endif()
  set(page ${TARVO_MAN_DIR}/${program}.1)
  # The sections --help cannot give (FILES, ENVIRONMENT, EXIT STATUS, EXAMPLES, SEE ALSO) are
  # written for the page in packaging/man/PROGRAM.h2m.
  set(include ${PROJECT_SOURCE_DIR}/packaging/man/${program}.h2m)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARVO_MAN_DIR}
    COMMAND ${TARVO_HELP2MAN} --no-info --no-discard-stderr --section=1
            --name=${description} --include=${include} --output=${page}
            $<TARGET_FILE:${program}>
    COMMAND ${TARVO_GZIP} -9nf ${page}
    DEPENDS ${program} ${include}
    COMMENT "Manual page for ${program}"
    VERBATIM)
  add_custom_target(man_${program} ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()
