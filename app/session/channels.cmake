# The three real channels of the program: a serial port (Qt Serial Port), the
# USB library loaded by name, and the network print path.
set(_fw_ch ${CMAKE_CURRENT_LIST_DIR})
add_library(fw_channels STATIC
  ${_fw_ch}/serial_settings.cpp
  ${_fw_ch}/serial_channel.cpp
  ${_fw_ch}/tavlib_binding.cpp
  ${_fw_ch}/usb_channel.cpp
  ${_fw_ch}/network_address.cpp
  ${_fw_ch}/network_channel.cpp
  ${_fw_ch}/channel_set.cpp)
if(WIN32)
  target_sources(fw_channels PRIVATE
    ${_fw_ch}/serial_port_names_win.cpp
    ${_fw_ch}/tavlib_binding_win.cpp
    ${_fw_ch}/network_sink_win.cpp
    ${_fw_ch}/windows_error_text.cpp)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SMBCLIENT REQUIRED IMPORTED_TARGET smbclient)
  target_sources(fw_channels PRIVATE
    ${_fw_ch}/serial_port_names_linux.cpp
    ${_fw_ch}/tavlib_binding_posix.cpp
    ${_fw_ch}/network_sink_smb.cpp)
  target_link_libraries(fw_channels PUBLIC PkgConfig::SMBCLIENT)
endif()
fw_warnings(fw_channels)
target_link_libraries(fw_channels PUBLIC fw_toolkit Qt6::Core Qt6::SerialPort ${CMAKE_DL_LIBS})
unset(_fw_ch)
