# cmake --install <build> --prefix <prefix> lays out the program folder
# <prefix>/lib/varnelpad (Varnelpad, update, data/) and a desktop entry with
# its icon, so the desktop's menu starts Varnelpad. The data folder is
# provisioned only when it has no database yet; an existing one is kept.
include(GNUInstallDirs)
set(VARNEL_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/varnelpad)

install(TARGETS Varnelpad update RUNTIME DESTINATION ${VARNEL_INSTALL_DIR})
install(CODE "
  set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VARNEL_INSTALL_DIR}\")
  if(NOT EXISTS \"\${folder}/data/pelbrook_data.Tandrel\")
    message(STATUS \"Provisioning: \${folder}/data\")
    execute_process(COMMAND \"$<TARGET_FILE:varnel-provision>\" \"\${folder}\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"Provisioning \${folder}/data failed\")
    endif()
  else()
    message(STATUS \"Keeping the existing data in \${folder}/data\")
  endif()
  set(VARNEL_INSTALLED_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${VARNEL_INSTALL_DIR}/Varnelpad\")
  configure_file(\"${CMAKE_SOURCE_DIR}/resources/varnelpad.desktop.in\"
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications/varnelpad.desktop\" @ONLY)
")
install(FILES ${CMAKE_BINARY_DIR}/varnelpad.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
