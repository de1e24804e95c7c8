#pragma once

#include "grid/CRoutingGrid.h"
#include "link/CDeviceListModel.h"
#include "link/CDeviceListView.h"
#include "link/CLineReceiver.h"
#include "link/CReplyQueue.h"
#include "link/DeviceList.h"
#include "link/StartupOptions.h"
#include "engine/CQtTimerHost.h"
#include "engine/DialogOpeners.h"
#include "engine/Crosspoints.h"
#include "window/DeviceMenu.h"
#include "engine/EngineInterfaces.h"
#include "engine/PollingEngine.h"
#include "engine/Questions.h"
#include "engine/XyBurst.h"

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QMenu;
class QSettings;
class QSplitter;
class QTableView;
class QTimer;

namespace velmar {

class CChannelListModel;
class CEventLogPanel;
class CHealthCheck;
class CCrosspointModel;
class CUDPSocketThread;
class CZarvoSocket;

// Where the window finds the frames: the ports are fixed on the network, but
// tests move the reply port when they cannot have 10004.
struct DiscoveryPorts {
    quint16 framePort = 10002;
    quint16 replyPort = 10004;
};

// The main window. It is the Qt face of the polling engine: it backs the
// engine's timers with QTimers, its link with a CZarvoSocket, its operator
// with message boxes and its view with the device list and the status group.
// What to send and when is decided by the engine, never here.
class CZarvoDlg : public QMainWindow,
                  private ITimerHost,
                  private ILink,
                  private IOperator,
                  private IMainView,
                  private IQuestions,
                  private CLineReceiver::IHandler {
    Q_OBJECT
public:
    CZarvoDlg(StartupOptions options, QSettings& profile, DiscoveryPorts ports = {},
              QWidget* parent = nullptr);
    ~CZarvoDlg() override;

    CPollingEngine& engine() { return m_engine; }
    CEventLogPanel* eventLog() { return m_eventLog; }
    // Runs or ends the health check of the listed frames.
    CHealthCheck* healthCheck() {
        return m_healthCheck;
    }
    const CDeviceList& deviceList() const { return m_devices; }

    // Actions the window offers (also reached from its buttons and menus).
    void refresh();
    void addDevice();
    void connectToRow(int row);
    // A double click or Enter on a row: as connectToRow, but a connected
    // frame is dropped for another only when the operator says so.
    void activateRow(int row);
    void closeConnection();
    void removeRow(int row);
    void openXyDialog();
    void openSettingsDialog();
    // Network settings for a list row (-1: the connected frame).
    void openNetworkSettings(int row);
    // A dialog a subsystem opens for a menu command (DeviceCommands.h).
    void openDialog(int commandId);
    // Crosspoint files: with a path, as the file dialogs hand it over.
    void saveCrosspoints(bool selectedOnly);
    void saveCrosspointsTo(const QString& path, bool selectedOnly);
    void loadCrosspoints();
    void loadCrosspointsFrom(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // ITimerHost
    void startTimer(int id, int periodMs) override;
    void stopTimer(int id) override;
    // ILink
    int open(std::string_view address, int port, bool probeFirst) override;
    void close() override;
    void send(const DeviceMessage& message) override;
    // IOperator
    void showMessage(std::string_view text) override;
    bool askYesNo(std::string_view text) override;
    // IQuestions: a question under its own caption.
    bool askYesNo(std::string_view title, std::string_view text) override;
    // IMainView
    void titleChanged(std::string_view title) override;
    void statusFieldsChanged(const StatusFields& fields) override;
    void settingsEnabledChanged(bool enabled) override;
    void crosspointControlsEnabledChanged(bool enabled) override;
    void connectButtonTextChanged(std::string_view text) override;
    void deviceListReset() override;
    void deviceRowInfoChanged(std::string_view address, std::string_view model,
                              std::string_view serialNumber) override;
    void deviceRowIdentityChanged(std::string_view address, int id, std::string_view name) override;
    void crosspointListCleared() override;
    void rebuildCrosspointTypeLists() override;
    void crosspointRowChanged(int output) override;
    void crosspointListChanged() override;
    void ipFlowListChanged(bool outputs) override;
    void inputOutputSelectionCleared() override;
    void statusMessage(std::string_view text) override;
    void deviceOffline(std::string_view address) override;
    // CLineReceiver::IHandler
    bool receiving() const override;
    void onDataReceived() override;
    void onMessage(const DeviceMessage& message, bool isReply) override;
    void sendRaw(const DeviceMessage& message) override;

    void buildWidgets();
    QGroupBox* buildDeviceGroup();
    QGroupBox* buildStatusGroup();
    QGroupBox* buildControlGroup();
    QGroupBox* buildCrosspointGroup();
    void reloadPanel();
    void setCrosspointControlsEnabled(bool enabled);
    std::vector<int> selectedRows(QListView* view) const;
    std::vector<int> selectedCrosspointRows() const;
    void showCrosspointMenu(const QPoint& pos);
    void onTimer(int id);
    void drainDiscoveryQueue();
    void loadSavedEntries();
    void showDeviceMenu(const QPoint& pos);
    void fillDeviceMenu(QMenu& menu, const std::vector<MenuItem>& items) const;
    void buildMenus();
    // Dialogs open when the link ends stay open, say so and stop sending;
    // when a link opens again, they are back to normal.
    void markLinkDialogs(bool linkEnded);
    // Size, splitters and column widths: restored from the profile, or a
    // size that fits the screen; saved when the window closes.
    void restoreLayout();
    void saveLayout();
    void showAbout();
    void showStatusFields();
    void buildStatusBar();
    void showCrosspointSummary();
    std::optional<Ipv4Address> connectedAddress() const;
    void listChanged();
    static const DialogOpeners& dialogOpeners();

    // What the device menu's commands need of the window.
    class MenuHost final : public IDeviceMenuHost {
    public:
        explicit MenuHost(CZarvoDlg& window) : m_window(window) {}
        void refreshDevices() override { m_window.refresh(); }
        void connectToRow(int row) override { m_window.connectToRow(row); }
        void disconnect() override { m_window.closeConnection(); }
        void removeRow(int row) override { m_window.removeRow(row); }
        void removeConnectedRow() override;
        void openDialog(int commandId) override;

    private:
        CZarvoDlg& m_window;
    };

    StartupOptions m_options;
    QSettings& m_profile;
    DiscoveryPorts m_ports;
    CQtTimerHost m_timerHost;
    CPollingEngine m_engine;
    CXyBurst m_burst;
    CRoutingGrid m_grid; // every route of the window goes through its journal
    CCrosspointPanel m_panel;
    CCrosspointList m_crosspoints;
    MenuHost m_menuHost;
    CDeviceCommands m_commands;

    CDeviceList m_devices;
    CDeviceListModel* m_deviceModel = nullptr;
    CDeviceListView* m_deviceView = nullptr;
    quint64 m_dropsAtSearch = 0; // the reply socket's drop count when the search went out
    std::string m_searchNote;    // what the status bar last said about the search
    QPushButton* m_refreshButton = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_addButton = nullptr;

    struct StatusWidgets {
        QLineEdit* syncSource = nullptr;
        QLineEdit* sampleRate = nullptr;
        std::array<QLineEdit*, 2> psu{};
        std::array<QLineEdit*, 3> fan{};
    } m_status;

    std::array<QComboBox*, 2> m_typeChoosers{};
    std::array<QListView*, 2> m_channelViews{};
    std::array<CChannelListModel*, 2> m_channelModels{};
    QRadioButton* m_mono = nullptr;
    QRadioButton* m_stereo = nullptr;
    QPushButton* m_connectButton = nullptr;
    QPushButton* m_disconnectButton = nullptr;
    QPushButton* m_loadButton = nullptr;
    QPushButton* m_saveButton = nullptr;
    QTableView* m_crosspointView = nullptr;
    CCrosspointModel* m_crosspointModel = nullptr;
    QLabel* m_crosspointSummary = nullptr; // "MADI: 64 of 1536"
    StatusFields m_pendingStatus;
    bool m_statusQueued = false;

    int m_menuRow = -1; // the row the device menu was opened on
    QMenu* m_frameMenu = nullptr;        // the menu bar's "Device": the connected frame's menu
    QSplitter* m_splitter = nullptr;     // frames | crosspoints
    QSplitter* m_listSplitter = nullptr; // crosspoint control over the crosspoint list
    // A connect is waiting for the frame: list updates wait for it.
    bool m_opening = false;
    static constexpr int kDeferWhileOpeningMs = 50;
    QPointer<CZarvoSocket> m_socket;
    CReplyQueue m_replies;
    std::unique_ptr<CUDPSocketThread> m_worker;

    // The event log dock; an alarm shows in the title and status bar until
    // acknowledged there.
    void buildEventLog();
    // "Check all": the health of every listed frame, checked at once.
    void checkAllHealth();
    CHealthCheck* m_healthCheck = nullptr;
    QPushButton* m_checkAllButton = nullptr;
    void showTitle();
    CEventLogPanel* m_eventLog = nullptr;
    QLabel* m_alarmStatus = nullptr;
    QString m_title;
    QString m_alarm;
};

} // namespace velmar
