#include "SimulatedFrame.h"

#include "protocol/CommandTable.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>

namespace velmar::framesim {

namespace {

constexpr std::string_view kLineStarts = "!%&:?";
// Bytes kept while waiting for a line end; a client sending more than this
// without one is talking nonsense and loses the excess.
constexpr std::size_t kMaxPendingInput = 4096;
constexpr std::string_view kEchoText = "Brix Echo";

std::string_view printable(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '\'' && s.back() == '\'')
        return s.substr(1, s.size() - 2);
    return s;
}

} // namespace

bool parseAddressRequest(std::string_view line, AddressRequest& out) {
    if (!line.starts_with("%eip,"))
        return false;
    line.remove_prefix(5);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    std::vector<std::string_view> f;
    while (true) {
        const std::size_t comma = line.find(',');
        f.push_back(line.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        line.remove_prefix(comma + 1);
    }
    if (f.size() != 6)
        return false;
    out.serial = unquote(f[0]);
    out.settings.mode = std::atoi(std::string(f[1]).c_str());
    out.settings.address = unquote(f[2]);
    out.settings.mask = unquote(f[3]);
    out.settings.gateway = unquote(f[4]);
    out.flag = std::atoi(std::string(f[5]).c_str());
    return true;
}

// ---------------------------------------------------------------- session

CFrameSession::CFrameSession(CSimulatedFrame& frame, QTcpSocket* socket)
    : QObject(&frame), m_frame(frame), m_socket(socket) {
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_drain.setInterval(1);
    connect(&m_drain, &QTimer::timeout, this, &CFrameSession::drainOneByte);
    connect(socket, &QTcpSocket::readyRead, this, &CFrameSession::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, [this]() { Q_EMIT finished(this); });
}

bool CFrameSession::isOpen() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState && !m_closing;
}

void CFrameSession::onReadyRead() {
    if (m_flooding)
        return; // left unread on purpose: the client's answers pile up
    const QByteArray bytes = m_socket->readAll();
    m_input.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    while (true) {
        const std::size_t start = m_input.find_first_of(kLineStarts);
        if (start == std::string::npos) {
            m_input.clear();
            return;
        }
        const std::size_t end = m_input.find('\r', start);
        if (end == std::string::npos) {
            m_input.erase(0, start);
            if (m_input.size() > kMaxPendingInput)
                m_input.clear();
            return;
        }
        const std::string line = m_input.substr(start, end - start + 1);
        m_input.erase(0, end + 1);
        processLine(line);
    }
}

void CFrameSession::processLine(std::string_view line) {
    m_frame.logLine("<-", line);
    // A firmware record carries its text after "#"; the arguments in front of
    // it decode as any other request.
    std::string head(line);
    std::string_view programText;
    const std::size_t hash = line.find('#');
    if (line.starts_with("&sprog,") && hash != std::string_view::npos) {
        head = std::string(line.substr(0, hash)) + '\r';
        programText = printable(line.substr(hash + 1));
    }
    DeviceMessage request;
    const DecodeResult r = m_decoder.decode(head, request, CResponseDecoder::Column::Request);
    if (!r.delivered)
        return;
    m_frame.handleRequest(*this, request, programText);
}

void CFrameSession::sendLine(const std::string& line) {
    const FaultPlan& f = m_frame.faults();
    if (f.silent || m_closing)
        return;
    if (f.replyDelayMs > 0) {
        QTimer::singleShot(f.replyDelayMs, this, [this, line]() { emitLine(line); });
        return;
    }
    emitLine(line);
}

void CFrameSession::emitLine(const std::string& line) {
    const FaultPlan& f = m_frame.faults();
    if (f.silent || m_closing || !m_socket)
        return;
    QByteArray bytes;
    if (f.garbageBetweenLines)
        bytes.append(FaultPlan::kGarbage, sizeof FaultPlan::kGarbage - 1);
    bytes.append(line.data(), static_cast<qsizetype>(line.size()));
    sendRaw(bytes);
    m_frame.logLine("->", line);
    ++m_linesSent;
    if (f.closeAfterLines > 0 && m_linesSent >= f.closeAfterLines)
        closeWhenSent();
}

void CFrameSession::sendRaw(const QByteArray& bytes) {
    if (!m_socket)
        return;
    if (m_frame.faults().oneByteChunks) {
        m_pending.append(bytes);
        if (!m_drain.isActive())
            m_drain.start();
        return;
    }
    m_socket->write(bytes);
}

void CFrameSession::drainOneByte() {
    if (!m_socket || m_pending.isEmpty()) {
        m_drain.stop();
        if (m_closing)
            closeNow();
        return;
    }
    m_socket->write(m_pending.left(1));
    m_socket->flush();
    m_pending.remove(0, 1);
}

void CFrameSession::startFlood(int lines) {
    if (!m_socket || lines <= 0)
        return;
    m_flooding = true;
    m_floodLeft = lines;
    // Keep next to nothing of what the client sends, so its answers back up
    // into its own queue instead of ours.
    m_socket->setReadBufferSize(1);
    m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    connect(m_socket.data(), &QTcpSocket::bytesWritten, this, &CFrameSession::floodMore);
    floodMore();
}

void CFrameSession::floodMore() {
    static constexpr char kLine[] = "?aliverequest\r";
    static constexpr qsizetype kLineSize = sizeof kLine - 1;
    if (!m_socket || m_closing || m_floodLeft <= 0)
        return;
    const qint64 room = kFloodAhead - m_socket->bytesToWrite();
    const int lines = static_cast<int>(std::min<qint64>(m_floodLeft, room / kLineSize));
    if (lines <= 0)
        return;
    QByteArray chunk;
    chunk.reserve(lines * kLineSize);
    for (int k = 0; k < lines; ++k)
        chunk.append(kLine, kLineSize);
    m_floodLeft -= lines;
    m_socket->write(chunk);
}

void CFrameSession::closeWhenSent() {
    m_closing = true;
    if (m_pending.isEmpty())
        closeNow();
}

void CFrameSession::closeNow() {
    if (m_socket)
        m_socket->disconnectFromHost(); // writes what is buffered first
}

// ---------------------------------------------------------------- frame

CSimulatedFrame::CSimulatedFrame(FrameProfile profile, QObject* parent)
    : QObject(parent), m_model(std::move(profile)) {
    connect(&m_aliveTimer, &QTimer::timeout, this, &CSimulatedFrame::sendAliveRequest);
    connect(&m_inputTimer, &QTimer::timeout, this, &CSimulatedFrame::announceInputChange);
    connect(&m_scenarioTimer, &QTimer::timeout, this, &CSimulatedFrame::scenarioTick);
}

CSimulatedFrame::~CSimulatedFrame() { stop(); }

QHostAddress CSimulatedFrame::address() const {
    return QHostAddress(QString::fromStdString(profile().bindAddress));
}

quint16 CSimulatedFrame::commandPort() const {
    return m_server ? m_server->serverPort() : profile().commandPort();
}

bool CSimulatedFrame::isRunning() const { return m_server != nullptr; }

int CSimulatedFrame::clientCount() const {
    return static_cast<int>(std::count_if(m_sessions.begin(), m_sessions.end(),
                                          [](const CFrameSession* s) { return s->isOpen(); }));
}

bool CSimulatedFrame::start(QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        stop();
        return false;
    };
    if (isRunning())
        return true;
    const QHostAddress bind = address();
    if (bind.isNull() || bind.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("not an IPv4 address: %1")
                        .arg(QString::fromStdString(profile().bindAddress)));
    if (!bind.isLoopback() && !m_allowLan)
        return fail(QStringLiteral("%1 is not a loopback address (use --allow-lan to bind it)")
                        .arg(bind.toString()));

    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &CSimulatedFrame::onNewConnection);
    if (!m_server->listen(bind, profile().commandPort()))
        return fail(QStringLiteral("TCP %1:%2: %3")
                        .arg(bind.toString())
                        .arg(profile().commandPort())
                        .arg(m_server->errorString()));

    m_udp = new QUdpSocket(this);
    if (!m_udp->bind(bind, profile().udpPort,
                     QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return fail(QStringLiteral("UDP %1:%2: %3")
                        .arg(bind.toString())
                        .arg(profile().udpPort)
                        .arg(m_udp->errorString()));
    connect(m_udp, &QUdpSocket::readyRead, this, [this]() { onDatagrams(m_udp); });

    // Every frame shares the broadcast port, as frames on one network do.
    m_udpBroadcast = new QUdpSocket(this);
    if (!m_udpBroadcast->bind(QHostAddress::Broadcast, profile().udpPort,
                              QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint))
        return fail(QStringLiteral("UDP broadcast port %1: %2")
                        .arg(profile().udpPort)
                        .arg(m_udpBroadcast->errorString()));
    connect(m_udpBroadcast, &QUdpSocket::readyRead, this,
            [this]() { onDatagrams(m_udpBroadcast); });

    setAliveInterval(profile().aliveIntervalMs);
    setInputAnnouncements(faults().announceInputsMs);
    return true;
}

void CSimulatedFrame::stop() {
    m_aliveTimer.stop();
    m_inputTimer.stop();
    m_scenarioTimer.stop();
    for (CFrameSession* s : m_sessions) {
        s->disconnect(this);
        delete s;
    }
    m_sessions.clear();
    delete m_server;
    m_server = nullptr;
    delete m_udp;
    m_udp = nullptr;
    delete m_udpBroadcast;
    m_udpBroadcast = nullptr;
}

void CSimulatedFrame::setAliveInterval(int ms) {
    m_aliveTimer.stop();
    if (ms > 0) {
        m_aliveTimer.setInterval(ms);
        m_aliveTimer.start();
    }
}

void CSimulatedFrame::announceInputChange() { sendToAll(m_model.announceInputChange()); }

void CSimulatedFrame::setInputAnnouncements(int ms) {
    faults().announceInputsMs = ms > 0 ? ms : 0;
    m_inputTimer.stop();
    if (ms > 0 && isRunning()) {
        m_inputTimer.setInterval(ms);
        m_inputTimer.start();
    }
}

void CSimulatedFrame::onNewConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* session = new CFrameSession(*this, socket);
        connect(session, &CFrameSession::finished, this, &CSimulatedFrame::sessionFinished);
        m_sessions.push_back(session);
        // The profile's scenario runs from the first client on, so that a
        // viewer connected at once sees all of it.
        if (!m_scenarioStarted && !profile().scenario.empty()) {
            m_scenarioStarted = true;
            if (const std::optional<Scenario> s = scenarioByName(profile().scenario))
                startScenario(*s, profile().scenarioTickMs, profile().scenarioRepeat);
        }
        if (faults().overlongLineAtConnect && !faults().silent)
            session->sendRaw(QByteArray(FaultPlan::kOverlongLength, 'x').prepend(':'));
        if (faults().floodAliveLines > 0)
            session->startFlood(faults().floodAliveLines);
        Q_EMIT clientConnected();
    }
}

void CSimulatedFrame::sessionFinished(CFrameSession* session) {
    const auto it = std::find(m_sessions.begin(), m_sessions.end(), session);
    if (it == m_sessions.end())
        return;
    m_sessions.erase(it);
    session->deleteLater();
    Q_EMIT clientDisconnected();
}

void CSimulatedFrame::handleRequest(CFrameSession& from, const DeviceMessage& request,
                                    std::string_view programText) {
    if (request.isRequest() && faults().unanswered.count(request.command) != 0)
        return; // read, and never answered
    const Outcome out = m_model.handle(request, programText);
    if (request.command == CommandId::sprog && request.i(1) == 1 && faults().dropLinkAtRecord > 0 &&
        static_cast<int>(m_model.programRecords().size()) == faults().dropLinkAtRecord) {
        from.closeWhenSent(); // the record is kept, its answer never comes
        Q_EMIT programRecordReceived(static_cast<int>(m_model.programRecords().size()));
        return;
    }
    if (faults().strayBeforeTagged && request.isRequest() && request.tag != 0 &&
        !out.replies.empty())
        from.sendLine(m_model.strayReply(request));
    if (out.aliveAnswer) {
        ++m_aliveAnswers;
        Q_EMIT aliveAnswered();
    }
    const int ackDelay = request.command == CommandId::sprog ? faults().programReplyDelayMs : 0;
    for (const std::string& line : out.replies) {
        if (ackDelay > 0)
            QTimer::singleShot(ackDelay, &from, [&from, line]() { from.sendLine(line); });
        else
            from.sendLine(line);
    }
    for (const std::string& line : out.announcements)
        for (CFrameSession* s : m_sessions)
            if (s != &from)
                s->sendLine(line);
    if (request.command == CommandId::sprog && request.i(1) == 1)
        Q_EMIT programRecordReceived(static_cast<int>(m_model.programRecords().size()));
    if (request.command == CommandId::sprog && request.i(1) == 2 && m_model.programmingCompleted())
        Q_EMIT programCompleted(static_cast<int>(m_model.programRecords().size()));
    if (out.closeLink) {
        from.closeWhenSent();
        Q_EMIT restarting(
            QString::fromLatin1(keywordOf(request.command).data(),
                                static_cast<qsizetype>(keywordOf(request.command).size())));
    }
}

void CSimulatedFrame::logLine(const char* direction, std::string_view line) {
    const QString text = QString::fromLatin1(printable(line));
    if (m_verbose) {
        std::fprintf(stderr, "[%s:%u] %s %s\n", profile().bindAddress.c_str(), commandPort(),
                     direction, text.toLatin1().constData());
    }
    if (direction[0] == '<')
        Q_EMIT lineReceived(text);
    else
        Q_EMIT lineSent(text);
}

void CSimulatedFrame::sendToAll(const std::string& line) {
    for (CFrameSession* s : m_sessions)
        s->sendLine(line);
}

void CSimulatedFrame::startScenario(const Scenario& scenario, int tickMs, bool repeat) {
    m_scenario = scenario;
    m_scenarioRepeat = repeat;
    m_scenarioTick = 0;
    m_scenarioNext = 0;
    m_scenarioTimer.start(std::max(1, tickMs));
}

void CSimulatedFrame::stopScenario() { m_scenarioTimer.stop(); }

void CSimulatedFrame::scenarioTick() {
    ++m_scenarioTick;
    const std::vector<ScenarioStep>& steps = m_scenario.steps;
    while (m_scenarioNext < steps.size() && steps[m_scenarioNext].tick <= m_scenarioTick) {
        const ScenarioStep& step = steps[m_scenarioNext++];
        switch (step.what) {
        case ScenarioStep::What::Psu: setPsuStatus(step.unit, step.value); break;
        case ScenarioStep::What::Fan: setFanStatus(step.unit, step.value); break;
        case ScenarioStep::What::Input:
            setInputStatus(step.unit, QString::fromStdString(step.text));
            break;
        case ScenarioStep::What::Sync: {
            // The source the frame reports now, unless the step names one.
            DeviceMessage none;
            const int source =
                step.unit != 0 ? step.unit : m_model.current(CommandId::gsyncstat, none).i(1);
            setSyncStatus(step.value, source);
            break;
        }
        }
        ++m_scenarioStepsDone;
    }
    if (m_scenarioTick < m_scenario.lengthTicks)
        return;
    if (!m_scenarioRepeat) {
        m_scenarioTimer.stop();
        return;
    }
    m_scenarioTick = 0;
    m_scenarioNext = 0;
}

void CSimulatedFrame::setSyncStatus(int state, int source) {
    sendToAll(m_model.setSyncStatus(state, source));
}

void CSimulatedFrame::setInputStatus(int input, const QString& text) {
    sendToAll(m_model.setInputStatus(input, text.toStdString()));
}

void CSimulatedFrame::setPsuStatus(int unit, int status) {
    sendToAll(m_model.setPsuStatus(unit, status));
}

void CSimulatedFrame::setFanStatus(int unit, int status) {
    sendToAll(m_model.setFanStatus(unit, status));
}

void CSimulatedFrame::setUnicastClockStatus(int state, const QString& text) {
    sendToAll(m_model.setUnicastClockStatus(state, text.toStdString()));
}

void CSimulatedFrame::sendAliveRequest() { sendToAll("?aliverequest\r"); }

void CSimulatedFrame::sendOverlongLine() {
    for (CFrameSession* s : m_sessions)
        s->sendRaw(QByteArray(FaultPlan::kOverlongLength, 'x').prepend(':'));
}

void CSimulatedFrame::dropClients() {
    for (CFrameSession* s : m_sessions)
        s->closeWhenSent();
}

void CSimulatedFrame::sendSearchAnnouncement() {
    if (!m_udp)
        return;
    const std::string line = m_model.searchReply('!');
    m_udp->writeDatagram(line.data(), static_cast<qint64>(line.size()), m_announceAddress,
                         profile().replyPort);
}

void CSimulatedFrame::sendSearchBurst(const QHostAddress& requester) {
    // Only loopback has every address of its range on this machine.
    if (!address().isLoopback())
        return;
    const int count = std::min(faults().searchBurst, FaultPlan::kMaxSearchBurst);
    const std::string reply = m_model.searchReply(':');
    quint32 next = address().toIPv4Address();
    for (int k = 1; k < count; ++k) {
        // Host parts 0 and 255 look like network and broadcast addresses.
        do
            ++next;
        while ((next & 0xFFU) == 0 || (next & 0xFFU) == 0xFFU);
        if ((next >> 24) != 127)
            return;
        QUdpSocket socket;
        if (!socket.bind(QHostAddress(next), 0))
            return;
        // The serial number tells the replies apart: "SN-17" for the 17th.
        std::string line = reply;
        std::string suffix = "-";
        suffix += std::to_string(k); // not "-" + ...: GCC 12 warns falsely at -O3
        line.insert(line.size() - 2, suffix);
        socket.writeDatagram(line.data(), static_cast<qint64>(line.size()), requester,
                             profile().replyPort);
    }
}

void CSimulatedFrame::moveTo(const QString& address) {
    const QHostAddress to(address);
    if (to.isNull() || to.protocol() != QAbstractSocket::IPv4Protocol || to.toIPv4Address() == 0 ||
        to == QHostAddress::Broadcast) {
        Q_EMIT moveFailed(QStringLiteral("%1 is no address to listen at").arg(address));
        return;
    }
    if (to == this->address() || !isRunning())
        return;
    if (!to.isLoopback() && !m_allowLan) {
        Q_EMIT moveFailed(
            QStringLiteral("%1 is not a loopback address (use --allow-lan to move there)")
                .arg(to.toString()));
        return;
    }
    const std::string from = profile().bindAddress;
    stop();
    m_model.setBindAddress(to.toString().toStdString());
    QString error;
    if (start(&error)) {
        Q_EMIT moved(to);
        return;
    }
    // Back where it was, so the frame stays reachable.
    m_model.setBindAddress(from);
    start();
    Q_EMIT moveFailed(error);
}

void CSimulatedFrame::onDatagrams(QUdpSocket* socket) {
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram d = socket->receiveDatagram(2048);
        handleDatagram(socket, d.data(), d.senderAddress(), static_cast<quint16>(d.senderPort()));
    }
}

void CSimulatedFrame::handleDatagram(QUdpSocket* socket, const QByteArray& data,
                                     const QHostAddress& from, quint16 port) {
    const std::string_view text(data.constData(), static_cast<std::size_t>(data.size()));
    if (text.starts_with("?edev")) {
        const std::string line = m_model.searchReply(':');
        // Answered from the frame's own address so the requester sees who it is.
        m_udp->writeDatagram(line.data(), static_cast<qint64>(line.size()), from,
                             profile().replyPort);
        if (faults().searchBurst > 1)
            sendSearchBurst(from);
        Q_EMIT searchAnswered(from);
        return;
    }
    AddressRequest request;
    if (parseAddressRequest(text, request)) {
        if (request.serial == m_model.serialNumber() && !faults().ignoreSetAddress) {
            m_model.setNetwork(request.settings);
            Q_EMIT networkApplied();
            // A fixed address takes effect at once; automatic addressing has no
            // server to ask here, so the frame stays where it is. The sockets
            // are replaced after this handler returns, not under its feet.
            if (request.settings.mode == 0) {
                const QString to = QString::fromStdString(request.settings.address);
                QTimer::singleShot(0, this, [this, to] { moveTo(to); });
            }
        }
        return;
    }
    // The echo probe: a length byte, a zero and the probe text; only on the
    // frame's own address.
    const bool probe = socket == m_udp && data.size() == 2 + static_cast<int>(kEchoText.size()) &&
                       static_cast<unsigned char>(data[0]) == data.size() && data[1] == 0 &&
                       text.substr(2) == kEchoText;
    if (!probe)
        return;
    if (faults().refuseEcho) {
        Q_EMIT echoRefused(from);
        return;
    }
    m_udp->writeDatagram(data, from, port);
    Q_EMIT echoAnswered(from);
}

} // namespace velmar::framesim
