# The window's logic without Qt: start-up, the selection handlers and the
# settings store.
add_library(fw_window_logic STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ini_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_file_io_posix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nvimg_mod.cpp
  ${CMAKE_CURRENT_LIST_DIR}/select_list_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interface_handlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_handlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/startup.cpp)
fw_warnings(fw_window_logic)
target_link_libraries(fw_window_logic PUBLIC fw_toolkit)
