# Main window core: device state, polling engine and dispatch.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CodeTables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceState.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dispatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PollingEngine.cpp
)
