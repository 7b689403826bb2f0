# Cross build for 64-bit Windows with Debian's mingw-w64 (tools/windows installs it and
# configures build-windows/ with this file). The "-posix" compilers are the ones whose
# C++ library has std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUELLOMIR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUELLOMIR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUELLOMIR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUELLOMIR_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUELLOMIR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 10 is the oldest the program runs on; the Windows headers then offer its calls.
# Every Windows call takes UTF-16 (the "W" functions), and min/max stay the standard's.
set(QUELLOMIR_WINDOWS_DEFINITIONS
    "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX")
set(CMAKE_C_FLAGS_INIT "${QUELLOMIR_WINDOWS_DEFINITIONS}")
set(CMAKE_CXX_FLAGS_INIT "${QUELLOMIR_WINDOWS_DEFINITIONS}")

# The C++ runtime and the thread library go inside the .exe, so that nothing but the
# system's own DLLs has to lie beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests built here run under Wine on Linux.
find_program(QUELLOMIR_WINE wine)
if(QUELLOMIR_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUELLOMIR_WINE})
endif()
