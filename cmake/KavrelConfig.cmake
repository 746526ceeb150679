# Kavrel's CMake package, for programs that use the TWAIN acquisition library of Kavrel.dll:
#
#   find_package(Kavrel 1.1 REQUIRED)
#   target_link_libraries(your_program PRIVATE Kavrel::Kavrel)
#
# and #include <kavrel/twain.h>. Kavrel::Kavrel is the DLL with its import library; a program
# needs Kavrel.dll beside it at run time ($<TARGET_FILE:Kavrel::Kavrel> names it). It is a 32-bit
# Windows DLL: the package's version file turns down a 64-bit build.
get_filename_component(_kavrel_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET Kavrel::Kavrel)
    add_library(Kavrel::Kavrel SHARED IMPORTED)
    set_target_properties(Kavrel::Kavrel PROPERTIES
        IMPORTED_LOCATION "${_kavrel_root}/bin/Kavrel.dll"
        IMPORTED_IMPLIB "${_kavrel_root}/lib/libKavrel.dll.a"
        INTERFACE_INCLUDE_DIRECTORIES "${_kavrel_root}/include")
endif()
unset(_kavrel_root)
