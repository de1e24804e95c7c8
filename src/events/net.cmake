# The event log file, shared by the window and velmarctl.
target_sources(velmar_net PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/EventLogFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EventLogWriter.cpp
)
