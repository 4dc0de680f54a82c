# Host build of the Notes logon record codec, which parses data read from a Key.
add_library(notes_logon_record STATIC ${CMAKE_CURRENT_LIST_DIR}/notes_logon_record.cpp)
target_include_directories(notes_logon_record PUBLIC ${CMAKE_CURRENT_LIST_DIR})
list(APPEND SENTRIO_HOST_EXTRA_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/keyaccess/test_notes_logon_record.cpp)
list(APPEND SENTRIO_HOST_EXTRA_TEST_LIBS notes_logon_record)

# The monitor gate (how the reader monitor and the Key operations take turns), with no Windows in
# it: its rules and its stress test run on the host, under ThreadSanitizer in the host-tsan preset.
add_library(monitor_gate STATIC ${CMAKE_CURRENT_LIST_DIR}/monitor_gate.cpp)
target_include_directories(monitor_gate PUBLIC ${CMAKE_CURRENT_LIST_DIR})
