# Linux: the usblp platform against umockdev test beds.

find_package(PkgConfig REQUIRED)
pkg_check_modules(FW_UMOCKDEV REQUIRED IMPORTED_TARGET GLOBAL umockdev-1.0)

# Test bed of USB printers for any test that needs one.
add_library(fw_usb_testbed STATIC support/usb_testbed.cpp)
target_include_directories(fw_usb_testbed PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(fw_usb_testbed PUBLIC PkgConfig::FW_UMOCKDEV)
fw_warnings(fw_usb_testbed)

function(tavlib_umockdev_test name)
  add_executable(${name} ${ARGN} umockdev_main.cpp)
  target_link_libraries(${name} PRIVATE fw_usb_testbed GTest::gtest)
  fw_warnings(${name})
  add_test(NAME ${name} COMMAND umockdev-wrapper $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    SKIP_RETURN_CODE 77
    TIMEOUT 120
    ENVIRONMENT "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1;TMPDIR=/tmp")
endfunction()

# The platform and the logic with a short receive time-out.
tavlib_umockdev_test(tavlib_linux_tests linux_platform_test.cpp failing_allocation.cpp)
target_link_libraries(tavlib_linux_tests PRIVATE tavlib_platform)

# The built library through its exports, as the program meets it.
tavlib_umockdev_test(tavlib_exports_linux_tests exports_linux_test.cpp)
target_link_libraries(tavlib_exports_linux_tests PRIVATE TAVLIB)
