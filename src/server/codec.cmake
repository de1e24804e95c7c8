# HTTP/1.1 requests and responses, WebSocket framing, the digests the
# handshake needs. (The JSON reader for request bodies sits in protocol/.)
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Digest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HttpMessage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WebSocketCodec.cpp)
