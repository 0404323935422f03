# The category tree of the main window loading 40,000 categories of every shape.
add_executable(bench_categorytree ${CMAKE_CURRENT_LIST_DIR}/bench_categorytree.cpp)
target_link_libraries(bench_categorytree PRIVATE varnel_workspace varnel_provisioning varnel_common)
