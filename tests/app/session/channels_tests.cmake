# Tests of the real channels: serial over a pseudo-terminal with the printer
# simulator, USB against a stand-in TAVLIB, the network path against a
# private Samba server.
if(UNIX AND TARGET fw_channels AND TARGET fw_printer_sim)
  set(_fw_ct ${CMAKE_CURRENT_LIST_DIR})

  # Two stand-ins for TAVLIB, each in a folder of its own so neither is taken
  # for the real library beside the program.
  add_library(fw_fake_tavlib SHARED ${_fw_ct}/channels_fake_tavlib.cpp)
  set_target_properties(fw_fake_tavlib PROPERTIES OUTPUT_NAME TAVLIB
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fake_tavlib/full)
  add_library(fw_fake_tavlib_no_close SHARED ${_fw_ct}/channels_fake_tavlib.cpp)
  target_compile_definitions(fw_fake_tavlib_no_close PRIVATE FAKE_TAVLIB_WITHOUT_CLOSE)
  set_target_properties(fw_fake_tavlib_no_close PROPERTIES OUTPUT_NAME TAVLIB
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fake_tavlib/no_close)
  foreach(t fw_fake_tavlib fw_fake_tavlib_no_close)
    fw_warnings(${t})
    # Unique symbols would pin the library in memory after dlclose, and a
    # test that loads no library would then find it by name.
    target_compile_options(${t} PRIVATE -fno-gnu-unique)
    # The binding keeps a loaded library mapped for good. Without a soname a
    # later bare-name lookup cannot mistake this stand-in for the real one.
    set_target_properties(${t} PROPERTIES NO_SONAME ON)
  endforeach()

  add_executable(fw_channels_tests
    ${_fw_ct}/channels_rules_tests.cpp
    ${_fw_ct}/channels_usb_tests.cpp
    ${_fw_ct}/channels_network_tests.cpp
    ${_fw_ct}/../../fixtures/samba/samba_server.cpp)
  fw_warnings(fw_channels_tests)
  target_include_directories(fw_channels_tests PRIVATE ${_fw_ct}/../../fixtures/samba)
  target_compile_definitions(fw_channels_tests PRIVATE
    FAKE_TAVLIB_DIR="${CMAKE_BINARY_DIR}/fake_tavlib/full"
    FAKE_TAVLIB_NO_CLOSE_DIR="${CMAKE_BINARY_DIR}/fake_tavlib/no_close")
  target_link_libraries(fw_channels_tests PRIVATE fw_channels GTest::gtest GTest::gtest_main)
  add_dependencies(fw_channels_tests fw_fake_tavlib fw_fake_tavlib_no_close)
  gtest_discover_tests(fw_channels_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 60)

  add_executable(fw_channels_serial_tests ${_fw_ct}/channels_serial_tests.cpp)
  fw_warnings(fw_channels_serial_tests)
  target_link_libraries(fw_channels_serial_tests PRIVATE fw_channels fw_printer_sim GTest::gtest)
  gtest_discover_tests(fw_channels_serial_tests DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT 60)
  unset(_fw_ct)
endif()
