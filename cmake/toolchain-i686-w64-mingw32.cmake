# 32-bit Windows, cross-compiled with Debian's mingw-w64 (posix thread model): the x86 deliverables
# (for 32-bit Notes clients, packed into Sentrio-x86.msi).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_triple i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${_triple}-gcc)
set(CMAKE_CXX_COMPILER ${_triple}-g++)
set(CMAKE_RC_COMPILER  ${_triple}-windres)
set(CMAKE_OBJDUMP      ${_triple}-objdump)
set(CMAKE_STRIP        ${_triple}-strip)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The images built here are the x86 ones shipped. Their tests are always built (so they compile and link
# as 32-bit code, layouts included); where the machine can start 32-bit processes they also run,
# under the 32-bit Wine (SENTRIO_RUN_TESTS, set by scripts/test.sh; see scripts/wine-env.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run32.sh)
