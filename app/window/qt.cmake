# The Qt realisation of the window: the stored design with its pictures and
# the toolkit services (fw_form1), and the window's wiring (fw_window_qt).
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)

add_library(fw_form1 STATIC Form1.ui qt_toolkit.cpp)
fw_warnings(fw_form1)
target_include_directories(fw_form1 PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/fw_form1_autogen/include)
target_link_libraries(fw_form1 PUBLIC Qt6::Widgets fw_toolkit)
qt_add_resources(fw_form1 "images"
  PREFIX /images
  BASE ${CMAKE_CURRENT_SOURCE_DIR}/../resources
  FILES
    ${CMAKE_CURRENT_SOURCE_DIR}/../resources/icon-16.png
    ${CMAKE_CURRENT_SOURCE_DIR}/../resources/icon-24.png
    ${CMAKE_CURRENT_SOURCE_DIR}/../resources/icon-32.png
    ${CMAKE_CURRENT_SOURCE_DIR}/../resources/icon-48.png
    ${CMAKE_CURRENT_SOURCE_DIR}/../resources/logo.jpg)

if(TARGET fw_session AND TARGET fw_channels AND TARGET fw_window_logic)
  add_library(fw_window_qt STATIC main_window.cpp)
  fw_warnings(fw_window_qt)
  target_link_libraries(fw_window_qt PUBLIC
    fw_form1 fw_package fw_session fw_channels fw_window_logic)
endif()
