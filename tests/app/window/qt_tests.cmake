# The window's stored design and the Qt toolkit services, on Qt's offscreen platform.
add_executable(qt_form1_test qt_form1_test.cpp qt_test_main.cpp)
fw_warnings(qt_form1_test)
target_link_libraries(qt_form1_test PRIVATE fw_form1 GTest::gtest)
gtest_discover_tests(qt_form1_test DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
