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
  # A window manager's close request, sent to the window on a virtual X display.
  find_package(X11 QUIET)
  find_program(FW_XVFB_RUN xvfb-run)
  if(TARGET X11::X11)
    target_compile_definitions(fw_e2e_support PRIVATE FW_E2E_X11)
    target_link_libraries(fw_e2e_support PRIVATE X11::X11)
  endif()

  add_executable(e2e_serial_test ${CMAKE_CURRENT_LIST_DIR}/e2e_serial_test.cpp
                 ${CMAKE_SOURCE_DIR}/tests/app/window/qt_test_main.cpp)
  fw_warnings(e2e_serial_test)
  target_link_libraries(e2e_serial_test PRIVATE fw_e2e_support Qt6::Test GTest::gtest)
  gtest_discover_tests(e2e_serial_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
  # The tests that need a real window system run again on Xvfb (on the
  # offscreen platform they skip).
  if(TARGET X11::X11 AND FW_XVFB_RUN)
    add_test(NAME e2e_serial_test.OnXvfb
      COMMAND ${FW_XVFB_RUN} -a $<TARGET_FILE:e2e_serial_test> --gtest_filter=*OnX11*)
    set_tests_properties(e2e_serial_test.OnXvfb PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=xcb" TIMEOUT 120
      PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\."
      FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|\\[  SKIPPED \\]|ERROR: |runtime error")
  endif()
endif()

# USB: the real libTAVLIB.so against printers of a umockdev test bed. The
# binary runs under umockdev-wrapper, for the listing as for each test.
if(TARGET fw_e2e_support AND TARGET TAVLIB AND UNIX AND NOT APPLE)
  find_program(FW_UMOCKDEV_WRAPPER umockdev-wrapper)
  if(FW_UMOCKDEV_WRAPPER)
    # fw_usb_testbed is made in tests/usblib, read after this folder.
    add_executable(e2e_usb_test ${CMAKE_CURRENT_LIST_DIR}/e2e_usb_test.cpp)
    fw_warnings(e2e_usb_test)
    target_link_libraries(e2e_usb_test PRIVATE fw_e2e_support fw_usb_testbed Qt6::Test GTest::gtest)
    add_dependencies(e2e_usb_test TAVLIB)
    # The preload library comes before the sanitizer runtime: ASan must not
    # insist on being first, already for the listing of the tests.
    set_target_properties(e2e_usb_test PROPERTIES CROSSCOMPILING_EMULATOR
      "env;ASAN_OPTIONS=verify_asan_link_order=0;${FW_UMOCKDEV_WRAPPER}")
    gtest_discover_tests(e2e_usb_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=verify_asan_link_order=0;TMPDIR=/tmp"
        SKIP_RETURN_CODE 77 TIMEOUT 120)
  endif()
endif()

# Network: the print path to a private Samba server on 127.0.0.1.
if(TARGET fw_e2e_support AND UNIX)
  add_executable(e2e_network_test ${CMAKE_CURRENT_LIST_DIR}/e2e_network_test.cpp
                 ${CMAKE_SOURCE_DIR}/tests/fixtures/samba/samba_server.cpp
                 ${CMAKE_SOURCE_DIR}/tests/app/window/qt_test_main.cpp)
  fw_warnings(e2e_network_test)
  target_include_directories(e2e_network_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/fixtures/samba)
  target_link_libraries(e2e_network_test PRIVATE fw_e2e_support GTest::gtest)
  gtest_discover_tests(e2e_network_test DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endif()
