quillon_unit_tests(texts LIBS quillon_texts)
