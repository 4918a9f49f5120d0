# The backup writer's benchmark; included by bench/CMakeLists.txt.
add_executable(writer_bench ${CMAKE_CURRENT_LIST_DIR}/writer_bench.cpp)
target_link_libraries(writer_bench PRIVATE bkfwriter)
