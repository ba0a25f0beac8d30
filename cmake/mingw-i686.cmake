# 32-bit Windows build, the one that ships. Compiled only: the build machine has no 32-bit
# Wine, so no emulator is set and its tests are not run.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CORVANE_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")
