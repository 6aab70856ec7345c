# Every engine_*_test.cpp in one binary. The driver tests run the engine behind the headless
# window, hence quillon_table.
quillon_unit_tests(engine LIBS quillon_engine quillon_table)
