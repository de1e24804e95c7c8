# The settings dialog and its pages.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CSettingsDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CSettingsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CSettingsPageWidgets.h
  ${CMAKE_CURRENT_LIST_DIR}/CSettingsPageWidgets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CHWConfDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CHWConfDlg.cpp
)
# The dialogs this folder opens from the menus.
target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SettingsDialogs.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsDialogs.cpp
)
