# HTML Tidy for the tidy helper, built from Debian's source package of the very version that
# libtidy-dev installed (the same code with the same Debian patches, asserts on as Debian builds
# it), but optimised as one program with the helper: -O3 and link-time optimisation, so that the
# library's per-character routines, spread over many files, are inlined into one another. Over
# a real manual that is about an eighth fewer instructions than Debian's own build, with
# identical output and reports (the oracle tests compare every page with the `tidy` program).
#
# Only for a version whose source checksums are known here. The source comes from the Debian
# mirror when the build is configured, or from KELVANE_TIDY_SOURCE_DIR (a build without
# network): a folder holding the source package's two archives, checked against the same
# checksums, or the source as `apt-get source tidy-html5` unpacks it (patches applied). Where
# the source cannot be had (no network, a checksum that differs, another version), the helper
# takes Debian's static archive as before, with a warning: the program works the same, only
# slower. Sanitizer and fuzzing builds keep Debian's library: their checks are what matters
# there.
#
# Sets KELVANE_TIDY_SOURCE_TARGET to an imported target when the source build is set up.

option(KELVANE_TIDY_FROM_SOURCE
       "Build the tidy helper's HTML Tidy from Debian's source package of the installed version" ON)
set(KELVANE_TIDY_SOURCE_DIR "" CACHE PATH
    "HTML Tidy's Debian source fetched beforehand: its two archives, or the unpacked source")

set(KELVANE_TIDY_SOURCE_TARGET "")
if(NOT KELVANE_TIDY_FROM_SOURCE OR KELVANE_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  return()
endif()

# _kelvane_tidy_fallback(WHY...): the source build cannot be set up; warns why, and leaves this
# file (a macro: its return() is this file's).
macro(_kelvane_tidy_fallback)
  string(CONCAT _why ${ARGN})
  message(WARNING "HTML Tidy from source: ${_why}. The tidy helper takes Debian's static "
                  "library instead: the same output, only slower. Give the source with "
                  "-DKELVANE_TIDY_SOURCE_DIR=FOLDER, or -DKELVANE_TIDY_FROM_SOURCE=OFF where "
                  "this is meant.")
  return()
endmacro()

execute_process(COMMAND dpkg-query -W -f=\${Version} libtidy-dev
                OUTPUT_VARIABLE _tidy_version ERROR_QUIET RESULT_VARIABLE _tidy_query)
# Debian 12's libtidy-dev. Another version's source would need its own checksums.
if(NOT _tidy_query EQUAL 0 OR NOT _tidy_version STREQUAL "2:5.6.0-11")
  _kelvane_tidy_fallback("no known source for libtidy-dev '${_tidy_version}'")
endif()
set(_tidy_files
    "tidy-html5_5.6.0.orig.tar.gz"
    "08a63bba3d9e7618d1570b4ecd6a7daa83c8e18a41c82455b6308bc11fe34958"
    "tidy-html5_5.6.0-11.debian.tar.xz"
    "461c4c49d12bd47e56594645c643ba8a19bd39a88715993949b5bf07e2b1ec20")
set(KELVANE_DEBIAN_MIRROR "http://deb.debian.org/debian" CACHE STRING
    "Debian mirror that serves HTML Tidy's source package")

set(_tidy_root "${CMAKE_BINARY_DIR}/tidy-source")
set(_tidy_src "${_tidy_root}/tidy-html5-5.6.0")
set(_tidy_ready "${_tidy_root}/patched-5.6.0-11")
set(_tidy_given "${KELVANE_TIDY_SOURCE_DIR}")
if(_tidy_given AND NOT EXISTS "${_tidy_given}/tidy-html5_5.6.0.orig.tar.gz")
  # An unpacked source tree: used where it is, if it is this version with every patch applied.
  set(_entry "")
  set(_series "")
  set(_applied "")
  foreach(_file debian/changelog debian/patches/series .pc/applied-patches)
    if(NOT EXISTS "${_tidy_given}/${_file}")
      break()
    endif()
    if(_file STREQUAL "debian/changelog")
      file(STRINGS "${_tidy_given}/${_file}" _entry LIMIT_COUNT 1)
    elseif(_file STREQUAL "debian/patches/series")
      file(STRINGS "${_tidy_given}/${_file}" _series REGEX "^[^#]")
    else()
      file(STRINGS "${_tidy_given}/${_file}" _applied)
    endif()
  endforeach()
  if(NOT _entry MATCHES "^tidy-html5 \\(2:5\\.6\\.0-11\\) " OR
     NOT EXISTS "${_tidy_given}/include/tidy.h")
    _kelvane_tidy_fallback("KELVANE_TIDY_SOURCE_DIR (${_tidy_given}) holds neither the archives "
                           "of tidy-html5 ${_tidy_version} nor its unpacked source")
  endif()
  if(NOT _series OR NOT _applied STREQUAL _series)
    _kelvane_tidy_fallback("the source in KELVANE_TIDY_SOURCE_DIR (${_tidy_given}) does not "
                           "have Debian's patches applied (unpack it with dpkg-source -x)")
  endif()
  set(_tidy_src "${_tidy_given}")
elseif(NOT EXISTS "${_tidy_ready}")
  file(REMOVE_RECURSE "${_tidy_root}")
  file(MAKE_DIRECTORY "${_tidy_root}")
  list(LENGTH _tidy_files _count)
  math(EXPR _last "${_count} - 1")
  foreach(_i RANGE 0 ${_last} 2)
    math(EXPR _j "${_i} + 1")
    list(GET _tidy_files ${_i} _name)
    list(GET _tidy_files ${_j} _sha)
    if(_tidy_given)
      set(_from "${_tidy_given}/${_name}")
      file(COPY_FILE "${_from}" "${_tidy_root}/${_name}" RESULT _copied)
      set(_code 0)
      if(_copied)
        set(_code 1)
        set(_why "it could not be read: ${_copied}")
      endif()
    else()
      set(_from "${KELVANE_DEBIAN_MIRROR}/pool/main/t/tidy-html5/${_name}")
      # The checksum is compared here: file(DOWNLOAD)'s own check stops the configuration.
      file(DOWNLOAD "${_from}" "${_tidy_root}/${_name}" TIMEOUT 120 STATUS _status)
      list(GET _status 0 _code)
      list(GET _status 1 _why)
    endif()
    if(_code EQUAL 0)
      file(SHA256 "${_tidy_root}/${_name}" _got)
      if(NOT _got STREQUAL _sha)
        set(_code 1)
        set(_why "its SHA-256 is ${_got}, not ${_sha}")
      endif()
    endif()
    if(NOT _code EQUAL 0)
      file(REMOVE_RECURSE "${_tidy_root}")
      _kelvane_tidy_fallback("${_from} could not be had (${_why})")
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf tidy-html5_5.6.0.orig.tar.gz
                  WORKING_DIRECTORY "${_tidy_root}" RESULT_VARIABLE _untar)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ../tidy-html5_5.6.0-11.debian.tar.xz
                  WORKING_DIRECTORY "${_tidy_src}" RESULT_VARIABLE _untar_debian)
  set(_patched TRUE)
  if(_untar EQUAL 0 AND _untar_debian EQUAL 0)
    file(STRINGS "${_tidy_src}/debian/patches/series" _series REGEX "^[^#]")
    foreach(_patch IN LISTS _series)
      execute_process(COMMAND patch -p1 -s -N -i "debian/patches/${_patch}"
                      WORKING_DIRECTORY "${_tidy_src}" RESULT_VARIABLE _applied)
      if(NOT _applied EQUAL 0)
        set(_patched FALSE)
      endif()
    endforeach()
  else()
    set(_patched FALSE)
  endif()
  if(NOT _patched)
    file(REMOVE_RECURSE "${_tidy_root}")
    _kelvane_tidy_fallback("the source package did not unpack and patch cleanly")
  endif()
  file(TOUCH "${_tidy_ready}")
endif()

find_program(KELVANE_GCC_AR gcc-ar)
find_program(KELVANE_GCC_RANLIB gcc-ranlib)
find_program(KELVANE_GCC gcc)
if(NOT KELVANE_GCC_AR OR NOT KELVANE_GCC_RANLIB OR NOT KELVANE_GCC)
  _kelvane_tidy_fallback("gcc, gcc-ar or gcc-ranlib is missing")
endif()

include(ExternalProject)
set(_tidy_build "${_tidy_root}/build")
set(_tidy_archive "${_tidy_build}/libtidys.a")
ExternalProject_Add(tidy_from_source
  SOURCE_DIR "${_tidy_src}"
  BINARY_DIR "${_tidy_build}"
  CMAKE_ARGS
    -DCMAKE_C_COMPILER=${KELVANE_GCC}
    -DCMAKE_AR=${KELVANE_GCC_AR}
    -DCMAKE_RANLIB=${KELVANE_GCC_RANLIB}
    # As Debian builds it (no NDEBUG: its asserts stay), hardened, then optimised whole.
    -DCMAKE_BUILD_TYPE=None
    "-DCMAKE_C_FLAGS=-g -O3 -flto=auto -fno-semantic-interposition -fPIC -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wno-array-parameter"
    -DBUILD_SHARED_LIB=OFF
    -DTIDY_COMPAT_HEADERS=YES
  BUILD_COMMAND ${CMAKE_COMMAND} --build . --target tidy-static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS "${_tidy_archive}"
  EXCLUDE_FROM_ALL TRUE)

add_library(Tidy::FromSource STATIC IMPORTED GLOBAL)
set_target_properties(Tidy::FromSource PROPERTIES
  IMPORTED_LOCATION "${_tidy_archive}"
  INTERFACE_INCLUDE_DIRECTORIES "${_tidy_src}/include"
  # The archive holds the library's intermediate code: the link finishes its optimisation.
  INTERFACE_LINK_OPTIONS "-flto=auto;-O3")
add_dependencies(Tidy::FromSource tidy_from_source)
set(KELVANE_TIDY_SOURCE_TARGET Tidy::FromSource)
message(STATUS "HTML Tidy from source: libtidy-dev ${_tidy_version}, built with -O3 and LTO")
