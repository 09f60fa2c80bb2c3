# What `cmake --install` and `make package` put where (relative to the prefix, /usr in the
# Debian package): the programs, the tidy helper in libexec/kelvane (where both programs that
# tidy look for it, as KelvaneInstallPaths.cmake tells them), the language file, the desktop
# entry, icon and AppStream metainfo, the manual pages, the shell completions, the JSON
# report's schema and the package's documents.
include(GNUInstallDirs)

install(TARGETS kelvane kelvane-batch kelvane-send RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS kelvane-engine RUNTIME DESTINATION ${KELVANE_HELPER_INSTALL_DIR})
# Stripping keeps the compiler's .comment section, which only says which compiler built the
# file; Debian's packaging tools drop it too.
find_program(KELVANE_OBJCOPY NAMES objcopy ${CMAKE_OBJCOPY})
if(KELVANE_OBJCOPY)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program ${CMAKE_INSTALL_BINDIR}/kelvane ${CMAKE_INSTALL_BINDIR}/kelvane-batch
                      ${CMAKE_INSTALL_BINDIR}/kelvane-send
                      ${KELVANE_HELPER_INSTALL_DIR}/kelvane-engine)
        if(NOT IS_ABSOLUTE \"\${program}\")
          set(program \"\${CMAKE_INSTALL_PREFIX}/\${program}\")
        endif()
        execute_process(COMMAND \"${KELVANE_OBJCOPY}\" --remove-section=.comment
          \"\$ENV{DESTDIR}\${program}\")
      endforeach()
    endif()")
endif()

install(FILES data/lang.txt share/schema/kelvane-batch-report.schema.json
        DESTINATION ${KELVANE_DATA_INSTALL_DIR})
install(FILES data/kelvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/kelvane.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES share/metainfo/example.mondavik.kelvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

include(KelvaneManPages)

# Shell completions, where each shell looks for them below the prefix.
set(KELVANE_COMMANDS kelvane kelvane-batch kelvane-send)
set(_kelvane_bash_dir "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_get_variable(_bash_completions bash-completion completionsdir)
  pkg_get_variable(_bash_prefix bash-completion prefix)
  # Only a folder below bash-completion's own prefix moves with ours.
  if(_bash_completions AND _bash_prefix AND _bash_completions MATCHES "^${_bash_prefix}/(.+)$")
    set(_kelvane_bash_dir "${CMAKE_MATCH_1}")
  endif()
endif()
set(KELVANE_BASH_COMPLETIONS_DIR "${_kelvane_bash_dir}" CACHE STRING
    "Folder for the bash completions, relative to the prefix")
foreach(command IN LISTS KELVANE_COMMANDS)
  install(FILES share/completions/bash/${command}
          DESTINATION ${KELVANE_BASH_COMPLETIONS_DIR})
  install(FILES share/completions/fish/${command}.fish
          DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
endforeach()
# zsh looks in share/zsh/site-functions below its own prefix, and Debian's zsh in
# /usr/local/share/zsh/site-functions and /usr/share/zsh/vendor-completions. The prefix is
# known only at install time (the package installs into /usr, whatever was configured, and
# CPack stages it in a folder ending in /usr).
install(CODE "
  set(zsh_dir \"${CMAKE_INSTALL_DATADIR}/zsh/site-functions\")
  if(CMAKE_INSTALL_PREFIX MATCHES \"(^|/)usr$\" AND EXISTS \"/etc/debian_version\")
    set(zsh_dir \"${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions\")
  endif()
  file(INSTALL
    \"${CMAKE_SOURCE_DIR}/share/completions/zsh/_kelvane\"
    \"${CMAKE_SOURCE_DIR}/share/completions/zsh/_kelvane-batch\"
    \"${CMAKE_SOURCE_DIR}/share/completions/zsh/_kelvane-send\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${zsh_dir}\")")

# The package's documents: copyright, and the changelog compressed as Debian wants it.
set(_kelvane_changelog "${CMAKE_BINARY_DIR}/doc/changelog")
add_custom_command(OUTPUT "${_kelvane_changelog}.gz"
  COMMAND "${CMAKE_COMMAND}" -E copy "${CMAKE_SOURCE_DIR}/docs/changelog" "${_kelvane_changelog}"
  COMMAND "${GZIP_PROGRAM}" -9 -n -f "${_kelvane_changelog}"
  DEPENDS "${CMAKE_SOURCE_DIR}/docs/changelog" VERBATIM)
add_custom_target(changelog ALL DEPENDS "${_kelvane_changelog}.gz")
install(FILES docs/copyright "${_kelvane_changelog}.gz"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvane)
