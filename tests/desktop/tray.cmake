varnel_area_test_libs(desktop varnel_desktop PkgConfig::XCB)
varnel_test_class(desktop TestTrayOffscreen)
varnel_test_class(desktop TestHotKeyX11 X11)
varnel_test_class(desktop TestTrayX11 X11)
