# 32-bit x86 Linux, where size_t is 32 bits and files still pass 4 GiB:
# apt-get install g++-i686-linux-gnu qemu-user
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALVORINE_QEMU qemu-i386)
# Linked statically, so that it also runs as it is on an x86-64 kernel that
# runs 32-bit code (tools/cross-check.sh runs it there too).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
