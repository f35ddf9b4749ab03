# The 32-bit cross compiler with the POSIX thread model: GoogleTest needs
# std::mutex, which GCC 12's win32 thread model lacks. For the conformance
# suite only; the program itself is built with mingw-i686.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
