# 64-bit Windows cross build; its test programs run here under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
