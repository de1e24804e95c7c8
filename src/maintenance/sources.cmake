# Maintenance core: flash files, the firmware transfer and joining images.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FlashFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FlashTransfer.cpp
)
