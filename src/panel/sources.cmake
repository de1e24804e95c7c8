# Control panel unit and signal input status core: the logic of both dialogs.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/PanelUnitDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InputStatusDialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InputStatusReport.cpp
)
