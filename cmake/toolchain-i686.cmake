# 32-bit x86 Linux. Test binaries run natively on an x86-64 host with the
# 32-bit C and C++ runtimes installed, or under CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VAXO_CROSS_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
