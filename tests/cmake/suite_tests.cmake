# Run by CTest before it lists the tests (never by the build): registers one test per
# test suite of a test program, named "<prefix><Suite>" and run as
# `<program> --gtest_filter=<Suite>.*`. A suite's cases share one process: starting a
# sanitized test program costs a tenth of a second or more, several times the run of most
# cases, and the whole suite is still one line of CTest's report with the failing case
# named in its output.
#
# Set by the including file: TM_PROGRAM (the test program), TM_PREFIX, TM_LIST (the
# generated file of add_test lines, rebuilt when the program is newer), TM_WORKDIR, and
# optionally TM_LOCKED_SUITES (a regular expression) with TM_LOCK: suites whose names
# match run under that resource lock, one at a time, each through own_network.sh (a
# network namespace of its own; skipped, exit 77, when none can be made and a port is held).

if(NOT EXISTS "${TM_PROGRAM}")
  add_test("${TM_PREFIX}NOT_BUILT" "${TM_PROGRAM}")
  return()
endif()

if(NOT EXISTS "${TM_LIST}" OR "${TM_PROGRAM}" IS_NEWER_THAN "${TM_LIST}"
   OR "${CMAKE_CURRENT_LIST_FILE}" IS_NEWER_THAN "${TM_LIST}")
  execute_process(COMMAND "${TM_PROGRAM}" --gtest_list_tests
                  WORKING_DIRECTORY "${TM_WORKDIR}"
                  OUTPUT_VARIABLE listing RESULT_VARIABLE result TIMEOUT 120)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Listing the tests of ${TM_PROGRAM} failed (${result})")
  endif()
  set(lines "")
  string(REPLACE "\n" ";" listing "${listing}")
  foreach(line IN LISTS listing)
    # Suites start the line and end with '.', possibly followed by "  # TypeParam = ...";
    # cases are indented.
    if(line MATCHES "^([^ #][^ ]*)\\.( .*)?$")
      set(suite "${CMAKE_MATCH_1}")
      if(suite MATCHES "^DISABLED_|/DISABLED_")
        continue()
      endif()
      set(name "${TM_PREFIX}${suite}")
      if(DEFINED TM_LOCKED_SUITES AND suite MATCHES "${TM_LOCKED_SUITES}")
        string(APPEND lines "add_test([=[${name}]=] /bin/sh [=[${CMAKE_CURRENT_LIST_DIR}/own_network.sh]=] [=[${TM_PROGRAM}]=] [=[--gtest_filter=${suite}.*]=])\n")
        string(APPEND lines "set_tests_properties([=[${name}]=] PROPERTIES RESOURCE_LOCK [=[${TM_LOCK}]=] SKIP_RETURN_CODE 77)\n")
      else()
        string(APPEND lines "add_test([=[${name}]=] [=[${TM_PROGRAM}]=] [=[--gtest_filter=${suite}.*]=])\n")
      endif()
      string(APPEND lines "set_tests_properties([=[${name}]=] PROPERTIES WORKING_DIRECTORY [=[${TM_WORKDIR}]=])\n")
    endif()
  endforeach()
  file(WRITE "${TM_LIST}" "${lines}")
endif()
include("${TM_LIST}")
