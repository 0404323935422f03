# Journeys through the real programs under the test X server, each in its own
# program folder. They need the programs and the provisioning tool built.
add_dependencies(tst_e2e Varnelpad update varnel-provision)
# The reminder pop-up on a display of the journey's choosing.
add_executable(varnel-test-ring ${CMAKE_CURRENT_SOURCE_DIR}/e2e/ringshow/main.cpp)
target_link_libraries(varnel-test-ring PRIVATE varnel_desktop varnel_startup varnel_common)
add_dependencies(tst_e2e varnel-test-ring)
target_compile_definitions(tst_e2e PRIVATE
  VARNEL_BUILT_APP_DIR="${VARNEL_APP_DIR}"
  VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VARNEL_TEST_RING="$<TARGET_FILE:varnel-test-ring>")
varnel_area_test_libs(e2e varnel_startup varnel_desktop PkgConfig::SQLCIPHER PkgConfig::XCB)
foreach(journey JourneyFirstDay JourneySecondCopy JourneyCategories JourneyDoneAndDelete
    JourneyPasswordAndAutostart JourneyExit JourneyMinimiseWithDialog JourneyPasswordBeyondTheBmp
    JourneyTerminated JourneyCloseThroughWindowManager JourneyHotKeyLetGo JourneyWaylandSession
    JourneyPopUpPlacement JourneyWindowDragAndMask JourneyLatePanel
    JourneyKWinWayland JourneyPopUpSlide JourneyChineseInput)
  varnel_test_class(e2e ${journey} X11 TIMEOUT 180)
endforeach()
varnel_test_class(e2e JourneyRestoreBackup X11 TIMEOUT 180)
foreach(journey JourneyKeyboardOnly JourneyReadableScreen JourneyWindowFits)
  varnel_test_class(e2e ${journey} X11 TIMEOUT 300)
endforeach()
varnel_test_class(e2e JourneyBackupAcrossMidnight X11 TIMEOUT 300)
