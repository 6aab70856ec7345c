quillon_unit_tests(log LIBS quillon_log)
