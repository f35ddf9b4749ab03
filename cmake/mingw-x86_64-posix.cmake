# The 64-bit cross compiler with the POSIX thread model: GoogleTest needs
# std::mutex, which GCC 12's win32 thread model lacks. For the conformance
# suite only; the program itself is built with mingw-x86_64.cmake.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
