# The .xls workbook writer, read back by xlrd (tests/export/read_xls.py) and, where installed,
# by LibreOffice.
punchclock_add_test(XlsWorkbookWriterTest
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/XlsWorkbookWriterTest.cpp
    LIBS export_xls)
