# The BIR string codecs need no Windows API: they build on the host too, under the sanitizers.
add_library(biometric_portable STATIC ${CMAKE_CURRENT_LIST_DIR}/bir_string.cpp)
target_include_directories(biometric_portable PUBLIC ${CMAKE_CURRENT_LIST_DIR})
list(APPEND SENTRIO_HOST_EXTRA_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/biometric/test_bir_string.cpp)
list(APPEND SENTRIO_HOST_EXTRA_TEST_LIBS biometric_portable)
