# SPDX-License-Identifier: Apache-2.0
quillon_unit_tests(app LIBS quillon_app quillon_texts)

if(CMAKE_CROSSCOMPILING)
  # Once more on a Chinese (PRC) system: Wine takes the system locale from the locale variables.
  quillon_wine_test(quillon_app_tests_zh_cn COMMAND quillon_app_tests --gtest_brief=1
    --gtest_filter=LanguageAtStartUp.*)
  set_property(TEST quillon_app_tests_zh_cn APPEND PROPERTY ENVIRONMENT
    "LANG=zh_CN.UTF-8;LC_ALL=zh_CN.UTF-8;QUILLON_EXPECT_SYSTEM_LOCALE=zh-CN")
endif()
