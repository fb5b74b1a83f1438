# Firmware-windows-x64.zip in the build folder: Firmware.exe (when the window
# is built), firmware-cli.exe, TAVLIB.dll, the K20T sample packages and a
# README.txt, in one folder Firmware-windows-x64. Made with the rest of the
# build, or alone:
#   cmake --build --preset mingw --target package-zip
# Everything is linked statically (cmake/mingw-w64.cmake) and stripped here;
# tests/windows checks that the zip's programs need no DLL but the system's.
#
# The sample packages are written by make-samples built for the build machine
# with its own compiler, as cross builds do with their build-time tools; they
# land in bin/K20T too, beside the programs, as on Linux.

set(_fw_samples_source ${PROJECT_SOURCE_DIR}/tools/samples)
set(_fw_host_samples ${CMAKE_BINARY_DIR}/host/make-samples)
find_program(FW_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
add_custom_command(OUTPUT ${_fw_host_samples}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
  COMMAND ${FW_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -o ${_fw_host_samples}
          ${_fw_samples_source}/make_samples.cpp ${_fw_samples_source}/sample_packages.cpp
  DEPENDS ${_fw_samples_source}/make_samples.cpp ${_fw_samples_source}/sample_packages.cpp
          ${_fw_samples_source}/sample_packages.h
  COMMENT "Building make-samples for the build machine")

set(_fw_k20t ${CMAKE_BINARY_DIR}/bin/K20T)
add_custom_command(OUTPUT ${_fw_k20t}/FIRMWARE_PLAIN.DPX
  COMMAND ${_fw_host_samples} ${_fw_k20t}
  DEPENDS ${_fw_host_samples}
  COMMENT "Writing the sample packages into K20T")

set(_fw_programs $<TARGET_FILE:firmware-cli> $<TARGET_FILE:TAVLIB>)
set(_fw_program_targets firmware-cli TAVLIB)
if(TARGET Firmware)
  list(PREPEND _fw_programs $<TARGET_FILE:Firmware>)
  list(PREPEND _fw_program_targets Firmware)
endif()

# One argument for the packing script, the files apart by "|".
list(JOIN _fw_programs "|" _fw_programs)
set(FW_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/Firmware-windows-x64.zip)
configure_file(${CMAKE_CURRENT_LIST_DIR}/windows-README.txt.in ${CMAKE_BINARY_DIR}/package/README.txt
  @ONLY NEWLINE_STYLE CRLF)
add_custom_command(OUTPUT ${FW_WINDOWS_ZIP}
  COMMAND ${CMAKE_COMMAND} -DPROGRAMS=${_fw_programs} -DSAMPLES=${_fw_k20t}
          -DREADME=${CMAKE_BINARY_DIR}/package/README.txt -DSTRIP=${CMAKE_STRIP}
          -DSTAGE=${CMAKE_BINARY_DIR}/package -DZIP=${FW_WINDOWS_ZIP}
          -P ${CMAKE_CURRENT_LIST_DIR}/windows_package.cmake
  DEPENDS ${_fw_program_targets} ${_fw_k20t}/FIRMWARE_PLAIN.DPX ${CMAKE_BINARY_DIR}/package/README.txt
          ${CMAKE_CURRENT_LIST_DIR}/windows_package.cmake
  COMMENT "Packing Firmware-windows-x64.zip"
  VERBATIM)
add_custom_target(package-zip ALL DEPENDS ${FW_WINDOWS_ZIP})
