target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCrosspointModels.h
  ${CMAKE_CURRENT_LIST_DIR}/CCrosspointModels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CLoadStDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CLoadStDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CXYDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CXYDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlg.cpp
)
