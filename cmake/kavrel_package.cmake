# The install tree (cmake --install), which is also the release archive's content
# (scripts/package.sh). The shipped binaries install themselves (kavrel_shipped_binary).
#
#   bin/                   Kavrel.dll, kvrhost.exe, kavrel_virtual_scanner.ds, virtual-scanner.ini
#   lib/                   libKavrel.dll.a (the import library), Kavrel.def (the DLL's exports)
#   include/kavrel/        twain.h, the TWAIN library's header
#   lib/cmake/Kavrel/      the CMake package: find_package(Kavrel 1.1) gives Kavrel::Kavrel
#   share/doc/kavrel/      README.md, deploying.md, deploying.ru.md, CHANGELOG.md, LICENSE, THIRD-PARTY-NOTICES
#
# The symbol files (bin/*.debug) are the "symbols" component, installed only when named.
include(CMakePackageConfigHelpers)

# Texts an administrator opens on Windows get Windows line ends (Notepad of Windows 7 shows a
# file of bare line feeds as one line); the sources keep theirs.
set(windows_texts ${CMAKE_BINARY_DIR}/windows-texts)
function(kavrel_windows_text source destination)
    get_filename_component(name ${source} NAME)
    file(READ ${CMAKE_SOURCE_DIR}/${source} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${windows_texts}/${name}.new "${text}")
    file(COPY_FILE ${windows_texts}/${name}.new ${windows_texts}/${name} ONLY_IF_DIFFERENT)
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${source})
    install(FILES ${windows_texts}/${name} DESTINATION ${destination} COMPONENT kavrel)
endfunction()

kavrel_windows_text(tools/virtual_scanner/virtual-scanner.ini bin)
install(FILES $<TARGET_LINKER_FILE:Kavrel> ${KAVREL_DEF} DESTINATION lib COMPONENT kavrel)
# The header as it is in the tree, under the project's own folder: <kavrel/twain.h> is never
# mistaken for the TWAIN standard's twain.h, which every TWAIN program already includes.
install(FILES twain/twain.h DESTINATION include/kavrel COMPONENT kavrel)

write_basic_package_version_file(${CMAKE_BINARY_DIR}/KavrelConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES cmake/KavrelConfig.cmake ${CMAKE_BINARY_DIR}/KavrelConfigVersion.cmake
    DESTINATION lib/cmake/Kavrel COMPONENT kavrel)

foreach(text README.md docs/deploying.md docs/deploying.ru.md CHANGELOG.md LICENSE THIRD-PARTY-NOTICES)
    kavrel_windows_text(${text} share/doc/kavrel)
endforeach()
