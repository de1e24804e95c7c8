list(APPEND velmar_server_test_sources
  ${CMAKE_CURRENT_LIST_DIR}/DigestTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/JsonReaderTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpMessageTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WebSocketCodecTest.cpp)
