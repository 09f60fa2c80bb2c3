# Run by CPack after it built the package (CPACK_POST_BUILD_SCRIPTS): each .deb declares the
# HTML Tidy it carries, and lintian checks it: the build fails on any error, so a package that
# Debian's tools reject is never handed on. Warnings and notes are shown; the ones that remain
# on purpose are overridden in share/lintian/overrides/kelvane with the reason.
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(WARNING "lintian is not installed: the package was not checked")
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  # The field CPack was made to write (KelvanePackage.cmake) is there, as a field of its own.
  execute_process(COMMAND dpkg-deb --field "${package}" Static-Built-Using
    OUTPUT_VARIABLE declared OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT declared STREQUAL "${CPACK_KELVANE_STATIC_BUILT_USING}")
    message(FATAL_ERROR "${package} declares Static-Built-Using '${declared}', not "
                        "'${CPACK_KELVANE_STATIC_BUILT_USING}'")
  endif()
  if(NOT LINTIAN)
    continue()
  endif()
  message(STATUS "lintian ${package}")
  execute_process(COMMAND "${LINTIAN}" --fail-on error --info --display-info "${package}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lintian finds errors in ${package}")
  endif()
endforeach()
