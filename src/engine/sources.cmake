# The engine everyone uses: device state, dispatch, the polling engine and its
# timer rules, crosspoints and their files, the X-Y burst, code tables, the
# settings apply plan, the health verdict and the dialog registry.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChannelRange.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CodeTables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CrosspointFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Crosspoints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeviceState.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Dispatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Health.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LoadStatusLogic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PollingEngine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsApply.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XyBurst.cpp
)
