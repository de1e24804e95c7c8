target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CLineReceiver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DiscoveryDatagrams.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Ipv4.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReadableColour.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StartupOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowTitle.cpp
)

