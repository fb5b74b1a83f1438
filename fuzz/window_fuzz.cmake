# The window's text handling: the settings text rules (a key set and read
# back) and the list entry chosen from a stored number.
set(FW_WINDOW_DIR ${PROJECT_SOURCE_DIR}/app/window)
fw_fuzz_target(fw_ini_fuzz
  ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp
  ${FW_WINDOW_DIR}/ini_text.cpp
)
fw_fuzz_target(fw_select_list_fuzz
  ${CMAKE_CURRENT_LIST_DIR}/select_list_fuzz.cpp
  ${FW_WINDOW_DIR}/select_list_entry.cpp
)
