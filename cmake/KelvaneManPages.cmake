# Manual pages: docs/man/NAME.1.scd becomes man/NAME.1 (roff, for `man -l`) and man/NAME.1.gz
# (installed) in the build tree, with scdoc from Debian's scdoc package. The folders they name
# are the configured ones (KelvaneInstallPaths.cmake).
find_program(SCDOC_PROGRAM scdoc REQUIRED)
find_program(GZIP_PROGRAM gzip REQUIRED)

# The pages' date: the last commit's, so that rebuilding one version gives the same package.
set(_kelvane_page_date "$ENV{SOURCE_DATE_EPOCH}")
if(_kelvane_page_date STREQUAL "" AND EXISTS "${CMAKE_SOURCE_DIR}/.git")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct
      WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
      OUTPUT_VARIABLE _kelvane_page_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()

set(KELVANE_MAN_PAGES kelvane kelvane-batch kelvane-send)
set(KELVANE_MAN_DIR "${CMAKE_BINARY_DIR}/man")
set(_kelvane_pages "")
foreach(page IN LISTS KELVANE_MAN_PAGES)
  set(source "${CMAKE_SOURCE_DIR}/docs/man/${page}.1.scd")
  set(output "${KELVANE_MAN_DIR}/${page}.1.gz")
  add_custom_command(OUTPUT "${output}" "${KELVANE_MAN_DIR}/${page}.1"
    COMMAND "${CMAKE_COMMAND}" -DSCDOC=${SCDOC_PROGRAM} -DGZIP=${GZIP_PROGRAM}
            -DINPUT=${source} -DOUTPUT=${output} -DVERSION=${PROJECT_VERSION}
            -DHELPER_DIR=${KELVANE_HELPER_FULL_DIR} -DDATA_DIR=${KELVANE_DATA_FULL_DIR}
            -DSOURCE_DATE_EPOCH=${_kelvane_page_date}
            -P "${CMAKE_SOURCE_DIR}/cmake/RenderManPage.cmake"
    DEPENDS "${source}" "${CMAKE_SOURCE_DIR}/cmake/RenderManPage.cmake"
    COMMENT "Manual page ${page}(1)" VERBATIM)
  list(APPEND _kelvane_pages "${output}")
endforeach()
add_custom_target(manpages ALL DEPENDS ${_kelvane_pages})
install(FILES ${_kelvane_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
unset(_kelvane_pages)
unset(_kelvane_page_date)
