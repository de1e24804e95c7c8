# The IP audio routing dialogs.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/IpRoutingWidgets.h
  ${CMAKE_CURRENT_LIST_DIR}/IpRoutingWidgets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFlowDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CFlowDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CAutoIPDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CAutoIPDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CPPMDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CPPMDlg.cpp
)
# The dialogs this folder opens from the menus.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/IpRoutingDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/IpRoutingDialogs.cpp
)
