# End-to-end: the real window, the real channels and the printer simulator.
if(TARGET fw_window_qt AND TARGET fw_printer_sim AND TARGET fw_modal_responder)
  add_library(fw_e2e_support STATIC ${CMAKE_CURRENT_LIST_DIR}/e2e_support.cpp)
  fw_warnings(fw_e2e_support)
  target_include_directories(fw_e2e_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(fw_e2e_support PUBLIC fw_window_qt fw_modal_responder fw_sample_packages
                        fw_printer_sim)
  if(TARGET TAVLIB)
    target_compile_definitions(fw_e2e_support PRIVATE TAVLIB_PATH="$<TARGET_FILE:TAVLIB>")
  else()
    target_compile_definitions(fw_e2e_support PRIVATE TAVLIB_PATH="")
  endif()

  add_executable(e2e_serial_test ${CMAKE_CURRENT_LIST_DIR}/e2e_serial_test.cpp
                 ${CMAKE_SOURCE_DIR}/tests/app/window/qt_test_main.cpp)
  fw_warnings(e2e_serial_test)
  target_link_libraries(e2e_serial_test PRIVATE fw_e2e_support GTest::gtest)
  gtest_discover_tests(e2e_serial_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endif()
