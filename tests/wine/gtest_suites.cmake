# Included by CTest when it starts (tests/CMakeLists.txt generates one caller per test program):
# registers one test per GoogleTest suite of the program, which runs the suite's cases in one
# process under Wine. Set by the caller:
#   KAVREL_TEST_PROGRAM     the test program
#   KAVREL_TEST_LAUNCHER    the Wine launcher and the prefix the program runs in
#   KAVREL_TEST_LISTING     where the program's list of cases is kept between runs
#   KAVREL_TEST_PROPERTIES  CTest properties of every suite
#   KAVREL_TEST_RESULTS     the folder (a Linux path) for the suites' GoogleTest XML results
#   KAVREL_TEST_NAME_SUFFIX  appended to each suite's name (a program built twice, for two prefixes)
#
# The list of cases comes from the program itself (--gtest_list_tests), so that no case can be
# missed; it is asked for again only when the program was built anew.

get_filename_component(program_name "${KAVREL_TEST_PROGRAM}" NAME_WE)
if(NOT EXISTS "${KAVREL_TEST_PROGRAM}")
    add_test("${program_name}.NotBuilt" "${KAVREL_TEST_PROGRAM}")
    return()
endif()

if(NOT EXISTS "${KAVREL_TEST_LISTING}" OR "${KAVREL_TEST_PROGRAM}" IS_NEWER_THAN "${KAVREL_TEST_LISTING}")
    execute_process(
        COMMAND ${KAVREL_TEST_LAUNCHER} "${KAVREL_TEST_PROGRAM}" --gtest_list_tests
        OUTPUT_VARIABLE listing
        ERROR_VARIABLE listing_errors
        RESULT_VARIABLE listed
        TIMEOUT 180)
    if(NOT listed EQUAL 0)
        file(REMOVE "${KAVREL_TEST_LISTING}")
        # A test that fails the same way, so that the run shows the failure and its output.
        add_test("${program_name}.ListingTheCases" ${KAVREL_TEST_LAUNCHER} "${KAVREL_TEST_PROGRAM}"
                 --gtest_list_tests)
        set_tests_properties("${program_name}.ListingTheCases" PROPERTIES
            TIMEOUT 180 ${KAVREL_TEST_PROPERTIES})
        return()
    endif()
    file(WRITE "${KAVREL_TEST_LISTING}" "${listing}")
endif()

# The listing: "Suite." on a line of its own (parameterised: "Instance/Suite.  # TypeParam ..."),
# then each case indented by two spaces.
file(STRINGS "${KAVREL_TEST_LISTING}" lines)
set(suites)
foreach(line IN LISTS lines)
    if(line MATCHES "^([^ #][^ ]*)\\.( |$)")
        set(suite "${CMAKE_MATCH_1}")
        list(APPEND suites "${suite}")
        set(cases_${suite} 0)
    elseif(line MATCHES "^  [^ ]" AND DEFINED suite)
        math(EXPR cases_${suite} "${cases_${suite}} + 1")
    endif()
endforeach()

foreach(suite IN LISTS suites)
    set(name "${suite}${KAVREL_TEST_NAME_SUFFIX}")
    # Each suite leaves its cases' results for the run's summary (scripts/test.sh).
    string(REPLACE "/" "_" result_name "${name}")
    string(REPLACE "/" "\\" results "Z:${KAVREL_TEST_RESULTS}/${result_name}.xml")
    add_test("${name}" ${KAVREL_TEST_LAUNCHER} "${KAVREL_TEST_PROGRAM}" "--gtest_filter=${suite}.*"
             --gtest_color=no "--gtest_output=xml:${results}")
    # The program bounds each case itself (tests/support/test_main.cpp); this is the last resort
    # for a process that never gets as far as its first case.
    math(EXPR limit "120 + 60 * ${cases_${suite}}")
    set_tests_properties("${name}" PROPERTIES TIMEOUT ${limit} LABELS "${program_name}"
                         ${KAVREL_TEST_PROPERTIES})
endforeach()
