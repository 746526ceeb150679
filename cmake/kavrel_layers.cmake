# The product's layers as libraries that the build holds apart.
#
#   kavrel_layer_library(NAME
#       [PURE]                     plain C++, no Windows: also built natively (and tested there)
#       SOURCES file...            its sources (paths from the source root)
#       HEADERS file...            its own headers
#       [PUBLIC_HEADERS file...]   those the layers above may include (default: all of HEADERS)
#       [LINKS target...])         what it uses: the libraries below it, system libraries
#
# Every header is included by its path from the source root ("twain/twain.h"), but no library
# sees the source root itself. Each sees an include view of its own: symbolic links to its own
# headers, and the public headers of the libraries it links (passed on to the libraries above).
# A header of a library above, or a private header of one below, is not in any view a library
# gets, so an include the wrong way through the layers does not compile.

set(KAVREL_INCLUDE_VIEWS ${CMAKE_BINARY_DIR}/include-views)

function(kavrel_include_view view)
    file(REMOVE_RECURSE ${view})
    file(MAKE_DIRECTORY ${view})
    foreach(header IN LISTS ARGN)
        get_filename_component(folder ${view}/${header} DIRECTORY)
        file(MAKE_DIRECTORY ${folder})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${header} ${view}/${header} SYMBOLIC)
    endforeach()
endfunction()

function(kavrel_layer_library name)
    cmake_parse_arguments(L "PURE" "" "SOURCES;HEADERS;PUBLIC_HEADERS;LINKS" ${ARGN})
    if(NOT L_PURE AND NOT KAVREL_WINDOWS_TARGET)
        return()  # the native build has the plain C++ layers only
    endif()
    if(NOT DEFINED L_PUBLIC_HEADERS)
        set(L_PUBLIC_HEADERS ${L_HEADERS})
    endif()
    set(view ${KAVREL_INCLUDE_VIEWS}/${name})
    kavrel_include_view(${view}/own ${L_HEADERS})
    kavrel_include_view(${view}/public ${L_PUBLIC_HEADERS})
    add_library(${name} STATIC ${L_SOURCES} ${L_HEADERS})
    target_include_directories(${name} PRIVATE ${view}/own INTERFACE ${view}/public)
    target_link_libraries(${name} PUBLIC ${L_LINKS})
endfunction()
