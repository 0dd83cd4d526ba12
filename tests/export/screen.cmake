# The export screen through its controls, on a SQLite file in a temporary working directory and
# against the FTP server of tests/support; the workbooks are read back with xlrd.
punchclock_add_test(TclockoutTest
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/TclockoutTest.cpp
    LIBS export_screen test_database test_dialogs test_ftp_server)
