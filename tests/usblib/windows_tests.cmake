# Windows: the SetupAPI and overlapped-pipe platform under Wine. Devices are
# registered in Wine's registry, so these tests take turns.

add_library(tavlib_windows_printers STATIC windows_printers.cpp)
target_link_libraries(tavlib_windows_printers PUBLIC setupapi advapi32)
fw_warnings(tavlib_windows_printers)

add_executable(tavlib_windows_tests windows_platform_test.cpp failing_allocation.cpp)
target_link_libraries(tavlib_windows_tests PRIVATE tavlib_platform tavlib_windows_printers GTest::gtest_main)
fw_warnings(tavlib_windows_tests)
gtest_discover_tests(tavlib_windows_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES RESOURCE_LOCK wine_devices TIMEOUT 60)

add_executable(tavlib_exports_windows_tests exports_windows_test.cpp)
target_link_libraries(tavlib_exports_windows_tests PRIVATE TAVLIB tavlib_windows_printers GTest::gtest_main)
fw_warnings(tavlib_exports_windows_tests)
gtest_discover_tests(tavlib_exports_windows_tests DISCOVERY_MODE PRE_TEST
  PROPERTIES RESOURCE_LOCK wine_devices TIMEOUT 60)
