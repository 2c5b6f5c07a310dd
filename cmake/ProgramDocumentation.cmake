# vhdx_install_program_documentation(<program> <target prefix>)
#
# A program's manual page, docs/man/<program>.1, and on Linux its bash completion,
# docs/completion/<program>:
#   Linux    the page compressed as Debian installs manual pages (target
#            <prefix>_man_page), in share/man/man1; the completion where
#            bash-completion looks for a command's completion under its name
#   Windows  the page rendered as plain text with CR LF line ends (target
#            <prefix>_manual_text), <program>.txt at the top of the zip
function(vhdx_install_program_documentation program prefix)
  include(GNUInstallDirs)
  set(page ${PROJECT_SOURCE_DIR}/docs/man/${program}.1)
  if(NOT WIN32)
    find_program(VHDX_GZIP gzip)
    if(VHDX_GZIP)
      set(compressed ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
      add_custom_command(
        OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${VHDX_GZIP} -9 -n -c ${page} > ${compressed}
        DEPENDS ${page}
        COMMENT "Compressing the manual page of ${program}"
        VERBATIM)
      add_custom_target(${prefix}_man_page ALL DEPENDS ${compressed})
      install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
      install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
    install(FILES ${PROJECT_SOURCE_DIR}/docs/completion/${program}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  else()
    find_program(VHDX_GROFF groff REQUIRED)
    set(text ${PROJECT_BINARY_DIR}/man/${program}.txt)
    add_custom_command(
      OUTPUT ${text}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -DGROFF=${VHDX_GROFF} -DINPUT=${page} -DOUTPUT=${text}
              -P ${PROJECT_SOURCE_DIR}/cmake/RenderManualAsText.cmake
      DEPENDS ${page} ${PROJECT_SOURCE_DIR}/cmake/RenderManualAsText.cmake
      COMMENT "Rendering the manual page of ${program} as text"
      VERBATIM)
    add_custom_target(${prefix}_manual_text ALL DEPENDS ${text})
    install(FILES ${text} DESTINATION .)
  endif()
endfunction()
