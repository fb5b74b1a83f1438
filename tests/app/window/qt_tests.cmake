# The window's stored design and the Qt toolkit services, on Qt's offscreen platform.
add_executable(qt_form1_test qt_form1_test.cpp qt_test_main.cpp)
fw_warnings(qt_form1_test)
target_link_libraries(qt_form1_test PRIVATE fw_form1 fw_modal_responder Qt6::Test GTest::gtest)
gtest_discover_tests(qt_form1_test DISCOVERY_MODE PRE_TEST
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Start-up through the real window with stand-ins for TAVLIB that report a
# given number of printers, each in a folder of its own (-1 in "m1").
if(UNIX AND TARGET fw_window_qt AND TARGET fw_modal_responder)
  set(_fw_standin_root ${CMAKE_BINARY_DIR}/startup_tavlib)
  add_executable(qt_startup_test qt_startup_test.cpp qt_test_main.cpp)
  fw_warnings(qt_startup_test)
  target_link_libraries(qt_startup_test PRIVATE fw_window_qt fw_modal_responder Qt6::Test GTest::gtest)
  target_compile_definitions(qt_startup_test PRIVATE STANDIN_TAVLIB_ROOT="${_fw_standin_root}")
  foreach(count 0 2 12 100 -1)
    string(REPLACE "-" "m" tag ${count})
    add_library(fw_startup_tavlib_${tag} SHARED qt_startup_tavlib.cpp)
    fw_warnings(fw_startup_tavlib_${tag})
    target_compile_definitions(fw_startup_tavlib_${tag} PRIVATE STANDIN_PRINTERS=${count})
    set_target_properties(fw_startup_tavlib_${tag} PROPERTIES OUTPUT_NAME TAVLIB
      LIBRARY_OUTPUT_DIRECTORY ${_fw_standin_root}/${tag})
    add_dependencies(qt_startup_test fw_startup_tavlib_${tag})
  endforeach()
  gtest_discover_tests(qt_startup_test DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 60)
  unset(_fw_standin_root)
endif()
