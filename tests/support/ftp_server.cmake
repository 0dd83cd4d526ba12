# A real FTP server for tests (ftp_server.py), started and stopped by a small class.
add_library(test_ftp_server STATIC ${CMAKE_CURRENT_LIST_DIR}/FtpTestServer.cpp)
target_include_directories(test_ftp_server PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(test_ftp_server PUBLIC Qt6::Core)
target_compile_definitions(test_ftp_server PRIVATE
    FTP_SERVER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/ftp_server.py")
