# Faults and bad input: killed writers, damaged databases, unwritable export
# files, a site that is down, slow or talks nonsense, randomized input and huge
# notes. The tests reuse the main-window fixture and the end-to-end harness.
include(${PROJECT_SOURCE_DIR}/tools/sitesrv/sitesrv.cmake)

# Saves notes the way the editor does until it is killed (TestKilledSaves).
add_executable(robust_noteburst ${CMAKE_CURRENT_LIST_DIR}/noteburst/noteburst.cpp
  ${CMAKE_CURRENT_LIST_DIR}/noteburst/burstnote.h)
target_include_directories(robust_noteburst PRIVATE ${CMAKE_CURRENT_LIST_DIR}/noteburst)
target_link_libraries(robust_noteburst PRIVATE varnel_startup varnel_common)

# A save killed before its commit, leaving its journal (TestRestoreAfterCrash).
add_executable(robust_crashsave ${CMAKE_CURRENT_LIST_DIR}/crashsave/crashsave.cpp)
target_link_libraries(robust_crashsave PRIVATE varnel_startup varnel_common PkgConfig::SQLCIPHER)

# Notes the message boxes of a real program run (TestDamagedDatabaseAtStart).
add_library(robust_boxlog SHARED ${CMAKE_CURRENT_LIST_DIR}/boxlog/boxlog.cpp)
target_link_libraries(robust_boxlog PRIVATE Qt6::Widgets varnel_common)
target_include_directories(robust_boxlog PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)

target_sources(tst_robust PRIVATE
  ${PROJECT_SOURCE_DIR}/tests/workspace/workspacefixture.cpp
  ${PROJECT_SOURCE_DIR}/tests/workspace/workspacefixture.h
  ${PROJECT_SOURCE_DIR}/tests/e2e/e2eharness.cpp
  ${PROJECT_SOURCE_DIR}/tests/e2e/e2eharness.h
  ${PROJECT_SOURCE_DIR}/tests/e2e/journeydriver.cpp
  ${PROJECT_SOURCE_DIR}/tests/e2e/journeydriver.h
  ${CMAKE_CURRENT_LIST_DIR}/noteburst/burstnote.h)
target_include_directories(tst_robust PRIVATE ${PROJECT_SOURCE_DIR}/tests/workspace
  ${PROJECT_SOURCE_DIR}/tests/e2e ${CMAKE_CURRENT_LIST_DIR}/noteburst)
varnel_area_test_libs(robust varnel_workspace varnel_sitesrv varnel_config PkgConfig::SQLCIPHER
  PkgConfig::XCB)
add_dependencies(tst_robust Varnelpad update varnel-provision robust_noteburst robust_boxlog
  robust_crashsave)
target_compile_definitions(tst_robust PRIVATE
  VARNEL_BUILT_APP_DIR="${VARNEL_APP_DIR}"
  VARNEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  VARNEL_NOTEBURST="$<TARGET_FILE:robust_noteburst>"
  VARNEL_BOXLOG="$<TARGET_FILE:robust_boxlog>"
  VARNEL_CRASHSAVE="$<TARGET_FILE:robust_crashsave>")

varnel_test_class(robust TestKilledSaves TIMEOUT 120)
varnel_test_class(robust TestDamagedDatabaseAtStart X11 TIMEOUT 120)
varnel_test_class(robust TestDatabaseFaultsWhileRunning TIMEOUT 120)
varnel_test_class(robust TestExportFailures TIMEOUT 120)
varnel_test_class(robust TestSiteDown TIMEOUT 120)
# The notebook fetches from the built-in site address: this test serves or
# blocks that port and must have it to itself.
set_tests_properties(robust.TestSiteDown PROPERTIES RESOURCE_LOCK siteport)
varnel_test_class(robust TestNoticeReaderFuzz TIMEOUT 120)
varnel_test_class(robust TestSearchFuzz TIMEOUT 120)
varnel_test_class(robust TestScrambleFuzz TIMEOUT 120)
varnel_test_class(robust TestHugeNotes TIMEOUT 120)
varnel_test_class(robust TestUnwritableProgramFolder TIMEOUT 150)
varnel_test_class(robust TestDatabaseRefusals TIMEOUT 120)
# The day's backup killed, on a full disk and in a read-only folder.
varnel_test_class(robust TestBackupKilled TIMEOUT 150)
varnel_test_class(robust TestBackupFaults TIMEOUT 240)
# Restoring a copy after a crash, and the offer of a copy at a damaged start.
varnel_test_class(robust TestRestoreAfterCrash X11 TIMEOUT 240)
# It kills the real program, which a sanitizer cannot report on: not part of
# the sanitizer build's unit run.
set_tests_properties(robust.TestBackupKilled PROPERTIES LABELS "program")
