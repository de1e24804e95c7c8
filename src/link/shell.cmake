target_sources(velmar_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CAddDevDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/CAddDevDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDeviceListModel.h
  ${CMAKE_CURRENT_LIST_DIR}/CDeviceListModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CDeviceListView.h
  ${CMAKE_CURRENT_LIST_DIR}/CDeviceListView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CQtProfileStore.cpp
)
