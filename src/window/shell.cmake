# The main window, the application object, the crosspoint lists and the X-Y
# and load-status dialogs.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCrosspointModels.h
  ${CMAKE_CURRENT_LIST_DIR}/CCrosspointModels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CLoadStDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CLoadStDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CXYDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CXYDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlgCrosspoints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlgWidgets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoManApp.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoManApp.cpp
)
