# The consumer project's test, in two steps (tests/CMakeLists.txt):
#   STEP=build  install the build tree into WORK/installed (cmake --install), configure the
#               consumer project against it with the cross toolchain and build it
#   STEP=scan   run its program under Wine in the main prefix (Wine's TWAIN manager, the virtual
#               scanner as the default source), with a scanner of a known page size
# Every step is bounded in time.
#   cmake -DSTEP=… -DBUILD_DIR=… -DCONSUMER_SOURCE=… -DWORK=… -DTOOLCHAIN=… -DGENERATOR=…
#         -DRUN_IN_PREFIX=… -DPREFIX=… -P run_consumer.cmake

cmake_minimum_required(VERSION 3.25)

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err
                    TIMEOUT 300)
    if(failed)
        message(FATAL_ERROR "${what} failed (${failed}):\n${out}\n${err}")
    endif()
    message(STATUS "${what}: done")
endfunction()

set(installed "${WORK}/installed")
set(build "${WORK}/build")

if(STEP STREQUAL "build")
    file(REMOVE_RECURSE "${WORK}")
    run("cmake --install" ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${installed}")
    foreach(expected bin/Kavrel.dll lib/libKavrel.dll.a lib/Kavrel.def include/kavrel/twain.h
                     lib/cmake/Kavrel/KavrelConfig.cmake lib/cmake/Kavrel/KavrelConfigVersion.cmake)
        if(NOT EXISTS "${installed}/${expected}")
            message(FATAL_ERROR "the install tree has no ${expected}")
        endif()
    endforeach()
    run("configure the consumer" ${CMAKE_COMMAND} -S "${CONSUMER_SOURCE}" -B "${build}" -G "${GENERATOR}"
        "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}" "-DCMAKE_PREFIX_PATH=${installed}" -DCMAKE_BUILD_TYPE=Release)
    run("build the consumer" ${CMAKE_COMMAND} --build "${build}")
    foreach(expected scan_one_page.exe Kavrel.dll)
        if(NOT EXISTS "${build}/${expected}")
            message(FATAL_ERROR "the consumer's build has no ${expected}")
        endif()
    endforeach()

elseif(STEP STREQUAL "scan")
    # The scanner's settings: one page of a size no default has.
    file(WRITE "${WORK}/virtual-scanner.ini" "[Scanner]\r\nPages=1\r\nWidth=320\r\nHeight=208\r\n")
    string(REPLACE "/" "\\" ini "Z:${WORK}/virtual-scanner.ini")
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env "KAVREL_VSCAN_INI=${ini}"
                "${RUN_IN_PREFIX}" "${PREFIX}" "${build}/scan_one_page.exe"
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 180)
    message(STATUS "scan_one_page.exe (exit status ${status}):\n${out}")
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "scan_one_page.exe failed:\n${err}")
    endif()
    if(NOT out MATCHES "page: 320 x 208, 24 bits")
        message(FATAL_ERROR "scan_one_page.exe did not get the scanner's page")
    endif()
    if(NOT out MATCHES "state after the scan: 1")
        message(FATAL_ERROR "the library is not back in state 1")
    endif()

else()
    message(FATAL_ERROR "STEP must be build or scan")
endif()
