# Instrumented builds that catch memory errors and undefined behaviour at run time.
#
# KELVANE_SANITIZE: AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer on
# every target, programs and tests alike, so that a fault in a helper program the tests start
# is caught as well as one in the test itself. Nothing recovers: the first finding ends the
# process. `make sanitize` builds this way in a folder of its own and runs the suite.
#
# KELVANE_FUZZ: the same sanitizers with libFuzzer's coverage instrumentation (clang only), and
# the fuzz programs of tests/fuzz. `make fuzz` builds this way.

option(KELVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KELVANE_FUZZ "Build the libFuzzer targets (clang), with the sanitizers" OFF)

set(KELVANE_SANITIZER_FLAGS
    -fsanitize=address,undefined
    -fno-sanitize-recover=all
    -fno-omit-frame-pointer
    -fno-optimize-sibling-calls)

if(KELVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KELVANE_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(KELVANE_SANITIZE ON)
  # Coverage feedback everywhere; only the fuzz programs link libFuzzer's own main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KELVANE_SANITIZE)
  add_compile_options(${KELVANE_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
  # Sanitized code is slow enough without the optimiser off; -O1 keeps the stacks readable.
  string(REGEX REPLACE "-O[0-9s]" "-O1" CMAKE_CXX_FLAGS_RELWITHDEBINFO
                       "${CMAKE_CXX_FLAGS_RELWITHDEBINFO}")
endif()
