# The printer simulator: a library over a file descriptor (tests and
# benchmarks link it) and the program printer-sim for the demo.
if(UNIX)
  add_library(fw_printer_sim STATIC
    ${CMAKE_CURRENT_LIST_DIR}/printer_sim.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pseudo_terminal.cpp)
  fw_warnings(fw_printer_sim)
  target_include_directories(fw_printer_sim PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_compile_features(fw_printer_sim PUBLIC cxx_std_20)
  find_package(Threads REQUIRED)
  target_link_libraries(fw_printer_sim PUBLIC Threads::Threads util)

  add_executable(printer-sim ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
  fw_warnings(printer-sim)
  target_link_libraries(printer-sim PRIVATE fw_printer_sim)
endif()
