# Shared part of the MinGW-w64 toolchain files: cross-building for Windows on Debian with the
# posix-thread flavour of the compilers (std::thread and std::mutex; GoogleTest needs them).
#
# REQUIRES: ORLEXMON_MINGW_TRIPLET is set (x86_64-w64-mingw32 or i686-w64-mingw32).
#
# Everything is linked statically, the C and C++ runtimes and winpthread included, so that the
# programs and DLLs need nothing beside them but each other. The libraries that
# scripts/deps.sh --windows cross-builds (SQLite, GoogleTest, Google Benchmark) live in
# build/deps/<triplet>; they and the MinGW sysroot are the only places searched for headers,
# libraries and pkg-config files, so that nothing of the Linux system leaks into the build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ORLEXMON_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${ORLEXMON_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORLEXMON_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORLEXMON_MINGW_TRIPLET}-windres)

get_filename_component(ORLEXMON_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(ORLEXMON_DEPS_PREFIX "${ORLEXMON_SOURCE_ROOT}/build/deps/${ORLEXMON_MINGW_TRIPLET}")

set(CMAKE_FIND_ROOT_PATH /usr/${ORLEXMON_MINGW_TRIPLET} ${ORLEXMON_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH ${ORLEXMON_DEPS_PREFIX})

# pkg-config sees only the cross-built libraries, never the Linux ones.
set(ENV{PKG_CONFIG_LIBDIR} "${ORLEXMON_DEPS_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (cmake/wine-run.sh picks the loader and the Japanese locale).
set(CMAKE_CROSSCOMPILING_EMULATOR "${ORLEXMON_SOURCE_ROOT}/cmake/wine-run.sh")
