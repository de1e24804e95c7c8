#pragma once

#include "FrameModel.h"
#include "FrameProfile.h"
#include "Scenario.h"
#include "protocol/ResponseDecoder.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

namespace velmar::framesim {

class CSimulatedFrame;

// One client's link: cuts the received bytes into lines, hands them to the
// frame, and sends the frame's lines through the fault plan (delay, silence,
// noise, one-byte chunks, dropping the link after N lines).
class CFrameSession : public QObject {
    Q_OBJECT
public:
    CFrameSession(CSimulatedFrame& frame, QTcpSocket* socket);

    void sendLine(const std::string& line);
    void sendRaw(const QByteArray& bytes);
    // Closes once everything queued has gone out.
    void closeWhenSent();
    // Stops reading the client and sends it `lines` alive requests, topped up
    // as the socket drains, never more than kFloodAhead bytes ahead.
    void startFlood(int lines);
    static constexpr qint64 kFloodAhead = 64 * 1024;
    bool isOpen() const;

Q_SIGNALS:
    void finished(CFrameSession* session);

private:
    void onReadyRead();
    void processLine(std::string_view line);
    void emitLine(const std::string& line);
    void drainOneByte();
    void closeNow();
    void floodMore();

    CSimulatedFrame& m_frame;
    QPointer<QTcpSocket> m_socket;
    CResponseDecoder m_decoder;
    std::string m_input;
    QByteArray m_pending; // bytes waiting to go out one at a time
    QTimer m_drain;
    int m_linesSent = 0;
    int m_floodLeft = 0;
    bool m_flooding = false;
    bool m_closing = false;
};

// A simulated frame on the wire: TCP command server, UDP responder for the
// search, the echo probe and the set-address request, the frame's own alive
// requests and status messages. It owns its model; tests reach state, faults
// and the scripting hooks through it.
class CSimulatedFrame : public QObject {
    Q_OBJECT
public:
    explicit CSimulatedFrame(FrameProfile profile, QObject* parent = nullptr);
    ~CSimulatedFrame() override;

    // Binds the command server and the UDP sockets. Refuses any address outside
    // 127.0.0.0/8 unless allowLan is set, so a frame never answers a real
    // network by accident.
    bool start(QString* error = nullptr);
    void stop();
    bool isRunning() const;

    void setAllowLan(bool allow) { m_allowLan = allow; }
    void setVerbose(bool verbose) { m_verbose = verbose; }
    // Where "!edev" datagrams go; the limited broadcast by default.
    void setAnnounceAddress(const QHostAddress& address) { m_announceAddress = address; }

    CFrameModel& model() { return m_model; }
    const CFrameModel& model() const { return m_model; }
    const FrameProfile& profile() const { return m_model.profile(); }
    FaultPlan& faults() { return m_model.faults(); }
    QHostAddress address() const;
    quint16 commandPort() const;
    int clientCount() const;
    int aliveAnswers() const { return m_aliveAnswers; }
    const std::vector<std::string>& programRecords() const { return m_model.programRecords(); }
    const std::vector<std::vector<std::string>>& programTransfers() const {
        return m_model.programTransfers();
    }

    // Changes the frame makes on its own, reported to every client as "!" lines.
    void setSyncStatus(int state, int source);
    void setInputStatus(int input, const QString& text);
    void setPsuStatus(int unit, int status);
    void setFanStatus(int unit, int status);
    void setUnicastClockStatus(int state, const QString& text);
    // The next input in turn changes its status and every client hears of it.
    void announceInputChange();
    // > 0: one input changes every this many ms; 0 stops it.
    void setInputAnnouncements(int ms);
    void sendToAll(const std::string& line);

    // Runs a scenario: one step each time its tick comes; with `repeat` it
    // starts again after its length. Replaces a running one.
    void startScenario(const Scenario& scenario, int tickMs, bool repeat);
    void stopScenario();
    bool scenarioRunning() const { return m_scenarioTimer.isActive(); }
    int scenarioStepsDone() const { return m_scenarioStepsDone; }

    void sendAliveRequest();
    void setAliveInterval(int ms);
    void sendOverlongLine();
    void sendSearchAnnouncement(); // "!edev" datagram on its own account
    void dropClients();

    // Used by the sessions.
    void handleRequest(CFrameSession& from, const DeviceMessage& request,
                       std::string_view programText);
    void logLine(const char* direction, std::string_view line);
    void sessionFinished(CFrameSession* session);

Q_SIGNALS:
    void clientConnected();
    void clientDisconnected();
    void lineReceived(const QString& line);
    void lineSent(const QString& line);
    void aliveAnswered();
    void restarting(const QString& keyword);
    void programRecordReceived(int count);
    void programCompleted(int records); // the end request of a transfer was acknowledged
    void searchAnswered(const QHostAddress& requester);
    void echoAnswered(const QHostAddress& requester);
    void echoRefused(const QHostAddress& requester);
    void networkApplied();
    void moved(const QHostAddress& address); // listening at a new address after "%eip"
    void moveFailed(const QString& why);     // stayed where it was

private:
    void onNewConnection();
    void onDatagrams(QUdpSocket* socket);
    void handleDatagram(QUdpSocket* socket, const QByteArray& data, const QHostAddress& from,
                        quint16 port);
    // The further replies of a search burst, each from the next loopback
    // address after the frame's own.
    void sendSearchBurst(const QHostAddress& requester);
    // Rebinds the command server and the UDP sockets at `address`, as a frame
    // given a fixed address by the set-address request does. Its links drop.
    void moveTo(const QString& address);

    CFrameModel m_model;
    QTcpServer* m_server = nullptr;
    QUdpSocket* m_udp = nullptr;          // the frame's own address
    QUdpSocket* m_udpBroadcast = nullptr; // the limited broadcast
    QTimer m_aliveTimer;
    QTimer m_inputTimer; // the scheduled input status changes
    void scenarioTick();
    QTimer m_scenarioTimer;
    Scenario m_scenario;
    bool m_scenarioRepeat = false;
    bool m_scenarioStarted = false; // the profile's scenario starts once
    int m_scenarioTick = 0;
    std::size_t m_scenarioNext = 0;
    int m_scenarioStepsDone = 0;
    std::vector<CFrameSession*> m_sessions;
    QHostAddress m_announceAddress{QHostAddress::Broadcast};
    int m_aliveAnswers = 0;
    bool m_allowLan = false;
    bool m_verbose = false;
};

// Parses a "%eip" set-address line; false when it is not one.
struct AddressRequest {
    std::string serial;
    NetworkSettings settings;
    int flag = 0;
};
bool parseAddressRequest(std::string_view line, AddressRequest& out);

} // namespace velmar::framesim
