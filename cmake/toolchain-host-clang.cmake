# Linux host build of the code that needs no Windows API, for sanitizers and fuzzers.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
