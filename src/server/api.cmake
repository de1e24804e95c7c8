# The API's table and bodies, the configuration, tokens and the frames' snapshots.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ApiMessages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ApiTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FrameSnapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerConfig.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tokens.cpp
)
