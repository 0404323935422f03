varnel_area_test_libs(startup varnel_startup PkgConfig::SQLCIPHER)
varnel_test_class(startup TestDataStore)
