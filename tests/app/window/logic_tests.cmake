# The window's logic on the headless window: handlers, start-up and "&OK",
# and the settings store on real files.
add_executable(fw_window_logic_tests
  ${CMAKE_CURRENT_LIST_DIR}/logic_select_list_entry_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/logic_handlers_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_store_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_file_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup_tests.cpp)
fw_warnings(fw_window_logic_tests)
target_link_libraries(fw_window_logic_tests PRIVATE fw_window_logic fw_test_support GTest::gtest_main)
gtest_discover_tests(fw_window_logic_tests DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 60)
