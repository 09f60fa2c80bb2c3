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
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/LintPackage.cmake")
include(CPack)
