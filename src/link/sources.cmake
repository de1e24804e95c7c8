target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CLineReceiver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DiscoveryDatagrams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ipv4.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StartupOptions.cpp
)

if(VELMAR_BUILD_SHELL)
  target_sources(velmar_shell PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/CAddDevDlg.h
    ${CMAKE_CURRENT_LIST_DIR}/CAddDevDlg.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CDeviceListModel.h
    ${CMAKE_CURRENT_LIST_DIR}/CDeviceListModel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CDiscovery.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CQtProfileStore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CUDPSocketThread.h
    ${CMAKE_CURRENT_LIST_DIR}/CUDPSocketThread.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CZarvoSocket.h
    ${CMAKE_CURRENT_LIST_DIR}/CZarvoSocket.cpp
  )
endif()
