# The HTTP test server as a child process of a test or benchmark program.
# Included by the fragments that need it; defines varnel_sitesrv once.
include_guard(GLOBAL)

add_library(varnel_sitesrv STATIC
  ${CMAKE_CURRENT_LIST_DIR}/siteserver.cpp ${CMAKE_CURRENT_LIST_DIR}/siteserver.h)
target_include_directories(varnel_sitesrv PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(varnel_sitesrv PUBLIC Qt6::Core Qt6::Network PRIVATE varnel_common)
target_compile_definitions(varnel_sitesrv PRIVATE
  VARNEL_SITESRV_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/sitesrv.py"
  VARNEL_SITESRV_DIR="${CMAKE_CURRENT_LIST_DIR}"
  VARNEL_SITE_DIR="${PROJECT_SOURCE_DIR}/site")
