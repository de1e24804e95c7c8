# The firmware update dialog and joining flash images.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CFileInfoDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CFileInfoDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CFlashDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CFlashDlg.cpp
)
