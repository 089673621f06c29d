# Shared by the cross toolchain files: Debian's cross compiler for
# VAXO_CROSS_TRIPLE, with its libraries and headers under /usr/<triple>.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VAXO_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VAXO_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${VAXO_CROSS_TRIPLE})
# Build tools (javac, nm, clang-format) come from the host; everything linked
# into the binaries comes from the target's tree or from GTest_DIR.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
