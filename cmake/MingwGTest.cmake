# GoogleTest for the Windows build: Debian ships it as source only for other
# targets, so it is built here from /usr/src/googletest. This runs before the
# tests' find_package(GTest), which then finds the targets below through an
# empty package configuration.

set(FW_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${FW_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

set(_fw_gtest_config ${CMAKE_BINARY_DIR}/gtest-config)
file(WRITE ${_fw_gtest_config}/GTestConfig.cmake
  "# Targets GTest::gtest and GTest::gtest_main exist already.\n")
set(GTest_DIR ${_fw_gtest_config} CACHE PATH "" FORCE)
