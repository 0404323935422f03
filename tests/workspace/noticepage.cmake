# The notice page reader: parsing, decoding and fetching against the HTTP
# test server.
include(${PROJECT_SOURCE_DIR}/tools/sitesrv/sitesrv.cmake)
varnel_area_test_libs(workspace varnel_workspace varnel_sitesrv)
varnel_test_class(workspace TestNoticePage THREADS)
