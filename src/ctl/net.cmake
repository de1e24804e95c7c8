# velmarctl's Qt part: a session on the window's engine and the commands.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CCtlRunner.h
  ${CMAKE_CURRENT_LIST_DIR}/CCtlRunner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlStatus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlCrosspoints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlFlash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlAdmin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlIpRouting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlLabels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CCtlHealth.cpp
)
