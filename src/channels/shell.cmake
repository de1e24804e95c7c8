# The channel parameter dialogs and the progress of long request runs.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CChannelList.h
  ${CMAKE_CURRENT_LIST_DIR}/CChannelList.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CRunProgress.h
  ${CMAKE_CURRENT_LIST_DIR}/CRunProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CChnLabelDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CChnLabelDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CIOGainDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CIOGainDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CLevDetDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CLevDetDlg.cpp
)
# The dialogs this folder opens from the menus.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChannelDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/ChannelDialogs.cpp
)
