# Makes the DLL's import library from the module-definition file the linker wrote.
#   cmake -DDEF=… -DDLL_NAME=… -DDLLTOOL=… -DOUTPUT=… -P stdcall_import_library.cmake
#
# The DLL exports its WINAPI functions under plain names (linked with --kill-at), but a caller's
# compiler refers to them by their decorated names (_TWAIN_State@0). The linker's own import
# library has only the plain names, so programs could not link against it. Written from the
# decorated names with dlltool --kill-at, each entry keeps the decorated symbol for the caller
# and imports the plain name from the DLL.
file(STRINGS "${DEF}" lines)
set(decorated "")
foreach(line IN LISTS lines)
    # "    Name = Name@12 @3" (a WINAPI function) becomes "    Name@12 @3"; other lines stay.
    string(REGEX REPLACE "^([ \t]+)[A-Za-z_0-9]+ = ([A-Za-z_0-9]+@[0-9]+)" "\\1\\2" line "${line}")
    string(APPEND decorated "${line}\n")
endforeach()
set(decoratedDef "${OUTPUT}.def")
file(WRITE "${decoratedDef}" "${decorated}")
# dlltool names the library's members and symbols after the output path it is given: it runs in
# the library's folder and is given the bare name, so that the library is the same wherever the
# build lies.
get_filename_component(folder "${OUTPUT}" DIRECTORY)
get_filename_component(name "${OUTPUT}" NAME)
execute_process(
    COMMAND "${DLLTOOL}" --def "${decoratedDef}" --dllname "${DLL_NAME}" --kill-at --output-lib "${name}"
            --deterministic-libraries
    WORKING_DIRECTORY "${folder}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${OUTPUT}")
endif()
