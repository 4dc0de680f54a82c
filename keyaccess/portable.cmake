# Host build of the Notes logon record codec, which parses data read from a Key.
add_library(notes_logon_record STATIC ${CMAKE_CURRENT_LIST_DIR}/notes_logon_record.cpp)
target_include_directories(notes_logon_record PUBLIC ${CMAKE_CURRENT_LIST_DIR})
list(APPEND SENTRIO_HOST_EXTRA_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/keyaccess/test_notes_logon_record.cpp)
list(APPEND SENTRIO_HOST_EXTRA_TEST_LIBS notes_logon_record)
