#pragma once

#include "engine/CQtTimerHost.h"
#include "engine/DialogRegistry.h"
#include "maintenance/FlashTransfer.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace velmar {

class CPollingEngine;
struct DeviceState;

// "Firmware update": chooses flash files and shows their transfer. The run
// (CFlashRun) sends the records; this dialog hears the frame's "sprog" replies
// while it is open and owns the transfer's watchdog, so nothing of a run
// outlives it.
class CFlashDlg final : public QDialog, public IDialogSink, private IFlashRunHost {
    Q_OBJECT
public:
    CFlashDlg(CPollingEngine& engine, std::function<void()> afterRestart, QWidget* parent);
    ~CFlashDlg() override;

    // What "Flash file(s) ..." does once the files are chosen, in the order
    // the file dialog returned them.
    void startWith(const QStringList& paths);
    const CFlashRun& run() const { return m_run; }

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

    // "Close" and the close box; refused while records are being sent.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void chooseFiles();
    bool mayStart() const;
    // Notices a lost link at once: the transfer fails where it stood.
    void watchLink();
    void updateButtons();

    std::optional<std::string> readFile(const std::string& path) override;
    void showMessage(std::string_view text) override;
    void showWarning(std::string_view text) override;
    bool askYesNo(FlashQuestion question, std::string_view text) override;
    void displayChanged(const FlashDisplay& display) override;
    void programmingChanged(bool on) override;
    void restartRequested() override;
    void showFailure(std::string_view text) override;
    void fileEnded(const FlashOutcome& outcome) override;

    CPollingEngine& m_engine;
    std::function<void()> m_afterRestart;
    CQtTimerHost m_timers;
    CFlashRun m_run;
    QPushButton* m_filesButton = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLabel* m_lineLabel = nullptr;
    QLabel* m_countLabel = nullptr;
    QLabel* m_fileOfLabel = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_failureLabel = nullptr;
    QPushButton* m_closeButton = nullptr;
    QTimer* m_linkWatch = nullptr;
    // The frame as it stood when the run began, for the event log: a run
    // that ends with the link lost still names its frame.
    std::unique_ptr<DeviceState> m_frame;
};

// The "Firmware update ..." command: runs the dialog modally, registered for
// the frame's replies while it runs. `afterRestart` removes the frame's row
// and closes the link once a restart was sent.
void runFlashDialog(CPollingEngine& engine, QWidget* parent, std::function<void()> afterRestart);

// "Save all flash file": asks for type and release, then where to save, and
// joins the component images found in that folder.
void runFlashJoin(QWidget* parent);

} // namespace velmar
