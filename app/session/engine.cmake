# The download engine: package scan, printer protocol and the session driver.
# No window and no platform channel here; those come in through interfaces.
add_library(fw_session STATIC
  ${CMAKE_CURRENT_LIST_DIR}/channel_config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/download_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hex_to_byte.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_fault.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_reader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/package_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/printer_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/range_choice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_assembly.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_exchange.cpp
)
fw_warnings(fw_session)
target_link_libraries(fw_session PUBLIC fw_toolkit)
