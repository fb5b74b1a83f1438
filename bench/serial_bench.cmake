# Serial download speed against a minimal C loop over the same kind of
# pseudo-terminal. Run: serial_bench [records]
if(UNIX AND TARGET fw_channels AND TARGET fw_printer_sim)
  add_executable(serial_bench
    ${CMAKE_CURRENT_LIST_DIR}/serial_bench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_reference.c)
  fw_warnings(serial_bench)
  target_include_directories(serial_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(serial_bench PRIVATE fw_channels fw_printer_sim)
endif()
