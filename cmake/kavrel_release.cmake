# What makes the Windows build a release a bank's IT can install, check and trust.
#
#   kavrel_shipped_binary(TARGET DESCRIPTION "file description" [IMPORTS list-file])
#
# makes TARGET (a DLL, a program or a TWAIN data source) one of the shipped binaries:
# - a version resource: file and product version with the commit, product name, copyright, the
#   file's own description and original name (cmake/version_resource.rc.in);
# - its imports held to its committed list, IMPORTS (default: cmake/imports/TARGET.imports):
#   a build whose binary imports anything else fails and names the function
#   (cmake/finish_shipped_binary.cmake);
# - stripped, its debug information in <file>.debug beside it, linked by .gnu_debuglink;
# - installed into bin/ (component "kavrel"), its debug file too (component "symbols", installed
#   only when asked for by name: scripts/package.sh puts it into the symbols archive).
#
# And for every binary of the Windows build: the Windows it declares, and reproducible output
# (no build time, no checkout path in any file, debug information for the symbol files).

# The oldest Windows the binaries are for, as its NT version. The bank runs Windows 7 SP1 and
# later. What the imports need is older (Vista, for GetTickCount64 in the static winpthreads;
# everything else XP or earlier: see cmake/imports/), but nobody runs or tests Vista, and the
# headers are compiled for this version too, so the declaration and the build agree.
set(KAVREL_MINIMUM_WINDOWS 6.1)
set(KAVREL_IMPORT_LISTS ${CMAKE_SOURCE_DIR}/cmake/imports)
set(KAVREL_VERSION_DIR ${CMAKE_BINARY_DIR}/version)

string(REPLACE "." ";" windows_version "${KAVREL_MINIMUM_WINDOWS}")
list(GET windows_version 0 windows_major)
list(GET windows_version 1 windows_minor)
math(EXPR windows_hex "${windows_major} * 256 + ${windows_minor}" OUTPUT_FORMAT HEXADECIMAL)
string(REPLACE "0x" "0x0" windows_hex "${windows_hex}")  # 0x601 → 0x0601, as the headers write it
add_compile_definitions(_WIN32_WINNT=${windows_hex} WINVER=${windows_hex})
# The PE header's OS and subsystem versions; the image's time stamp is not the time of linking
# (objcopy sets it from the commit, cmake/finish_shipped_binary.cmake).
add_link_options(
    -Wl,--major-os-version,${windows_major},--minor-os-version,${windows_minor}
    -Wl,--major-subsystem-version,${windows_major},--minor-subsystem-version,${windows_minor}
    -Wl,--no-insert-timestamp)

# Debug information for the symbol files, with the checkout's and the build's folders under fixed
# names, so that it reads the same wherever the sources lie: the build folder (where the compiler
# runs) becomes ".", the checkout "kavrel", the libraries built for the target "kavrel-deps", and
# a source reads "./kavrel/module/kvrscan.cpp" in a debugger or addr2line. The last matching map
# applies, and the build folders may lie in the checkout: the checkout's map comes first.
add_compile_options(-g "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=kavrel")
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
    add_compile_options("-ffile-prefix-map=${prefix}=kavrel-deps")
endforeach()
add_compile_options("-ffile-prefix-map=${CMAKE_BINARY_DIR}=.")

# --- the version, at every build --------------------------------------------------------------
add_custom_target(kavrel_version_stamp
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
            -DOUTPUT_DIR=${KAVREL_VERSION_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/version_stamp.cmake
    BYPRODUCTS ${KAVREL_VERSION_DIR}/kavrel_version.h ${KAVREL_VERSION_DIR}/kavrel_version.txt
    COMMENT "Version of the checkout"
    VERBATIM)

find_program(KAVREL_WINDRES NAMES ${KAVREL_MINGW_PREFIX}-windres REQUIRED)
find_program(KAVREL_OBJCOPY NAMES ${KAVREL_MINGW_PREFIX}-objcopy REQUIRED)
find_program(KAVREL_OBJDUMP NAMES ${KAVREL_MINGW_PREFIX}-objdump REQUIRED)

function(kavrel_shipped_binary target)
    cmake_parse_arguments(S "" "DESCRIPTION;IMPORTS" "" ${ARGN})
    if(NOT S_DESCRIPTION)
        message(FATAL_ERROR "kavrel_shipped_binary(${target}): a DESCRIPTION is needed")
    endif()

    # The version resource: the target's own values now, the file name when it is known.
    set(KAVREL_TARGET ${target})
    set(KAVREL_FILE_DESCRIPTION "${S_DESCRIPTION}")
    set(KAVREL_FILE_NAME "$<TARGET_FILE_NAME:${target}>")
    set(KAVREL_FILE_TYPE "$<IF:$<STREQUAL:$<TARGET_PROPERTY:${target},TYPE>,EXECUTABLE>,VFT_APP,VFT_DLL>")
    file(READ ${CMAKE_SOURCE_DIR}/cmake/version_resource.rc.in template)
    string(CONFIGURE "${template}" resource @ONLY)
    set(rc ${KAVREL_VERSION_DIR}/${target}.rc)
    set(object ${KAVREL_VERSION_DIR}/${target}.rc.obj)
    file(GENERATE OUTPUT ${rc} CONTENT "${resource}")
    add_custom_command(OUTPUT ${object}
        COMMAND ${KAVREL_WINDRES} -O coff -I ${KAVREL_VERSION_DIR} -i ${rc} -o ${object}
        DEPENDS ${rc} ${KAVREL_VERSION_DIR}/kavrel_version.h
        COMMENT "Version resource of ${target}"
        VERBATIM)
    target_sources(${target} PRIVATE ${object})
    add_dependencies(${target} kavrel_version_stamp)

    # Imports checked, debug information split off, stripped.
    if(NOT S_IMPORTS)
        set(S_IMPORTS cmake/imports/${target}.imports)
    endif()
    cmake_path(ABSOLUTE_PATH S_IMPORTS BASE_DIRECTORY ${CMAKE_SOURCE_DIR})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DBINARY=$<TARGET_FILE:${target}> -DIMPORTS=${S_IMPORTS}
                -DIMPORT_LISTS=${KAVREL_IMPORT_LISTS} -DMINIMUM_WINDOWS=${KAVREL_MINIMUM_WINDOWS}
                -DVERSION_FILE=${KAVREL_VERSION_DIR}/kavrel_version.txt
                -DOBJDUMP=${KAVREL_OBJDUMP} -DOBJCOPY=${KAVREL_OBJCOPY}
                -P ${CMAKE_SOURCE_DIR}/cmake/finish_shipped_binary.cmake
        VERBATIM)
    if(EXISTS ${S_IMPORTS})
        # A changed list is checked again at once. (A binary without a list yet fails its first
        # build, which writes the list to start from.)
        set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${S_IMPORTS})
    endif()

    install(PROGRAMS $<TARGET_FILE:${target}> DESTINATION bin COMPONENT kavrel)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION bin COMPONENT symbols EXCLUDE_FROM_ALL)
    set_property(GLOBAL APPEND PROPERTY KAVREL_SHIPPED_BINARIES ${target})
    set_property(TARGET ${target} PROPERTY KAVREL_FILE_DESCRIPTION "${S_DESCRIPTION}")
endfunction()
