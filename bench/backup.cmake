# The daily backup of the 100,000-note notebook and how long it holds the
# user-interface thread.
add_executable(bench_backup ${CMAKE_CURRENT_LIST_DIR}/bench_backup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/benchdata.cpp ${CMAKE_CURRENT_LIST_DIR}/benchdata.h)
target_link_libraries(bench_backup PRIVATE varnel_store varnel_provisioning varnel_common
  PkgConfig::SQLCIPHER)
