# Unit tests of the download engine: scan, protocol and session driver, on an
# in-memory channel, a fake clock and the headless window.
add_executable(fw_engine_tests
  ${CMAKE_CURRENT_LIST_DIR}/engine_package_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_protocol_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_session_tests.cpp
)
fw_warnings(fw_engine_tests)
target_include_directories(fw_engine_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(fw_engine_tests PRIVATE fw_session fw_test_support GTest::gtest_main)
gtest_discover_tests(fw_engine_tests DISCOVERY_MODE PRE_TEST)
