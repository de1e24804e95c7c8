#pragma once

// A minimal program-side client for the wire tests: it sends requests through
// the program's encoder and reads the frame's lines with the program's decoder.

#include "protocol/CommandTable.h"
#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <QTcpSocket>
#include <QTest>
#include <array>
#include <string>
#include <vector>

namespace velmar::framesim::test {

inline constexpr int kWaitMs = 5000;

struct ReceivedLine {
    std::string text; // without the carriage return
    DeviceMessage message;
};

class CTestClient {
public:
    CTestClient() {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this]() { onReadyRead(); });
    }

    bool connectTo(const QString& address, quint16 port) {
        m_socket.connectToHost(address, port);
        return QTest::qWaitFor(
            [this]() { return m_socket.state() == QAbstractSocket::ConnectedState; }, kWaitMs);
    }

    void send(const DeviceMessage& m) {
        std::array<char, kEncodeBufferSize> buffer{};
        const std::size_t n = encodeMessage(m, buffer);
        m_socket.write(buffer.data(), static_cast<qint64>(n));
    }
    void sendLine(const std::string& line) {
        m_socket.write(line.data(), static_cast<qint64>(line.size()));
    }

    // Waits until `count` lines have arrived in total.
    bool waitLines(std::size_t count, int ms = kWaitMs) {
        return QTest::qWaitFor([&]() { return m_lines.size() >= count; }, ms);
    }
    bool waitDisconnected(int ms = kWaitMs) {
        return QTest::qWaitFor(
            [&]() { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    // Sends one request and waits for the next line.
    const ReceivedLine& ask(const DeviceMessage& m) {
        const std::size_t before = m_lines.size();
        send(m);
        if (!waitLines(before + 1))
            return m_none;
        return m_lines[before];
    }
    const ReceivedLine& askLine(const std::string& line) {
        const std::size_t before = m_lines.size();
        sendLine(line);
        if (!waitLines(before + 1))
            return m_none;
        return m_lines[before];
    }

    const std::vector<ReceivedLine>& lines() const { return m_lines; }
    const CResponseDecoder& decoder() const { return m_decoder; }
    const std::string& raw() const { return m_raw; }
    int reads() const { return m_reads; }
    QTcpSocket& socket() { return m_socket; }

private:
    void onReadyRead() {
        const QByteArray bytes = m_socket.readAll();
        ++m_reads;
        m_raw.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        m_buffer.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        while (true) {
            ReceivedLine line;
            const std::size_t start = m_buffer.find_first_of("!%&:?");
            const std::size_t end = m_buffer.find('\r', start == std::string::npos ? 0 : start);
            if (start != std::string::npos && end != std::string::npos)
                line.text = m_buffer.substr(start, end - start);
            const DecodeResult r = m_decoder.decode(m_buffer, line.message);
            m_buffer.erase(0, r.consumed);
            if (r.delivered)
                m_lines.push_back(std::move(line));
            else if (r.consumed == 0)
                break;
        }
    }

    QTcpSocket m_socket;
    CResponseDecoder m_decoder;
    std::string m_buffer;
    std::string m_raw;
    std::vector<ReceivedLine> m_lines;
    ReceivedLine m_none;
    int m_reads = 0;
};

inline DeviceMessage request(CommandId id, std::initializer_list<std::int32_t> values = {}) {
    DeviceMessage m = DeviceMessage::request(id);
    int slot = 1;
    for (std::int32_t v : values)
        m.setI(slot++, v);
    return m;
}

} // namespace velmar::framesim::test
