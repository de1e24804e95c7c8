# The control panel unit and signal input status dialogs.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/C450DornDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/C450DornDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CInpStDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CInpStDlg.cpp
)
# The dialogs this folder opens from the menus.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PanelDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/PanelDialogs.cpp
)
