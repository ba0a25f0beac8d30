# Shared by the mingw-w64 toolchain files; CORVANE_MINGW_TRIPLET is set by the includer.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix variants give libstdc++ std::thread and std::mutex (through winpthreads).
set(CMAKE_C_COMPILER "${CORVANE_MINGW_TRIPLET}-gcc-posix")
set(CMAKE_CXX_COMPILER "${CORVANE_MINGW_TRIPLET}-g++-posix")
set(CMAKE_RC_COMPILER "${CORVANE_MINGW_TRIPLET}-windres")

set(CMAKE_FIND_ROOT_PATH "/usr/${CORVANE_MINGW_TRIPLET}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static: the program must start on a bare customer PC with no runtime DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
