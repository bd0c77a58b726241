set(CMAKE_C_COMPILER   ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
# llvm-windres keeps a dialog control's class name as written ("Static"), as
# Microsoft's rc does; GNU windres writes it in capitals.
find_program(CMAKE_RC_COMPILER NAMES llvm-windres-14 llvm-windres REQUIRED)
set(CMAKE_RC_FLAGS_INIT "--target=${TOOLCHAIN_PREFIX}")
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine, each in a throwaway prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
