quillon_unit_tests(intake LIBS quillon_intake)
