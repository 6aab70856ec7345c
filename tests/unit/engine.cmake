quillon_unit_tests(engine LIBS quillon_engine)
