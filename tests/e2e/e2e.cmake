# Journeys through the real programs under the test X server, each in its own
# program folder. They need the programs and the provisioning tool built.
add_dependencies(tst_e2e Varnelpad update varnel-provision)
target_compile_definitions(tst_e2e PRIVATE
  VARNEL_BUILT_APP_DIR="${VARNEL_APP_DIR}"
  VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
varnel_area_test_libs(e2e varnel_startup PkgConfig::SQLCIPHER PkgConfig::XCB)
foreach(journey JourneyFirstDay JourneySecondCopy JourneyCategories JourneyDoneAndDelete
    JourneyPasswordAndAutostart JourneyExit JourneyMinimiseWithDialog JourneyPasswordBeyondTheBmp
    JourneyTerminated JourneyCloseThroughWindowManager JourneyHotKeyLetGo JourneyWaylandSession)
  varnel_test_class(e2e ${journey} X11 TIMEOUT 180)
endforeach()
varnel_test_class(e2e JourneyRestoreBackup X11 TIMEOUT 180)
