# The link to a frame and the search, without widgets.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CDiscovery.h
  ${CMAKE_CURRENT_LIST_DIR}/CDiscovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CUDPSocketThread.h
  ${CMAKE_CURRENT_LIST_DIR}/CUDPSocketThread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoSocket.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoSocket.cpp)
