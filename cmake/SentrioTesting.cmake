# GoogleTest from Debian's sources, built with the same toolchain as the product, and the helper
# that declares one test executable.

set(SENTRIO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
if(NOT EXISTS ${SENTRIO_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${SENTRIO_GTEST_SOURCE_DIR}: run scripts/setup.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${SENTRIO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# The 32-bit build runs its tests only where the machine can start 32-bit processes; the 64-bit
# and host builds always run theirs.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  option(SENTRIO_RUN_TESTS "Run the tests of this build (needs a machine that starts 32-bit processes)" OFF)
else()
  option(SENTRIO_RUN_TESTS "Run the tests of this build" ON)
endif()

# sentrio_add_test(<name> SOURCES <files> [LIBS <libs>] [SERIAL] [TIMEOUT <s>])
# One test executable, run by ctest (through Wine on the Windows build). SERIAL marks a test that
# creates named kernel objects or shares fixed paths: such tests never run at the same time.
function(sentrio_add_test name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(WIN32)
    target_link_libraries(${name} PRIVATE testkit)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(NOT SENTRIO_RUN_TESTS)
    return()  # built and linked, not run: see scripts/wine-env.sh
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no
           WORKING_DIRECTORY $<TARGET_FILE_DIR:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wineserver_named_objects)
  endif()
  if(name IN_LIST SENTRIO_SECRET_SCANNED_TESTS)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED secret_scan)
  endif()
endfunction()
