# Message boxes recorded instead of shown, for the screen tests.
add_library(test_dialogs INTERFACE)
target_include_directories(test_dialogs INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(test_dialogs INTERFACE ui)
