# The package side of the download engine: scan, range choice and record
# assembly over arbitrary bytes. Built from the engine's own sources so that
# they carry the fuzzer's instrumentation.
set(FW_ENGINE_DIR ${PROJECT_SOURCE_DIR}/app/session)
add_executable(fw_engine_fuzz
  ${CMAKE_CURRENT_LIST_DIR}/engine_fuzz.cpp
  ${FW_ENGINE_DIR}/hex_to_byte.cpp
  ${FW_ENGINE_DIR}/package_fault.cpp
  ${FW_ENGINE_DIR}/package_scan.cpp
  ${FW_ENGINE_DIR}/range_choice.cpp
  ${FW_ENGINE_DIR}/record_assembly.cpp
)
fw_warnings(fw_engine_fuzz)
target_include_directories(fw_engine_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/app)
target_compile_features(fw_engine_fuzz PRIVATE cxx_std_20)
set(FW_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)
target_compile_options(fw_engine_fuzz PRIVATE ${FW_FUZZ_FLAGS})
target_link_options(fw_engine_fuzz PRIVATE ${FW_FUZZ_FLAGS})
