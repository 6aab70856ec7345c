# SPDX-License-Identifier: Apache-2.0
# The package verb's tests write real archives with minizip's zip API.
quillon_unit_tests(cli LIBS quillon_cli PkgConfig::MINIZIP ZLIB::ZLIB)

# The shipped programs cannot be made to shorten their timings: neither holds the name of a
# variable that would (the lab tests use their own build, quillon-cli-lab).
foreach(prog quillon-cli quillon)
  if(TARGET ${prog})
    add_test(NAME ${prog}_reads_no_test_timing
      COMMAND sh -c "! grep -q -e QUILLON_TEST_TIMING -e QUILLON_TEST_IDLE_MS -e QUILLON_TEST_CONNECT_MS \"$1\"" sh $<TARGET_FILE:${prog}>)
    set_tests_properties(${prog}_reads_no_test_timing PROPERTIES LABELS unit)
  endif()
endforeach()
