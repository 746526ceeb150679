# Finishes a shipped binary right after it is linked (kavrel_shipped_binary, cmake/kavrel_release.cmake):
#   cmake -DBINARY=… -DIMPORTS=… -DIMPORT_LISTS=… -DMINIMUM_WINDOWS=6.1 -DVERSION_FILE=…
#         -DOBJDUMP=… -DOBJCOPY=… -P finish_shipped_binary.cmake
#
# 1. Its imports are held to its committed list (IMPORTS): every function it imports must be
#    there, and none there may need a newer Windows than the binaries declare. Otherwise the
#    build fails naming each such function, deletes the binary (so that no later build takes it
#    for finished) and writes the list it would accept beside it, BINARY.imports, with the first
#    Windows of every function that another list already knows ("?" for the others, to be looked
#    up in the function's documentation before the list is committed).
# 2. Its debug information goes into BINARY.debug, the binary is stripped and names that file in
#    its .gnu_debuglink section (a debugger or addr2line finds it beside the binary).
#
# The time stamp objcopy writes into both is the commit's (SOURCE_DATE_EPOCH, from VERSION_FILE).

cmake_minimum_required(VERSION 3.25)

get_filename_component(binary_name "${BINARY}" NAME)

# --- what the binary imports --------------------------------------------------------------------
execute_process(COMMAND "${OBJDUMP}" -p "${BINARY}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "${OBJDUMP} cannot read ${BINARY}")
endif()
string(REPLACE ";" "," dump "${dump}")
string(REPLACE "\n" ";" dump_lines "${dump}")
set(imports "")
set(dll "")
foreach(line IN LISTS dump_lines)
    if(line MATCHES "^\tDLL Name: (.+)$")
        string(TOUPPER "${CMAKE_MATCH_1}" dll)
    elseif(line MATCHES "^The Export Tables|^PE File Base Relocations")
        set(dll "")
    elseif(dll AND line MATCHES "^\t[0-9a-f]+\t +([0-9]+) +([^ ]+)")
        set(name "${CMAKE_MATCH_2}")
        if(name STREQUAL "<none>")
            set(name "#${CMAKE_MATCH_1}")  # imported by ordinal
        endif()
        list(APPEND imports "${dll}!${name}")
    endif()
endforeach()
list(REMOVE_DUPLICATES imports)
list(SORT imports)

# --- the committed lists: the binary's own, and what all of them know of each function ----------
# A list's lines: DLL, function, the first Windows that has it (major.minor); # begins a comment.
function(read_import_list path out_entries)
    set(entries "")
    if(EXISTS "${path}")
        file(STRINGS "${path}" lines)
        foreach(line IN LISTS lines)
            if(line MATCHES "^[ \t]*([^# \t]+)[ \t]+([^ \t]+)[ \t]+([0-9]+\\.[0-9]+)")
                string(TOUPPER "${CMAKE_MATCH_1}" list_dll)
                list(APPEND entries "${list_dll}!${CMAKE_MATCH_2}=${CMAKE_MATCH_3}")
            endif()
        endforeach()
    endif()
    set(${out_entries} "${entries}" PARENT_SCOPE)
endfunction()

read_import_list("${IMPORTS}" allowed)
file(GLOB all_lists "${IMPORT_LISTS}/*.imports")
set(known "")
foreach(list_file IN LISTS all_lists)
    read_import_list("${list_file}" entries)
    list(APPEND known ${entries})
endforeach()

function(first_windows entries function out)
    set(found "")
    foreach(entry IN LISTS entries)
        if(entry MATCHES "^(.+)=(.+)$" AND CMAKE_MATCH_1 STREQUAL function)
            set(found "${CMAKE_MATCH_2}")
            break()
        endif()
    endforeach()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(problems "")
foreach(function IN LISTS imports)
    first_windows("${allowed}" "${function}" windows)
    if(windows STREQUAL "")
        list(APPEND problems "  ${function} is not in the list")
    elseif(windows VERSION_GREATER MINIMUM_WINDOWS)
        list(APPEND problems "  ${function} needs Windows ${windows}, newer than the ${MINIMUM_WINDOWS} the binaries declare")
    endif()
endforeach()

if(problems)
    set(proposal "${BINARY}.imports")
    set(text "\
# The functions ${binary_name} may import, each with the first Windows that has it (its NT
# version: 5.0 Windows 2000, 5.1 XP, 6.0 Vista, 6.1 Windows 7), from the function's documentation
# (\"minimum supported client\"; 5.0 where that names Windows 2000 or earlier, and for the
# C run-time msvcrt.dll that every Windows since 2000 has). The build fails when the binary
# imports anything else, or when a function here needs a newer Windows than the binaries declare
# (KAVREL_MINIMUM_WINDOWS in cmake/kavrel_release.cmake).
#
# DLL            function                              Windows
")
    foreach(function IN LISTS imports)
        string(REPLACE "!" ";" parts "${function}")
        list(GET parts 0 function_dll)
        list(GET parts 1 function_name)
        first_windows("${known}" "${function}" windows)
        if(windows STREQUAL "")
            set(windows "?")
        endif()
        string(LENGTH "${function_dll}" n)
        math(EXPR pad "15 - ${n}")
        if(pad LESS 1)
            set(pad 1)
        endif()
        string(REPEAT " " ${pad} gap1)
        string(LENGTH "${function_name}" n)
        math(EXPR pad "38 - ${n}")
        if(pad LESS 1)
            set(pad 1)
        endif()
        string(REPEAT " " ${pad} gap2)
        string(APPEND text "${function_dll}${gap1}${function_name}${gap2}${windows}\n")
    endforeach()
    file(WRITE "${proposal}" "${text}")
    file(REMOVE "${BINARY}")
    string(REPLACE ";" "\n" problems "${problems}")
    # A notice, not the error itself, so that CMake prints the lines as they are.
    message(NOTICE "\
${binary_name} imports what its list (${IMPORTS}) does not allow:
${problems}
The list this build would accept is in ${proposal}. Look up the first Windows of every
function marked ?, and commit it in place of the list only if the binary is meant to need
those functions.")
    message(FATAL_ERROR "${binary_name}: imports what its list does not allow (above)")
endif()

file(REMOVE "${BINARY}.imports")  # a proposal of an earlier, failed build

# --- symbols apart --------------------------------------------------------------------------------
file(STRINGS "${VERSION_FILE}" epoch REGEX "^source_date_epoch=")
string(REPLACE "source_date_epoch=" "" epoch "${epoch}")
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")

# Run where the binary lies: the debug link names only the file's name, and no folder of the
# build is read into either file.
get_filename_component(folder "${BINARY}" DIRECTORY)
foreach(step "--only-keep-debug;${binary_name};${binary_name}.debug"
             "--strip-all;--add-gnu-debuglink=${binary_name}.debug;${binary_name}")
    execute_process(COMMAND "${OBJCOPY}" ${step} WORKING_DIRECTORY "${folder}" RESULT_VARIABLE failed)
    if(failed)
        file(REMOVE "${BINARY}")
        message(FATAL_ERROR "${binary_name}: objcopy ${step} failed")
    endif()
endforeach()
