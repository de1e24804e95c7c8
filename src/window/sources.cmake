# The device menu's rules: which entries a frame offers.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DeviceMenu.cpp
)
