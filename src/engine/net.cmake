# The numbered timers and the one way files are read and written, for every face.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CQtTimerHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileAccess.cpp
)
