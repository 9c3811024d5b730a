# Shared by the Linux cross toolchain files: Debian's cross compiler for
# halvorine_triplet (default CMAKE_SYSTEM_PROCESSOR-linux-gnu; apt-get install
# g++-<triplet>), with the target's libraries under /usr/<triplet>. Tests run
# through qemu-user, named explicitly since binfmt may not be registered; -L
# points its loader at the target's libraries.
#
# LD_LIBRARY_PATH keeps the loader there too: without it, it follows this
# machine's /etc/ld.so.cache, which lists the same architecture's libraries
# from Debian's multiarch packages (libc6:arm64, libc6-i386, ...) when they are
# installed, as for the Debian cross builds of tools/release.sh. Those are
# another build of glibc than the cross compiler's loader, and a program that
# mixes the two crashes or hangs at its first thread.
set(CMAKE_SYSTEM_NAME Linux)
if(NOT halvorine_triplet)
  set(halvorine_triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
endif()
set(CMAKE_C_COMPILER ${halvorine_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${halvorine_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${halvorine_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HALVORINE_QEMU} -L /usr/${halvorine_triplet}
    -E LD_LIBRARY_PATH=/usr/${halvorine_triplet}/lib)
