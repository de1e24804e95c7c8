# Precompiled headers: most of a Qt file's compile time goes into Qt's own
# headers, and most of a test file's into GoogleTest's. Each library and test
# program below parses them once per build instead of once per file. The header lists name only what
# many files include anyway, so a file still names every header it uses.
option(VELMAR_PCH "Precompile the standard, Qt and test headers most files include" ON)

set(_velmar_pch_std
  <algorithm> <array> <cstdint> <functional> <map> <memory> <optional> <set> <span>
  <string> <string_view> <utility> <vector>)
set(_velmar_pch_qt_core <QByteArray> <QObject> <QPointer> <QString> <QTimer>)
set(_velmar_pch_qt_widgets
  <QComboBox> <QDialog> <QGridLayout> <QGroupBox> <QHBoxLayout> <QHeaderView> <QLabel>
  <QLineEdit> <QMenu> <QMessageBox> <QPushButton> <QTableView> <QVBoxLayout> <QWidget>)
set(_velmar_pch_test <gtest/gtest.h> <gmock/gmock.h>)

# Called once at the end of the top-level CMakeLists.txt, when every target exists.
function(velmar_precompile_headers)
  if(NOT VELMAR_PCH OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  if(TARGET velmar_core)
    target_precompile_headers(velmar_core PRIVATE ${_velmar_pch_std})
  endif()
  foreach(target velmar_net framesim)
    if(TARGET ${target})
      target_precompile_headers(${target} PRIVATE ${_velmar_pch_std} ${_velmar_pch_qt_core})
    endif()
  endforeach()
  if(TARGET velmar_shell)
    target_precompile_headers(velmar_shell PRIVATE
      ${_velmar_pch_std} ${_velmar_pch_qt_core} ${_velmar_pch_qt_widgets})
  endif()
  if(TARGET velmar_integration_tests)
    target_precompile_headers(velmar_integration_tests PRIVATE
      ${_velmar_pch_std} ${_velmar_pch_qt_core} ${_velmar_pch_qt_widgets} ${_velmar_pch_test}
      <QSignalSpy> <QTest>)
  endif()
  if(TARGET framesim_tests)
    target_precompile_headers(framesim_tests PRIVATE
      ${_velmar_pch_std} ${_velmar_pch_qt_core} ${_velmar_pch_test} <QSignalSpy>)
  endif()
  # The core test programs: the standard library and GoogleTest. Each has its
  # own precompiled header (a shared one would tie their compile flags).
  foreach(target velmar_core_tests velmar_engine_tests velmar_link_tests velmar_ctl_tests
                 velmar_controls_tests velmar_settings_tests velmar_maintenance_tests
                 velmar_iprouting_tests velmar_channels_tests velmar_panel_tests
                 velmar_grid_tests velmar_events_tests)
    if(TARGET ${target})
      target_precompile_headers(${target} PRIVATE ${_velmar_pch_std} ${_velmar_pch_test})
    endif()
  endforeach()
endfunction()
