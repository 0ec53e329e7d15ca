# Cross-build for 32-bit Windows (i686) with MinGW-w64. See mingw-common.cmake. The host library's
# operations are __stdcall here (host/host_library.h); SSE2 is asked for explicitly where the scan
# uses it.
set(ORLEXMON_MINGW_TRIPLET i686-w64-mingw32)
set(ORLEXMON_MINGW_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
