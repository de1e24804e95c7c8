# Device settings core: the .cfg file and the apply step.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SettingsApply.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsFile.cpp
)
