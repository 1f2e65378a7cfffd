# Parts of the build that need libraries a user building the program may not
# have: the tests (GoogleTest) and the benchmarks (Google Benchmark).
#
#   corvane_optional_part(<option> <what> <library> <found>)
#
# <option> is a cache entry of AUTO (the default), ON or OFF. AUTO builds the
# part when this is the top-level project and <found> is true, and otherwise
# says in one configure line why it is left out; ON fails the configure with a
# clear message when <found> is false; OFF leaves the part out. The answer is
# left in <option>_ENABLED.
include_guard(GLOBAL)

function(corvane_optional_part option what library found)
  set(${option} AUTO CACHE STRING "Build ${what} (needs ${library}): AUTO, ON or OFF")
  set_property(CACHE ${option} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${option}}" asked)
  if(asked STREQUAL "AUTO")
    if(NOT PROJECT_IS_TOP_LEVEL)
      set(enabled OFF)
    elseif(${found})
      set(enabled ON)
    else()
      message(STATUS "Not building ${what}: ${library} not found "
                     "(scripts/install-deps.sh installs it; -D${option}=OFF silences this)")
      set(enabled OFF)
    endif()
  elseif(${option})
    if(NOT ${found})
      message(FATAL_ERROR "${option}=${${option}} asks for ${what}, but ${library} was not found. "
                          "Install it (scripts/install-deps.sh does) or configure with -D${option}=OFF.")
    endif()
    set(enabled ON)
  else()
    set(enabled OFF)
  endif()
  set(${option}_ENABLED ${enabled} PARENT_SCOPE)
endfunction()
