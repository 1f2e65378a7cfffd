# The instrumented build: every target of the project under AddressSanitizer
# and UndefinedBehaviorSanitizer, and in it, with clang, the libFuzzer targets
# of fuzz/, so that one build serves both the sanitizer suite and fuzzing.
#
#   CORVANE_SANITIZE=ON        instrument everything (GCC or clang)
#   CORVANE_BUILD_FUZZ=ON      add fuzz/ (needs CORVANE_SANITIZE and clang)
#   corvane_fuzz_coverage(<target>...)
#                              where a target is made: gives it libFuzzer's
#                              coverage instrumentation in a build with the
#                              fuzz targets, and nothing otherwise
#
# Both are OFF by default: the preset "sanitize" turns them on.
include_guard(GLOBAL)

option(CORVANE_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(CORVANE_BUILD_FUZZ "Build the libFuzzer targets (needs CORVANE_SANITIZE and clang)" OFF)

if(CORVANE_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    message(FATAL_ERROR "CORVANE_SANITIZE=ON needs GCC or clang")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(CORVANE_BUILD_FUZZ AND NOT (CORVANE_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
  message(FATAL_ERROR "CORVANE_BUILD_FUZZ=ON asks for the fuzz targets, which need a sanitizer "
                      "build with clang (libFuzzer): configure with the preset \"sanitize\", or "
                      "with -DCORVANE_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++, or without "
                      "-DCORVANE_BUILD_FUZZ=ON.")
endif()

function(corvane_fuzz_coverage)
  if(CORVANE_BUILD_FUZZ)
    foreach(target IN LISTS ARGN)
      target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endforeach()
  endif()
endfunction()
