# Release programs for Windows are stripped once they are linked: their symbols
# (and the debugging sections the static run-time libraries bring along) move
# into <program>.exe.debug beside the program, which names that file in a
# .gnu_debuglink section, so gdb loads it when it loads the program. What
# ships (the MSI) is the stripped program alone.
#
#   corvane_split_debug(<target>)
#
# Other builds keep their programs as the linker wrote them: on Linux the
# package strips them (CPACK_STRIP_FILES, `cmake --install --strip`).
include_guard(GLOBAL)

function(corvane_split_debug target)
  if(NOT WIN32 OR NOT CMAKE_OBJCOPY)
    return()
  endif()
  set(release "$<CONFIG:Release,MinSizeRel>")
  set(program "$<TARGET_FILE:${target}>")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "$<${release}:${CMAKE_OBJCOPY};--only-keep-debug;${program};${program}.debug>"
    COMMAND "$<${release}:${CMAKE_OBJCOPY};--strip-all;--add-gnu-debuglink=${program}.debug;${program}>"
    COMMENT "Moving the symbols of ${target} into its .debug file"
    COMMAND_EXPAND_LISTS
    VERBATIM)
endfunction()
