# The Prometheus text of GET /metrics.
target_sources(velmar_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Metrics.cpp)
