add_executable(bench_workspace ${CMAKE_CURRENT_LIST_DIR}/bench_workspace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/benchdata.cpp ${CMAKE_CURRENT_LIST_DIR}/benchdata.h)
target_link_libraries(bench_workspace PRIVATE varnel_workspace varnel_provisioning varnel_common
  PkgConfig::SQLCIPHER Qt6::Test)
