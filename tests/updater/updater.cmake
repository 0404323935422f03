# The updater's tests: the download engine against the HTTP test server, the
# window, and the real `update` program run from a temporary program folder.
include(${PROJECT_SOURCE_DIR}/tools/sitesrv/sitesrv.cmake)

# Answers the message boxes of a program it is preloaded into (see
# e2ehook/answerhook.cpp); only the end-to-end test uses it.
add_library(updater_answerhook SHARED ${CMAKE_CURRENT_LIST_DIR}/e2ehook/answerhook.cpp)
target_link_libraries(updater_answerhook PRIVATE Qt6::Widgets varnel_common)
target_include_directories(updater_answerhook PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)

# The new program the tests serve as an update: a real program of this machine.
add_executable(updater_payload ${CMAKE_CURRENT_LIST_DIR}/payload/payload_main.cpp)

varnel_area_test_libs(updater varnel_updater varnel_sitesrv varnel_config)
add_dependencies(tst_updater update Varnelpad updater_answerhook updater_payload)
target_compile_definitions(tst_updater PRIVATE
  VARNEL_UPDATE_PROGRAM="$<TARGET_FILE:update>"
  VARNEL_ANSWER_HOOK="$<TARGET_FILE:updater_answerhook>"
  VARNEL_PAYLOAD_PROGRAM="$<TARGET_FILE:updater_payload>"
  VARNEL_NOTEBOOK_PROGRAM="$<TARGET_FILE:Varnelpad>")

varnel_test_class(updater TestDownloader)
varnel_test_class(updater TestDownloadBatch)
varnel_test_class(updater TestUpdaterWindow)
varnel_test_class(updater TestUpdateChecks)
varnel_test_class(updater TestUpdateProgram)
# The program fetches from the built-in site address, so this test serves
# that port and must have it to itself.
set_tests_properties(updater.TestUpdateProgram PROPERTIES RESOURCE_LOCK siteport)

# Configuring a build for a site on the network with the demo key stops with
# an error (before anything else is looked for).
add_test(NAME updater.DemoKeyNeedsALocalSite
  COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${CMAKE_CURRENT_BINARY_DIR}/demo-key-release
    -DVARNEL_SITE_URL=https://varnel.example)
set_tests_properties(updater.DemoKeyNeedsALocalSite PROPERTIES LABELS "unit"
  PASS_REGULAR_EXPRESSION "VARNEL_ALLOW_DEMO_KEY")
