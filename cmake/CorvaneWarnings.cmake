# Warning flags, given to each of our targets (never to a library we only use).
#
#   corvane_target_warnings(<target>...)
#
# CORVANE_WERROR turns the warnings into errors: OFF by default, so that a newer
# compiler's new warning does not break someone's build; CI turns it ON.
include_guard(GLOBAL)

option(CORVANE_WERROR "Treat compiler warnings in our code as errors" OFF)

function(corvane_target_warnings)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set(flags -Wall -Wextra -Wpedantic)
    if(CORVANE_WERROR)
      list(APPEND flags -Werror)
    endif()
  elseif(MSVC)
    set(flags /W4)
    if(CORVANE_WERROR)
      list(APPEND flags /WX)
    endif()
  endif()
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE ${flags})
  endforeach()
endfunction()
