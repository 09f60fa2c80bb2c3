# Hardening of what is installed: checked buffer functions in optimised builds, stack protector,
# position-independent executables, and a read-only relocation table resolved at start-up.
# Debug builds go without _FORTIFY_SOURCE, which needs optimisation. The tests are left as they
# are: _FORTIFY_SOURCE also makes an unused result of read() or write() a warning there.
# A sanitized build checks far more than this, and _FORTIFY_SOURCE gets in AddressSanitizer's way.
if(KELVANE_SANITIZE)
  function(kelvane_harden)
  endfunction()
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_library(kelvane_hardening INTERFACE)
target_compile_options(kelvane_hardening INTERFACE
  -fstack-protector-strong
  # A compiler that defines it already (some distributions do) would warn about a second value.
  "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")

function(kelvane_harden)
  foreach(target IN LISTS ARGN)
    target_link_libraries(${target} PRIVATE kelvane_hardening)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE "LINKER:-z,relro,-z,now")
    endif()
  endforeach()
endfunction()
