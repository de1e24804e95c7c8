target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CAddDevDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CAddDevDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDeviceListModel.h
  ${CMAKE_CURRENT_LIST_DIR}/CDeviceListModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDiscovery.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CQtProfileStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoManApp.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoManApp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CUDPSocketThread.h
  ${CMAKE_CURRENT_LIST_DIR}/CUDPSocketThread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoSocket.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoSocket.cpp)
