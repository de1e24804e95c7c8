# The firmware update dialog and joining flash images.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CFileInfoDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CFileInfoDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFlashDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CFlashDlg.cpp
)
# The administration dialogs and the module HW/SW dump.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCardsDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CCardsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDevIDDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CDevIDDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDevLANDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CDevLANDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDevPsuCfgDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CDevPsuCfgDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CTimeDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CTimeDlg.cpp
)
# The dialogs this folder opens from the menus.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MaintenanceDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/MaintenanceDialogs.cpp
)
