# The editable list, the group box with a check box or radio caption, the
# program's file dialogs and the lost-link line of dialogs.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCheckableGroupBox.h
  ${CMAKE_CURRENT_LIST_DIR}/CCheckableGroupBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CListCtrlEx.h
  ${CMAKE_CURRENT_LIST_DIR}/CListCtrlEx.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/FileDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkLostBanner.h
  ${CMAKE_CURRENT_LIST_DIR}/LinkLostBanner.cpp
)
