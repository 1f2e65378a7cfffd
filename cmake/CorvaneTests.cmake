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
# Natively each GoogleTest case becomes a ctest test of its own, unless
# CORVANE_TEST_SHARDS says otherwise. Cross-built tests run under
# CMAKE_CROSSCOMPILING_EMULATOR (wine), where every process start is costly:
# there the whole program is one ctest test.
include_guard(GLOBAL)

# 0: each case a ctest test of its own (they isolate best, and ctest shows each
# one's time). N: each program runs whole, split into N GoogleTest shards that
# ctest runs side by side. The sanitizer build takes 2: the whole suite runs
# there in about 20 s on two cores, and a failing case is still named in its
# shard's output.
set(CORVANE_TEST_SHARDS 0 CACHE STRING
  "0: each test case a ctest test; N: each test program whole, in N shards run side by side")

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
  set(shards ${CORVANE_TEST_SHARDS})
  if(CMAKE_CROSSCOMPILING)
    set(shards 1)
  endif()
  if(shards EQUAL 0)
    set(properties)
    if(arg_PROPERTIES)
      set(properties PROPERTIES ${arg_PROPERTIES})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${properties})
    return()
  endif()
  foreach(shard RANGE 1 ${shards})
    set(test ${name})
    if(shards GREATER 1)
      set(test ${name}.${shard}of${shards})
    endif()
    add_test(NAME ${test} COMMAND ${name} --gtest_brief=1)
    if(arg_PROPERTIES)
      set_tests_properties(${test} PROPERTIES ${arg_PROPERTIES})
    endif()
    if(shards GREATER 1)
      math(EXPR index "${shard} - 1")
      set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
        GTEST_TOTAL_SHARDS=${shards} GTEST_SHARD_INDEX=${index})
    endif()
  endforeach()
endfunction()
