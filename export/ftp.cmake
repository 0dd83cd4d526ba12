# Uploading the exported files by FTP.
add_library(export_ftp STATIC
    ${CMAKE_CURRENT_LIST_DIR}/CurlFtpUploader.cpp
)
target_include_directories(export_ftp PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(export_ftp PUBLIC Qt6::Core PRIVATE CURL::libcurl)
