# The package side of the download engine: scan, range choice and record
# assembly over arbitrary bytes.
set(FW_ENGINE_DIR ${PROJECT_SOURCE_DIR}/app/session)
fw_fuzz_target(fw_engine_fuzz
  ${CMAKE_CURRENT_LIST_DIR}/engine_fuzz.cpp
  ${FW_ENGINE_DIR}/hex_to_byte.cpp
  ${FW_ENGINE_DIR}/package_fault.cpp
  ${FW_ENGINE_DIR}/package_scan.cpp
  ${FW_ENGINE_DIR}/range_choice.cpp
  ${FW_ENGINE_DIR}/record_assembly.cpp
)
