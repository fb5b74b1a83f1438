add_library(fw_window_qt INTERFACE)
target_link_libraries(fw_window_qt INTERFACE Qt6::Widgets fw_package)
