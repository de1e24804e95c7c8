# The routing grid's widgets and its place in the main window.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CRoutingGrid.h
  ${CMAKE_CURRENT_LIST_DIR}/CRoutingGrid.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CRoutingGridPanel.h
  ${CMAKE_CURRENT_LIST_DIR}/CRoutingGridPanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CRoutingGridView.h
  ${CMAKE_CURRENT_LIST_DIR}/CRoutingGridView.cpp
)
