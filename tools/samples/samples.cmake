# Synthetic sample packages: a library for tests and a tool that writes the
# K20T folder beside the program.
add_library(fw_sample_packages STATIC ${CMAKE_CURRENT_LIST_DIR}/sample_packages.cpp)
fw_warnings(fw_sample_packages)
target_include_directories(fw_sample_packages PUBLIC ${CMAKE_CURRENT_LIST_DIR})

if(NOT CMAKE_CROSSCOMPILING)
  add_executable(make-samples ${CMAKE_CURRENT_LIST_DIR}/make_samples.cpp)
  fw_warnings(make-samples)
  target_link_libraries(make-samples PRIVATE fw_sample_packages)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/bin/K20T/FIRMWARE_PLAIN.DPX
    COMMAND make-samples ${CMAKE_BINARY_DIR}/bin/K20T
    DEPENDS make-samples
    COMMENT "Writing the sample packages into K20T")
  add_custom_target(k20t_samples ALL DEPENDS ${CMAKE_BINARY_DIR}/bin/K20T/FIRMWARE_PLAIN.DPX)
endif()
