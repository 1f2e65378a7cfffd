# One way to declare a test program:
#
#   corvane_add_test(<name> SOURCES <file>...
#                    [LIBRARIES <target>...]    what it tests (test_support and GoogleTest come along)
#                    [RUNS <target>...]         programs it starts: built first, their paths
#                                               given as <TARGET>_PATH (CSV2CRC_PATH)
#                    [DEFINITIONS <name=value>...]
#                    [OWN_MAIN]                 the sources hold main() (no gtest_main)
#                    [PROPERTIES <property> <value>...])   ctest properties of its tests
#
# Natively each GoogleTest case becomes a ctest test of its own. Cross-built
# tests run under CMAKE_CROSSCOMPILING_EMULATOR (wine), where every process start
# is costly: there the whole program is one ctest test.
include_guard(GLOBAL)

# A path of the build machine as the test programs see it. Under wine the build
# machine's / is drive Z:.
function(corvane_test_path out path)
  if(CMAKE_CROSSCOMPILING AND WIN32 AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(path "Z:${path}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

function(corvane_add_test name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "OWN_MAIN" "" "SOURCES;LIBRARIES;RUNS;DEFINITIONS;PROPERTIES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE test_support ${arg_LIBRARIES})
  if(NOT arg_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  foreach(program IN LISTS arg_RUNS)
    string(TOUPPER "${program}" upper)
    corvane_test_path(path "$<TARGET_FILE:${program}>")
    target_compile_definitions(${name} PRIVATE ${upper}_PATH="${path}")
    add_dependencies(${name} ${program})
  endforeach()
  target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  corvane_target_warnings(${name})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    if(arg_PROPERTIES)
      set_tests_properties(${name} PROPERTIES ${arg_PROPERTIES})
    endif()
  else()
    set(properties)
    if(arg_PROPERTIES)
      set(properties PROPERTIES ${arg_PROPERTIES})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${properties})
  endif()
endfunction()
