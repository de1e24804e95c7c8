list(APPEND velmar_server_test_sources ${CMAKE_CURRENT_LIST_DIR}/MetricsTest.cpp)
list(APPEND velmar_server_test_sources ${CMAKE_CURRENT_LIST_DIR}/PackagedConfigTest.cpp)
