# Maintenance core: flash files, the firmware transfer and joining images.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FlashFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlashTransfer.cpp
)
# The administration dialogs' logic and the module HW/SW dump.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AdminDialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ModuleDump.cpp
)
