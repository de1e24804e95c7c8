# Reading flash files and joining images, for the window and velmarctl.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FlashFiles.h
  ${CMAKE_CURRENT_LIST_DIR}/FlashFiles.cpp
)
