# Events and fleet health: what happened to each frame, and how it stands.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Event.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventDeriver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventHistory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventLog.cpp
)
