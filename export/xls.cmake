# Writing the export as an Excel 97-2003 workbook: the BIFF8 stream is ours, the OLE2 compound
# file around it comes from libgsf.
add_library(export_xls STATIC
    ${CMAKE_CURRENT_LIST_DIR}/XlsWorkbookWriter.cpp
)
target_include_directories(export_xls PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(export_xls PUBLIC Qt6::Core PRIVATE PkgConfig::GSF)
