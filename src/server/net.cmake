# velmar-server's Qt side: the frames' threads, the listener and its
# connections. A library of its own, so the window and velmarctl never carry it.
add_library(velmar_server_net STATIC
  ${CMAKE_CURRENT_LIST_DIR}/CFrameWorker.h
  ${CMAKE_CURRENT_LIST_DIR}/CFrameWorker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CHttpConnection.h
  ${CMAKE_CURRENT_LIST_DIR}/CHttpConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CVelmarServer.h
  ${CMAKE_CURRENT_LIST_DIR}/CVelmarServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CVideohubServer.h
  ${CMAKE_CURRENT_LIST_DIR}/CVideohubServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CEmberServer.h
  ${CMAKE_CURRENT_LIST_DIR}/CEmberServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClientSockets.h
  ${CMAKE_CURRENT_LIST_DIR}/ClientSockets.cpp
)
target_link_libraries(velmar_server_net PUBLIC velmar_net)
target_compile_definitions(velmar_server_net PUBLIC QT_NO_KEYWORDS QT_NO_CONTEXTLESS_CONNECT)
set_target_properties(velmar_server_net PROPERTIES AUTOMOC ON)
velmar_warnings(velmar_server_net)

# The API's description and the browser page, built into the program.
qt_add_resources(velmar_server_net velmar_server_files
  PREFIX /velmar
  BASE ${PROJECT_SOURCE_DIR}/src/server
  FILES ${PROJECT_SOURCE_DIR}/src/server/openapi.json)
# The browser page: plain files kept in web/, built into the program.
file(GLOB velmar_web_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/web/*.html ${PROJECT_SOURCE_DIR}/web/*.js
     ${PROJECT_SOURCE_DIR}/web/*.css ${PROJECT_SOURCE_DIR}/web/*.svg)
qt_add_resources(velmar_server_net velmar_web_files
  PREFIX /velmar/web
  BASE ${PROJECT_SOURCE_DIR}/web
  FILES ${velmar_web_files})
