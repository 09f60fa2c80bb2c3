# Run by CPack after it built the package (CPACK_POST_BUILD_SCRIPTS): lintian checks each .deb
# and the build fails on any error, so a package that Debian's tools reject is never handed on.
# Warnings and notes are shown; the ones that remain on purpose are overridden in
# share/lintian/overrides/kelvane with the reason.
find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(WARNING "lintian is not installed: the package was not checked")
  return()
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  message(STATUS "lintian ${package}")
  execute_process(COMMAND "${LINTIAN}" --fail-on error --info --display-info "${package}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lintian finds errors in ${package}")
  endif()
endforeach()
