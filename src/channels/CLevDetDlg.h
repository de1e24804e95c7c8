#pragma once

#include "channels/LevelDetectors.h"

#include <QDialog>
#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;

namespace velmar {

class CListCtrlEx;
class CPollingEngine;

// "Level detectors": both sides' thresholds, enable and status of every
// listed channel; the two field blocks load the selected channel and apply to
// the selected channels, sending only what differs from the frame's values.
class CLevDetDlg : public QDialog, public IDialogSink {
    Q_OBJECT
public:
    CLevDetDlg(CLevelDetectors& logic, CPollingEngine& engine, QWidget* parent = nullptr);

    std::unique_ptr<QMenu> contextMenu();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    struct SideFields {
        std::array<QLineEdit*, 4> edits{}; // time 1, level 1, time 2, level 2
        QCheckBox* enable = nullptr;
    };
    QWidget* sideBlock(DetectorSide side, const char* prefix);
    void fillAll();
    void refresh();
    void loadRow(int row);
    // The fields as numbers; nothing (and the notice says why) when one is not a number.
    std::optional<DetectorFields> readFields(DetectorSide side);
    void applySide(DetectorSide side);
    void applyAll();
    void run(std::vector<DeviceMessage> requests, const QString& label);

    CLevelDetectors& m_logic;
    CPollingEngine& m_engine;
    CListCtrlEx* m_list;
    std::array<SideFields, 2> m_fields;
    QCheckBox* m_activeOnly;
    QLabel* m_notice;
};

// Opens the dialog, registered while it runs, and asks the frame for every
// detector's thresholds, states and status.
void runLevelDetectorDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent);

} // namespace velmar
