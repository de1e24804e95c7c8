# IP audio routing core: manual flows, automatic routes and PPM streams.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/IpRouting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlowControl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AutoRouting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PpmStreams.cpp
)
