# Shared by the Linux cross toolchain files: Debian's cross compiler for
# CMAKE_SYSTEM_PROCESSOR (apt-get install g++-<triplet>), with the target's
# libraries under /usr/<triplet>. Tests run through qemu-user, named
# explicitly since binfmt may not be registered; -L points its loader at the
# target's libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(halvorine_triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_C_COMPILER ${halvorine_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${halvorine_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${halvorine_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HALVORINE_QEMU} -L /usr/${halvorine_triplet})
