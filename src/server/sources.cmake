# velmar-server's core, without Qt: HTTP and WebSocket framing, the API's
# table and handlers' logic, the configuration, tokens and metrics.
# Each part lists its own files in a fragment of its own.
foreach(part codec metrics api)
  include(${CMAKE_CURRENT_LIST_DIR}/${part}.cmake OPTIONAL)
endforeach()
