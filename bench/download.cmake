# A 50 MB download through the engine against curl, from the local test server.
include(${PROJECT_SOURCE_DIR}/tools/sitesrv/sitesrv.cmake)
add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/bench_download.cpp)
target_link_libraries(bench_download PRIVATE varnel_updater varnel_sitesrv varnel_common)
