# 64-bit IBM Z Linux, the big-endian target:
# apt-get install g++-s390x-linux-gnu qemu-user
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(HALVORINE_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
