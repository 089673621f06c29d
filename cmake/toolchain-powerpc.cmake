# 32-bit big-endian PowerPC Linux. Test binaries run under qemu-user, named
# explicitly because no binfmt handler can be relied on.
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(VAXO_CROSS_TRIPLE powerpc-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc-static -L /usr/${VAXO_CROSS_TRIPLE})
endif()
