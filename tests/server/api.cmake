# The API's table against its OpenAPI document, request bodies, configuration and tokens.
list(APPEND velmar_server_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/ApiTableTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerConfigTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameSnapshotTest.cpp
)
