# Cross toolchain for the 32-bit Windows target: MinGW-w64, POSIX thread model
# (the win32 model has no std::mutex, which GoogleTest needs).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KAVREL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${KAVREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${KAVREL_MINGW_PREFIX}-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)

set(CMAKE_FIND_ROOT_PATH /usr/${KAVREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static libraries without time stamps, owners or modes in their members (GNU ar's "D"), so
# that the same sources give the same archive wherever and whenever they are built. This file
# is the toolchain of the third-party builds too (deps/), libjpeg-turbo's static library included.
foreach(lang C CXX ASM ASM_NASM)
    set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
    set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
