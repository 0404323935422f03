# The update journey: Varnelpad and update against the site server on the
# site address built into them, so it needs that port to itself.
include(${PROJECT_SOURCE_DIR}/tools/sitesrv/sitesrv.cmake)
varnel_area_test_libs(e2e varnel_sitesrv varnel_config)
varnel_test_class(e2e JourneyUpdate X11 TIMEOUT 240)
set_property(TEST e2e.JourneyUpdate APPEND PROPERTY RESOURCE_LOCK siteport)
