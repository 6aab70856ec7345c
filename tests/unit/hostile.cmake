# Hostile input: what arrives from the network or from files, at its worst, across modules.
quillon_unit_tests(hostile LIBS quillon_settings quillon_platform)
