# Cross-build for 64-bit Windows (x86-64) with MinGW-w64. See mingw-common.cmake.
set(ORLEXMON_MINGW_TRIPLET x86_64-w64-mingw32)
set(ORLEXMON_MINGW_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
