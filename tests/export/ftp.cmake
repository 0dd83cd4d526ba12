# A real FTP server for tests (tests/support/ftp_server.py), started and stopped by a small class
# that the export screen's tests use as well.
add_library(test_ftp_server STATIC ${PROJECT_SOURCE_DIR}/tests/support/FtpTestServer.cpp)
target_include_directories(test_ftp_server PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(test_ftp_server PUBLIC Qt6::Core)
target_compile_definitions(test_ftp_server PRIVATE
    FTP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/ftp_server.py")

punchclock_add_test(CurlFtpUploaderTest
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/CurlFtpUploaderTest.cpp
    LIBS export_ftp test_ftp_server)
