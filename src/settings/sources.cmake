# Device settings core: the .cfg file, the apply step and the dialog's pages.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SettingsFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsPages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CardConfPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HwConfDialog.cpp
)
