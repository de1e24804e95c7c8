# What a session reports and waits on, without Qt: the status and route
# reports (text and JSON) and the books of requests waiting for their replies.
# velmarctl and velmar-server print the same reports.
target_sources(velmar_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Reports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RouteTracker.cpp
)
