# The numbered timers, shared by the window and velmarctl.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CQtTimerHost.cpp
)
# The one way files are read and written, for the window and velmarctl.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FileAccess.cpp
)
