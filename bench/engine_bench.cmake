# A whole download session over a generated 4 MiB package against an
# in-memory printer that acknowledges at once.
add_executable(fw_engine_bench ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
fw_warnings(fw_engine_bench)
target_link_libraries(fw_engine_bench PRIVATE fw_session)
