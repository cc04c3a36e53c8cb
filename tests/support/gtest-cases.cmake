# Read by ctest (through the tests folder's TEST_INCLUDE_FILES): adds one test for each case
# of a parameterised GoogleTest test (named Instance/Suite.Test/Case) in a built program.
# The program is asked for its cases here, when ctest reads its tests, not while building:
# a 32-bit program runs only where ./run has put those (in the emulated machine, maybe).
# The list is kept beside and asked again only when the program changed.
#
# Set by the includer (tests/CMakeLists.txt, veldrin_gtest_program):
#   CASES_TEST         the program's own test; each case is CASES_TEST.<its full name>
#   CASES_PROGRAM      the built program
#   CASES_LIST_RUNNER  what runs it to list its cases (Wine's or the native runner)
#   CASES_RUN          the command that runs it for a test (the GoogleTest wrapper)
#   CASES_FILE         where the list is kept, as tests to add
#   CASES_TIMEOUT      each case's time limit, in seconds
#   CASES_ENVIRONMENT  each case's environment (may be empty)

function(veldrin_broken_cases why)
  add_test("${CASES_TEST}.cases" sh -c "echo '${why}' >&2; exit 1")
endfunction()

if(NOT EXISTS "${CASES_PROGRAM}")
  veldrin_broken_cases("not built: ${CASES_PROGRAM}")
  return()
endif()

if(NOT EXISTS "${CASES_FILE}" OR "${CASES_PROGRAM}" IS_NEWER_THAN "${CASES_FILE}")
  execute_process(COMMAND ${CASES_LIST_RUNNER} "${CASES_PROGRAM}" --gtest_list_tests "--gtest_filter=*/*"
                  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 600)
  if(NOT result EQUAL 0)
    veldrin_broken_cases("${CASES_PROGRAM} could not list its cases (${result}): ${errors}")
    return()
  endif()
  # GoogleTest lists "Suite." then each test of it, indented, a comment after a case's name.
  string(REPLACE "\n" ";" lines "${listing}")
  set(run "")
  foreach(word IN LISTS CASES_RUN)
    string(APPEND run "[==[${word}]==] ")
  endforeach()
  set(tests "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([A-Za-z0-9_]+/[A-Za-z0-9_]+\\.)")
      set(suite "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  ([A-Za-z0-9_]+/[A-Za-z0-9_]+)" AND DEFINED suite)
      set(name "${suite}${CMAKE_MATCH_1}")
      string(APPEND tests "add_test([==[${CASES_TEST}.${name}]==] ${run}[==[${CASES_PROGRAM}]==] [==[--gtest_filter=${name}]==])\n")
      string(APPEND tests "set_tests_properties([==[${CASES_TEST}.${name}]==] PROPERTIES TIMEOUT ${CASES_TIMEOUT} ENVIRONMENT [==[${CASES_ENVIRONMENT}]==])\n")
    endif()
  endforeach()
  file(WRITE "${CASES_FILE}" "${tests}")
endif()
include("${CASES_FILE}")
