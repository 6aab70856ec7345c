quillon_unit_tests(cli LIBS quillon_cli)
