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
execute_process(
    COMMAND "${DLLTOOL}" --def "${decoratedDef}" --dllname "${DLL_NAME}" --kill-at --output-lib "${OUTPUT}"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${OUTPUT}")
endif()
