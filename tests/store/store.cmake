# The record store against a real SQLite file and, where PUNCHCLOCK_TEST_DSN names the test
# server's data source, a real PostgreSQL server through ODBC.
punchclock_add_test(store_connection SOURCES tst_connection.cpp LIBS store test_database)
punchclock_add_test(store_record_query SOURCES tst_record_query.cpp LIBS store test_database)
punchclock_add_test(store_schema SOURCES tst_schema.cpp LIBS store test_database)
add_dependencies(store_schema punchclock-createdb)
