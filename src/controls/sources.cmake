# The editable list's own decisions: sorting, colours, editability, Tab.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CListTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ListSort.cpp
)
