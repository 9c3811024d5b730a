# 32-bit x86 Linux, where size_t is 32 bits and files still pass 4 GiB:
# apt-get install g++-i686-linux-gnu qemu-user
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HALVORINE_QEMU qemu-i386)
set(HALVORINE_DEBIAN_ARCH i386)
# Linked statically: under Debian 12's qemu-i386, a dynamically linked
# program hangs in the loader's thread-stack bookkeeping at its first
# pthread_create, which a static one never enters. A static build also runs
# as it is on an x86-64 kernel that runs 32-bit code.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
