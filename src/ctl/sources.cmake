# The command-line program's core: its options, its reports and their text and
# JSON forms.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CtlOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlHelp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlStatusCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlCrosspointCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlSettingsCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlFlashCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlAdminCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlIpRoutingCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlLabelCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CardsReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessageText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlashProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtlIpRouting.cpp
)
