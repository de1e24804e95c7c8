# Routing grid core: axes, folding, hit-testing, the route journal and undo,
# the preview of a crosspoint file.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EdgeText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/GridModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RouteJournal.cpp
)
