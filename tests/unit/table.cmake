quillon_unit_tests(table LIBS quillon_table)
