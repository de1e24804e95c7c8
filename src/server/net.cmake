# velmar-server's Qt side: the frames' threads, the listener and its
# connections. A library of its own, so the window and velmarctl never carry it.
add_library(velmar_server_net STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CFrameWorker.h
  ${CMAKE_CURRENT_LIST_DIR}/CFrameWorker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CHttpConnection.h
  ${CMAKE_CURRENT_LIST_DIR}/CHttpConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CVelmarServer.h
  ${CMAKE_CURRENT_LIST_DIR}/CVelmarServer.cpp
)
target_link_libraries(velmar_server_net PUBLIC velmar_net)
target_compile_definitions(velmar_server_net PUBLIC QT_NO_KEYWORDS QT_NO_CONTEXTLESS_CONNECT)
set_target_properties(velmar_server_net PROPERTIES AUTOMOC ON)
velmar_warnings(velmar_server_net)
