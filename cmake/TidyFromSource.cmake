# HTML Tidy for the tidy helper, built from Debian's source package of the very version that
# libtidy-dev installed (the same code with the same Debian patches, asserts on as Debian builds
# it), but optimised as one program with the helper: -O3 and link-time optimisation, so that the
# library's per-character routines, spread over many files, are inlined into one another. Over
# a real manual that is about an eighth fewer instructions than Debian's own build, with
# identical output and reports (the oracle tests compare every page with the `tidy` program).
#
# Only for a version whose source checksums are known here; where the source cannot be had (no
# network, another version), the helper takes Debian's static archive as before. Sanitizer and
# fuzzing builds keep Debian's library: their checks are what matters there.
#
# Sets KELVANE_TIDY_SOURCE_TARGET to an imported target when the source build is set up.

option(KELVANE_TIDY_FROM_SOURCE
       "Build the tidy helper's HTML Tidy from Debian's source package of the installed version" ON)

set(KELVANE_TIDY_SOURCE_TARGET "")
if(NOT KELVANE_TIDY_FROM_SOURCE OR KELVANE_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  return()
endif()

execute_process(COMMAND dpkg-query -W -f=\${Version} libtidy-dev
                OUTPUT_VARIABLE _tidy_version ERROR_QUIET RESULT_VARIABLE _tidy_query)
# Debian 12's libtidy-dev. Another version's source would need its own checksums.
if(NOT _tidy_query EQUAL 0 OR NOT _tidy_version STREQUAL "2:5.6.0-11")
  message(STATUS "HTML Tidy from source: no known source for libtidy-dev '${_tidy_version}'")
  return()
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
if(NOT EXISTS "${_tidy_ready}")
  file(REMOVE_RECURSE "${_tidy_root}")
  file(MAKE_DIRECTORY "${_tidy_root}")
  list(LENGTH _tidy_files _count)
  math(EXPR _last "${_count} - 1")
  foreach(_i RANGE 0 ${_last} 2)
    math(EXPR _j "${_i} + 1")
    list(GET _tidy_files ${_i} _name)
    list(GET _tidy_files ${_j} _sha)
    # The checksum is compared here: file(DOWNLOAD)'s own check stops the configuration.
    file(DOWNLOAD "${KELVANE_DEBIAN_MIRROR}/pool/main/t/tidy-html5/${_name}"
         "${_tidy_root}/${_name}" TIMEOUT 120 STATUS _status)
    list(GET _status 0 _code)
    list(GET _status 1 _why)
    if(_code EQUAL 0)
      file(SHA256 "${_tidy_root}/${_name}" _got)
      if(NOT _got STREQUAL _sha)
        set(_code 1)
        set(_why "its checksum is not the one expected")
      endif()
    endif()
    if(NOT _code EQUAL 0)
      message(STATUS "HTML Tidy from source: ${_name} could not be had (${_why}); "
                     "the helper takes Debian's static library")
      file(REMOVE_RECURSE "${_tidy_root}")
      return()
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
    message(STATUS "HTML Tidy from source: the source package did not unpack and patch cleanly; "
                   "the helper takes Debian's static library")
    file(REMOVE_RECURSE "${_tidy_root}")
    return()
  endif()
  file(TOUCH "${_tidy_ready}")
endif()

find_program(KELVANE_GCC_AR gcc-ar)
find_program(KELVANE_GCC_RANLIB gcc-ranlib)
find_program(KELVANE_GCC gcc)
if(NOT KELVANE_GCC_AR OR NOT KELVANE_GCC_RANLIB OR NOT KELVANE_GCC)
  message(STATUS "HTML Tidy from source: gcc, gcc-ar or gcc-ranlib missing")
  return()
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
