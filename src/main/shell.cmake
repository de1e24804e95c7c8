target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CZarvoDlg.cpp
)
