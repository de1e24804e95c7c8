# A frame session without a window (socket, engine and timers) and the health
# check that runs many of them at once: velmarctl and the window both use them.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCtlSession.h
  ${CMAKE_CURRENT_LIST_DIR}/CCtlSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CHealthCheck.h
  ${CMAKE_CURRENT_LIST_DIR}/CHealthCheck.cpp
)
