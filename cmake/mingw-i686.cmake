# Cross-build for 32-bit Windows with MinGW-w64, the build users run; its
# programs run under Wine's 32-bit half (emulated where the kernel runs no
# i386 code).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
