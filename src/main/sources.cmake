# Main window core: device state, polling engine and dispatch.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CodeTables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceState.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dispatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PollingEngine.cpp
)
# Crosspoint views, .xpt files, the X-Y dialog's burst and the device menu.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CrosspointFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Crosspoints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceMenu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatusLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XyBurst.cpp
)
