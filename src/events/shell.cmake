# The window's "Event log" panel.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CEventLogPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/CEventLogPanel.cpp
)
