# The demo driver and the modal-box responder the end-to-end tests share.
if(TARGET fw_window_qt)
  add_library(fw_modal_responder STATIC ${CMAKE_CURRENT_LIST_DIR}/modal_responder.cpp)
  set_target_properties(fw_modal_responder PROPERTIES AUTOMOC ON)
  fw_warnings(fw_modal_responder)
  target_include_directories(fw_modal_responder PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(fw_modal_responder PUBLIC Qt6::Widgets)

  add_executable(firmware-demo ${CMAKE_CURRENT_LIST_DIR}/firmware_demo.cpp)
  fw_warnings(firmware-demo)
  target_link_libraries(firmware-demo PRIVATE fw_window_qt fw_modal_responder)
endif()
