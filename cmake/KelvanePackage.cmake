# `make package`: a Debian package, its library dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "Mondavik")
set(CPACK_PACKAGE_CONTACT "Kelvane developers <kelvane@mondavik.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tidies web pages in bulk with HTML Tidy, keeping backups")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.mondavik.example/kelvane/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Files 0644 and folders 0755 whatever the umask of the machine that builds the package.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The window icon is an SVG drawing, which Qt draws through the SVG plugins.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, xdg-utils, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, pre-commit")
set(CPACK_PACKAGE_DESCRIPTION
    "Runs HTML Tidy over many HTML files in place, keeping a backup of each,\nvalidates pages and restores them from their backups. kelvane-batch does\nthe same from a terminal or a CI pipeline, reporting as text, JSON or SARIF.")
# The tidy helper carries HTML Tidy inside it (built from Debian's source package, or Debian's
# static archive): the package names that source package and its version, so that an update of
# it (a security fix) is known to call for a rebuild of this package.
set(CPACK_KELVANE_STATIC_BUILT_USING "")
if(KELVANE_ENGINE_TIDY STREQUAL "Tidy::FromSource" OR KELVANE_ENGINE_TIDY STREQUAL "Tidy::Static")
  execute_process(COMMAND dpkg-query -W "-f=\${source:Package} (= \${source:Version})" libtidy-dev
                  OUTPUT_VARIABLE _kelvane_tidy_source ERROR_QUIET RESULT_VARIABLE _kelvane_query)
  if(_kelvane_query EQUAL 0 AND _kelvane_tidy_source MATCHES "^[a-z0-9][-+.a-z0-9]* \\(= [^)]+\\)$")
    set(CPACK_KELVANE_STATIC_BUILT_USING "${_kelvane_tidy_source}")
  else()
    message(WARNING "The source package of libtidy-dev is not known: the Debian package will "
                    "not declare the HTML Tidy it carries (Static-Built-Using)")
  endif()
endif()
set(KELVANE_STATIC_BUILT_USING_OVERRIDE "")
if(CPACK_KELVANE_STATIC_BUILT_USING)
  # CPack has no variable for the field. It writes the Source field as given, so the field
  # follows it on a line of its own; LintPackage.cmake checks that it arrived as one.
  set(CPACK_DEBIAN_PACKAGE_SOURCE
      "${CPACK_PACKAGE_NAME}\nStatic-Built-Using: ${CPACK_KELVANE_STATIC_BUILT_USING}")
  set(KELVANE_STATIC_BUILT_USING_OVERRIDE [[
# Static-Built-Using (deb-control(5), dpkg 1.21.3) names the HTML Tidy source the helper carries;
# this lintian's list of fields is older than the field.
kelvane: unknown-field Static-Built-Using]])
endif()
# lintian's overrides name files by their place in the package: below /usr, or where a folder
# was given as an absolute path.
foreach(_kelvane_kind HELPER DATA)
  set(_kelvane_dir "${KELVANE_${_kelvane_kind}_INSTALL_DIR}")
  if(NOT IS_ABSOLUTE "${_kelvane_dir}")
    set(_kelvane_dir "${CPACK_PACKAGING_INSTALL_PREFIX}/${_kelvane_dir}")
  endif()
  string(REGEX REPLACE "^/+" "" KELVANE_PACKAGE_${_kelvane_kind}_DIR "${_kelvane_dir}")
endforeach()
configure_file("${CMAKE_SOURCE_DIR}/share/lintian/overrides/kelvane"
               "${CMAKE_BINARY_DIR}/lintian/overrides/kelvane" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/lintian/overrides/kelvane"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/LintPackage.cmake")
include(CPack)
