# Channel parameters core: labels, gains, level detectors and long request runs.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ChannelLabels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GainSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LabelCsv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LevelDetectors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RequestRun.cpp
)
