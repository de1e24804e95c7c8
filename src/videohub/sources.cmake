# The router protocol of panels and Companion: its blocks and the router each
# frame becomes.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VideohubBlocks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VideohubRouter.cpp
)
