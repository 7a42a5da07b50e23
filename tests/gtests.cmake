# Run by ctest as it starts, for one GoogleTest program (the file that
# tests/CMakeLists.txt's gtest_tests writes sets program, runner, workdir,
# timeout and levels, then includes this): a ctest test for each test the
# program lists, run alone, and with levels one more for each level, the
# name ending in the level's and SCANDEC_LEVEL set to it.  ctest takes the
# exit status 77 of the tests' main for a skip, and nothing else.
# A program not built yet is one test, which fails, and the others run.
if(NOT EXISTS "${program}")
  get_filename_component(name "${program}" NAME)
  add_test(${name}_NOT_BUILT ${name}_NOT_BUILT)
  return()
endif()
execute_process(COMMAND ${runner} "${program}" --gtest_list_tests
  OUTPUT_VARIABLE listed ERROR_VARIABLE listed RESULT_VARIABLE status
  TIMEOUT 60)
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "${program} could not list its tests (${status}):\n${listed}")
endif()

set(properties WORKING_DIRECTORY "${workdir}" SKIP_RETURN_CODE 77)
if(timeout)
  list(APPEND properties TIMEOUT ${timeout})
endif()
string(REPLACE "\n" ";" lines "${listed}")
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_]+)\\.$")
    set(suite ${CMAKE_MATCH_1})
  elseif(line MATCHES "^  ([A-Za-z0-9_]+)$" AND DEFINED suite)
    set(test ${suite}.${CMAKE_MATCH_1})
    add_test(${test} ${runner} "${program}" --gtest_filter=${test})
    set_tests_properties(${test} PROPERTIES ${properties})
    foreach(level IN LISTS levels)
      add_test(${test}.${level} ${runner} "${program}" --gtest_filter=${test})
      set_tests_properties(${test}.${level} PROPERTIES ${properties}
        ENVIRONMENT SCANDEC_LEVEL=${level})
    endforeach()
  elseif(NOT line STREQUAL "")
    # Parameterised and typed tests list more than a name: none here yet.
    message(FATAL_ERROR "${program} listed a test this can't run alone: ${line}")
  endif()
endforeach()
unset(suite)
