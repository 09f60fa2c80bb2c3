# Hardening for optimised builds (the ones that are installed and packaged): checked buffer
# functions, stack protector, position-independent executables, and a read-only relocation
# table resolved at start-up. Debug builds go without: _FORTIFY_SOURCE needs optimisation.
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

set(_kelvane_optimised "$<NOT:$<CONFIG:Debug>>")
target_compile_options(kelvane_flags INTERFACE
  -fstack-protector-strong
  # A compiler that defines it already (some distributions do) would warn about the second value.
  "$<${_kelvane_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
target_link_options(kelvane_flags INTERFACE "LINKER:-z,relro,-z,now")
unset(_kelvane_optimised)
