# Host build of Peglar's command-line split and list editing.
add_library(peglar_editing STATIC ${CMAKE_CURRENT_LIST_DIR}/command_line.cpp ${CMAKE_CURRENT_LIST_DIR}/item_list.cpp)
target_include_directories(peglar_editing PUBLIC ${CMAKE_CURRENT_LIST_DIR})
list(APPEND SENTRIO_HOST_EXTRA_TEST_SOURCES ${CMAKE_SOURCE_DIR}/tests/inidispatch/test_item_list.cpp
                                            ${CMAKE_SOURCE_DIR}/tests/inidispatch/test_command_line.cpp)
list(APPEND SENTRIO_HOST_EXTRA_TEST_LIBS peglar_editing)
