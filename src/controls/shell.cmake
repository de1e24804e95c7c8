# The editable list, the group box with a check box or radio caption, and the
# program's file dialogs.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCheckableGroupBox.h
  ${CMAKE_CURRENT_LIST_DIR}/CCheckableGroupBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CListCtrlEx.h
  ${CMAKE_CURRENT_LIST_DIR}/CListCtrlEx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/FileDialogs.cpp
)
