# The installed layout as the code sees it: where an installed program finds its tidy helper
# and its data (lang.txt), written into a generated header (platform/InstallPaths.h) that every
# target can include. GNUInstallDirs' folders are used, so a packager's
# -DCMAKE_INSTALL_LIBEXECDIR=lib/kelvane (or another prefix) is where the program looks.
#
# Folders given relative to the prefix are written relative to the programs' own folder (bin),
# so the installed tree may be moved or staged elsewhere (`cmake --install --prefix DIR`,
# DESTDIR, the Debian package's /usr). A folder given as an absolute path stays absolute.
include(GNUInstallDirs)

set(KELVANE_HELPER_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/kelvane")
set(KELVANE_DATA_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/kelvane")

# _kelvane_absolute(OUT DIR): DIR below the configured prefix, unless absolute already.
function(_kelvane_absolute out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

# _kelvane_from_programs(OUT DIR): DIR as the code looks for it, as a C string literal.
function(_kelvane_from_programs out dir)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${dir}")
    _kelvane_absolute(path "${dir}")
  else()
    file(RELATIVE_PATH path "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${dir}")
    if(path STREQUAL "")
      set(path ".")
    endif()
  endif()
  string(REPLACE "\\" "\\\\" path "${path}")
  string(REPLACE "\"" "\\\"" path "${path}")
  set(${out} "\"${path}\"" PARENT_SCOPE)
endfunction()

_kelvane_from_programs(KELVANE_HELPER_FOLDER_LITERAL "${KELVANE_HELPER_INSTALL_DIR}")
_kelvane_from_programs(KELVANE_DATA_FOLDER_LITERAL "${KELVANE_DATA_INSTALL_DIR}")
# For the manual pages: the folders as installed with the configured prefix.
_kelvane_absolute(KELVANE_HELPER_FULL_DIR "${KELVANE_HELPER_INSTALL_DIR}")
_kelvane_absolute(KELVANE_DATA_FULL_DIR "${KELVANE_DATA_INSTALL_DIR}")

set(KELVANE_GENERATED_INCLUDE_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_CURRENT_LIST_DIR}/InstallPaths.h.in"
               "${KELVANE_GENERATED_INCLUDE_DIR}/platform/InstallPaths.h" @ONLY)
