# The command-line program's core: its options, its reports and their text and
# JSON forms.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CtlOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Reports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RouteTracker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CardsReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlashProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlIpRouting.cpp
)
