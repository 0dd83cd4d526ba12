# The export screen's units, which need Qt Core alone: the staging packer, the transfer settings
# file, the export file names, the workbook file and the upload request.
add_library(export_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ExportPaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StagingPacker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransferRequest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransferSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WorkbookFile.cpp
)
target_include_directories(export_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(export_core PUBLIC app_core export_xls export_ftp Qt6::Core)

# The export screen Tclockout.
add_library(export_screen STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Tclockout.cpp
)
target_include_directories(export_screen PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(export_screen PUBLIC export_core store app_core app_ui export_xls export_ftp
                      Qt6::Widgets)
