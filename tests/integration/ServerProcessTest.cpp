// The velmar-server program as an operator runs it: its refusals to start,
// its clean stop, and real clients (curl, openssl, promtool) against it, with
// the frames simulated in this process.

#include "IntegrationSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>

namespace velmar {
namespace {

const QString kServer = QStringLiteral(VELMAR_SERVER_PATH);
const QString kCurl = QStringLiteral("/usr/bin/curl");
constexpr char kOperatorSecret[] = "op-7f3a9c2e5b1d8406";
constexpr char kViewerSecret[] = "view-2b8e4d6a0c9f1357";

struct Ran {
    int exitCode = -1; // -1: did not start, crashed or did not end
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end; the frames of the test keep serving meanwhile.
Ran run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return {};
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    const bool ended =
        test::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 30000);
    EXPECT_TRUE(ended) << program.toStdString();
    Ran r{-1, process.readAllStandardOutput(), process.readAllStandardError()};
    if (ended && process.exitStatus() == QProcess::NormalExit)
        r.exitCode = process.exitCode();
    return r;
}

void writeFile(const QString& path, const QByteArray& text, mode_t mode = 0600) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(text);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

QByteArray tokenFileText() {
    return QByteArray("# name role token\nalice operator ") + kOperatorSecret + "\nbob viewer " +
           kViewerSecret + "\n";
}

// One velmar-server run by the test. Killed if a test leaves it running.
class ServerProcess {
public:
    ~ServerProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Starts it and reads the port from its "listening on" line.
    bool start(const QStringList& args) {
        m_process.start(kServer, args);
        if (!m_process.waitForStarted(5000))
            return false;
        test::waitUntil(
            [&] {
                collect();
                return m_out.contains('\n') || m_process.state() != QProcess::Running;
            },
            10000);
        static const QRegularExpression listening(
            QStringLiteral("^velmar-server: listening on (https?)://127\\.0\\.0\\.1:(\\d+) "));
        const QRegularExpressionMatch m = listening.match(QString::fromUtf8(m_out));
        if (!m.hasMatch())
            return false;
        m_scheme = m.captured(1);
        m_port = m.captured(2).toUShort();
        return m_port != 0;
    }

    // Signals it and waits for its end: its exit code, -1 when it did not end normally.
    int stop(int signal) {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        if (!test::waitUntil([&] { return m_process.state() == QProcess::NotRunning; }, 10000))
            return -1;
        collect();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QString url(const QString& path) const {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(m_scheme).arg(m_port).arg(path);
    }
    QString url(const char* path) const { return url(QString::fromLatin1(path)); }
    quint16 port() const { return m_port; }
    const QByteArray& out() const { return m_out; }
    const QByteArray& err() const { return m_err; }

private:
    void collect() {
        m_out += m_process.readAllStandardOutput();
        m_err += m_process.readAllStandardError();
    }

    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
    QString m_scheme;
    quint16 m_port = 0;
};

struct Reply {
    int curlExit = -1;
    int status = 0;
    QByteArray headers;
    QByteArray body;
};

// One request with the real curl; the status and headers of the final response.
Reply curl(const QStringList& args) {
    const Ran r = run(kCurl, QStringList{QStringLiteral("-sS"), QStringLiteral("-i"),
                                         QStringLiteral("--max-time"), QStringLiteral("20")} +
                                 args);
    Reply reply;
    reply.curlExit = r.exitCode;
    QByteArray rest = r.out;
    for (;;) {
        const qsizetype end = rest.indexOf("\r\n\r\n");
        if (!rest.startsWith("HTTP/") || end < 0)
            break;
        reply.headers = rest.left(end);
        reply.status = rest.mid(rest.indexOf(' ') + 1, 3).toInt();
        rest = rest.mid(end + 4);
        if (reply.status >= 200)
            break; // "100 Continue" comes before the real answer
    }
    reply.body = rest;
    return reply;
}

QStringList bearer(const char* secret) {
    return {QStringLiteral("-H"), QStringLiteral("Authorization: Bearer ") + QLatin1String(secret)};
}

// Routes can be changed once the server calls the frame connected.
bool frameConnected(const ServerProcess& server, const char* secret = nullptr) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const Reply r =
            curl((secret ? bearer(secret) : QStringList()) << server.url("/api/v1/frames/a"));
        if (QJsonDocument::fromJson(r.body).object()[QStringLiteral("state")].toString() ==
            QStringLiteral("connected"))
            return true;
    }
    return false;
}

TEST(ServerProcess, RefusesToStartOnABadConfiguration) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString d = dir.path();
    writeFile(d + QStringLiteral("/tokens-0644"), tokenFileText(), 0644);
    writeFile(d + QStringLiteral("/tokens-0640"), tokenFileText(), 0640);
    writeFile(d + QStringLiteral("/tokens-bad"),
              "alice operator op-7f3a9c2e5b1d8406\nbob admin view-2b8e4d6a0c9f1357\n");
    writeFile(d + QStringLiteral("/server.conf"),
              "# a facility\nlisten = 127.0.0.1:0\ncolour = blue\n");
    writeFile(d + QStringLiteral("/cert.pem"), "not used\n");

    const struct {
        QStringList args; // "@" stands for the temporary folder
        int exitCode;
        const char* says; // on stderr for a refusal, on stdout otherwise
    } cases[] = {
        {{"--listen", "0.0.0.0:0"}, 2, "0.0.0.0 needs a token file"},
        {{"--listen", "0.0.0.0:0", "--token-file", "@/tokens-0644"}, 2, "tokens-0644 can be read"},
        {{"--token-file", "@/tokens-0640"}, 2, "tokens-0640 can be read"},
        {{"--token-file", "@/tokens-bad"}, 2, "tokens-bad:2: unknown role \"admin\""},
        {{"--colour", "blue"}, 2, "unknown option --colour"},
        {{"--config", "@/server.conf"}, 2, "server.conf:3: unknown setting \"colour\""},
        {{"--config", "@/missing.conf"}, 2, "missing.conf"},
        {{"--listen", "127.0.0.1:0", "--tls-certificate", "@/cert.pem"}, 2, "tls-key"},
        {{"--tls-certificate", "@/missing.pem", "--tls-key", "@/cert.pem"}, 2, "missing.pem"},
        {{"--tls-certificate", "@/cert.pem", "--tls-key", "@/cert.pem"},
         2,
         "cert.pem: no PEM certificate"},
        {{"--state-directory", "@/server.conf/state"}, 2, "state directory cannot be made"},
        {{"--frame", "127.0.0.2=a", "--frame", "127.0.0.3=a"}, 2, "\"a\" is given twice"},
        {{"--help"}, 0, "Usage: velmar-server"},
        {{"--version"}, 0, "velmar-server "},
    };
    for (const auto& c : cases) {
        QStringList args{QStringLiteral("--state-directory"), d + QStringLiteral("/state")};
        for (const QString& a : c.args)
            args << QString(a).replace(QLatin1Char('@'), d);
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const Ran r = run(kServer, args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("listening"));
        EXPECT_TRUE((c.exitCode == 0 ? r.out : r.err).contains(c.says))
            << r.out.toStdString() << r.err.toStdString();
        // Never a secret in what a refusal prints.
        EXPECT_FALSE(r.err.contains(kOperatorSecret) || r.err.contains(kViewerSecret));
    }
}

TEST(ServerProcess, APortInUseExitsWithOne) {
    QTemporaryDir dir;
    ServerProcess first;
    ASSERT_TRUE(first.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                             QStringLiteral("--state-directory"), dir.path()}));
    const QString taken = QStringLiteral("127.0.0.1:%1").arg(first.port());
    const Ran second = run(kServer, {QStringLiteral("--listen"), taken,
                                     QStringLiteral("--state-directory"), dir.path()});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(second.err.startsWith("velmar-server: ")) << second.err.toStdString();
    EXPECT_FALSE(second.out.contains("listening"));
    // The first one is unharmed by the attempt.
    EXPECT_EQ(curl({first.url("/api/v1/frames")}).status, 200);
    EXPECT_EQ(first.stop(SIGTERM), 0);
}

TEST(ServerProcess, StopsCleanlyOnTermAndInterrupt) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    const struct {
        int signal;
        const char* frame; // 127.0.0.9 never answers: the stop comes while it is being reached
        int output;        // routed before the stop, 0 for none
    } cases[] = {
        {SIGTERM, "127.0.0.2=a", 3},
        {SIGINT, "127.0.0.2=a", 4},
        {SIGTERM, "127.0.0.9=a", 0},
        {SIGINT, "127.0.0.9=a", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.signal << " " << c.frame);
        QTemporaryDir dir;
        ServerProcess server;
        ASSERT_TRUE(server.start({QStringLiteral("--frame"), QLatin1String(c.frame),
                                  QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                  QStringLiteral("--state-directory"), dir.path()}));
        if (c.output) {
            ASSERT_TRUE(frameConnected(server));
            const Reply put =
                curl({QStringLiteral("-X"), QStringLiteral("PUT"), QStringLiteral("-d"),
                      QStringLiteral("{\"input\":9}"),
                      server.url(QStringLiteral("/api/v1/frames/a/routes/%1").arg(c.output))});
            EXPECT_EQ(put.status, 200) << put.body.toStdString();
        }

        EXPECT_EQ(server.stop(c.signal), 0) << server.err().toStdString();
        EXPECT_TRUE(server.out().endsWith("velmar-server: stopped\n"))
            << server.out().toStdString();
        // The session to the frame is closed, not left to time out.
        EXPECT_TRUE(test::waitUntil([&] { return frame->clientCount() == 0; }));

        QFile log(dir.path() + QStringLiteral("/events.jsonl"));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        ASSERT_TRUE(text.endsWith('\n')) << "the last record is whole";
        QStringList kinds;
        for (const QByteArray& line : text.trimmed().split('\n')) {
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
            ASSERT_TRUE(doc.isObject()) << line.toStdString();
            kinds << doc.object()[QStringLiteral("kind")].toString();
        }
        const std::string all = kinds.join(QLatin1Char(',')).toStdString();
        EXPECT_EQ(kinds.contains(QStringLiteral("route")), c.output != 0) << all;
        if (c.output) {
            EXPECT_EQ(kinds.last(), QStringLiteral("disconnect")) << all;
        }
    }
}

TEST(ServerProcess, StopsWhileAChangeWaitsForTheFrame) {
    auto frame = test::startFrame("460", "127.0.0.2", [](framesim::FrameProfile& p) {
        p.faults.unanswered.insert(CommandId::scross);
    });
    ASSERT_TRUE(frame);
    bool asked = false;
    QObject context;
    QObject::connect(frame.get(), &framesim::CSimulatedFrame::lineReceived, &context,
                     [&asked](const QString& line) {
                         asked = asked || line.contains(QStringLiteral("scross"));
                     });
    QTemporaryDir dir;
    ServerProcess server;
    ASSERT_TRUE(server.start({QStringLiteral("--frame"), QStringLiteral("127.0.0.2=a"),
                              QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                              QStringLiteral("--change-timeout"), QStringLiteral("60"),
                              QStringLiteral("--state-directory"), dir.path()}));
    ASSERT_TRUE(frameConnected(server));

    QProcess put;
    put.start(kCurl, {QStringLiteral("-sS"), QStringLiteral("-i"), QStringLiteral("--max-time"),
                      QStringLiteral("30"), QStringLiteral("-X"), QStringLiteral("PUT"),
                      QStringLiteral("-d"), QStringLiteral("{\"input\":17}"),
                      server.url("/api/v1/frames/a/routes/5")});
    ASSERT_TRUE(test::waitUntil([&] { return asked; }, 10000));
    EXPECT_EQ(put.state(), QProcess::Running) << "answered before the frame did";

    EXPECT_EQ(server.stop(SIGTERM), 0) << server.err().toStdString();
    EXPECT_TRUE(server.out().endsWith("velmar-server: stopped\n"));
    // The waiting client is let go at once, never told its change was made.
    ASSERT_TRUE(test::waitUntil([&] { return put.state() == QProcess::NotRunning; }, 10000));
    const QByteArray answer = put.readAllStandardOutput();
    EXPECT_NE(put.exitCode(), 28) << "curl timed out";
    EXPECT_FALSE(answer.contains("confirmed")) << answer.toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return frame->clientCount() == 0; }));
}

TEST(ServerProcess, TokensAndRolesWithCurl) {
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    ASSERT_NE(frame->model().crosspoint(5), 17);
    QTemporaryDir dir;
    const QString tokens = dir.path() + QStringLiteral("/tokens");
    writeFile(tokens, tokenFileText());
    ServerProcess server;
    ASSERT_TRUE(server.start({QStringLiteral("--frame"), QStringLiteral("127.0.0.2=a"),
                              QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                              QStringLiteral("--token-file"), tokens,
                              QStringLiteral("--state-directory"), dir.path()}));
    ASSERT_TRUE(frameConnected(server, kViewerSecret));

    const QStringList put{QStringLiteral("-X"), QStringLiteral("PUT"), QStringLiteral("-d"),
                          QStringLiteral("{\"input\":17}"),
                          server.url("/api/v1/frames/a/routes/5")};
    const QStringList wrong = bearer("wrong-0123456789abcdef");
    const struct {
        const char* name;
        QStringList args;
        int status;
        const char* inBody;
    } cases[] = {
        {"no token", {server.url("/api/v1/frames")}, 401, "\"error\""},
        {"wrong token", wrong + QStringList{server.url("/api/v1/frames")}, 401, "\"error\""},
        {"not bearer",
         {QStringLiteral("-H"), QStringLiteral("Authorization: Basic YWxpY2U6eA=="),
          server.url("/api/v1/frames")},
         401,
         "\"error\""},
        {"viewer reads", bearer(kViewerSecret) << server.url("/api/v1/frames"), 200, "\"a\""},
        {"viewer changes", bearer(kViewerSecret) + put, 403, "\"error\""},
        {"viewer whoami", bearer(kViewerSecret) << server.url("/api/v1/whoami"), 200,
         "{\"name\":\"bob\",\"role\":\"viewer\"}"},
        {"operator whoami", bearer(kOperatorSecret) << server.url("/api/v1/whoami"), 200,
         "{\"name\":\"alice\",\"role\":\"operator\"}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply r = curl(c.args);
        EXPECT_EQ(r.status, c.status) << r.body.toStdString();
        EXPECT_TRUE(r.body.contains(c.inBody)) << r.body.toStdString();
        EXPECT_EQ(r.headers.contains("WWW-Authenticate: Bearer"), c.status == 401)
            << r.headers.toStdString();
    }
    EXPECT_NE(frame->model().crosspoint(5), 17) << "the viewer's change reached the frame";

    const Reply r = curl(bearer(kOperatorSecret) + put);
    EXPECT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(r.body).object()[QStringLiteral("state")].toString(),
              QStringLiteral("confirmed"));
    EXPECT_EQ(frame->model().crosspoint(5), 17);

    ASSERT_EQ(server.stop(SIGTERM), 0);
    QFile log(dir.path() + QStringLiteral("/events.jsonl"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray events = log.readAll();
    EXPECT_TRUE(events.contains("(by alice)")) << "the change names who made it";
    for (const char* secret : {kOperatorSecret, kViewerSecret, "wrong-0123456789abcdef"})
        for (const QByteArray* text : {&server.out(), &server.err(), &events})
            EXPECT_FALSE(text->contains(secret)) << secret << " in " << text->toStdString();
}

TEST(ServerProcess, ServesHttpsWithASelfSignedCertificate) {
    QTemporaryDir dir;
    const QString cert = dir.path() + QStringLiteral("/cert.pem");
    const QString key = dir.path() + QStringLiteral("/key.pem");
    const Ran made =
        run(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
             QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-subj"),
             QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-days"), QStringLiteral("1"),
             QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    ServerProcess server;
    ASSERT_TRUE(
        server.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                      QStringLiteral("--tls-certificate"), cert, QStringLiteral("--tls-key"), key,
                      QStringLiteral("--state-directory"), dir.path()}));
    ASSERT_TRUE(server.url("").startsWith(QStringLiteral("https://")));

    const Reply tls = curl({QStringLiteral("--cacert"), cert, server.url("/api/v1/frames")});
    EXPECT_EQ(tls.status, 200) << tls.body.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(tls.body).object()[QStringLiteral("frames")].isArray())
        << tls.body.toStdString();

    // Without the certificate curl must not trust it; plain HTTP gets no answer.
    EXPECT_NE(curl({server.url("/api/v1/frames")}).curlExit, 0);
    const Reply plain =
        curl({QStringLiteral("http://127.0.0.1:%1/api/v1/frames").arg(server.port())});
    EXPECT_NE(plain.curlExit, 0);
    EXPECT_EQ(plain.status, 0);
    // The server shrugs both off.
    EXPECT_EQ(curl({QStringLiteral("--cacert"), cert, server.url("/api/v1/whoami")}).status, 200);
    EXPECT_EQ(server.stop(SIGTERM), 0) << server.err().toStdString();
}

TEST(ServerProcess, MetricsPassPromtool) {
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
    auto frame = test::startFrame("460", "127.0.0.2");
    ASSERT_TRUE(frame);
    QTemporaryDir dir;
    ServerProcess server;
    ASSERT_TRUE(server.start({QStringLiteral("--frame"), QStringLiteral("127.0.0.2=a"),
                              QStringLiteral("--frame"), QStringLiteral("127.0.0.9=gone"),
                              QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                              QStringLiteral("--state-directory"), dir.path()}));
    ASSERT_TRUE(frameConnected(server));
    // A refused request and a route change, so that their counters carry labels.
    curl({server.url("/api/v1/frames/nosuch")});
    curl({QStringLiteral("-X"), QStringLiteral("PUT"), QStringLiteral("-d"),
          QStringLiteral("{\"input\":2}"), server.url("/api/v1/frames/a/routes/1")});

    // The frame counts as up once the server has read it, a little after it connected.
    Reply metrics;
    for (int attempt = 0; attempt < 200; ++attempt) {
        metrics = curl({server.url("/metrics")});
        if (metrics.status != 200 || metrics.body.contains("velmar_frame_up{frame=\"a\"} 1"))
            break;
    }
    ASSERT_EQ(metrics.status, 200);
    EXPECT_TRUE(metrics.body.contains("velmar_frame_up{frame=\"a\"} 1"))
        << metrics.body.toStdString();
    EXPECT_TRUE(metrics.body.contains("velmar_frame_up{frame=\"gone\"} 0"))
        << metrics.body.toStdString();
    const Ran check =
        run(promtool, {QStringLiteral("check"), QStringLiteral("metrics")}, metrics.body);
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();

    // promtool does find faults: a sample without its metadata fails it.
    const Ran broken = run(promtool, {QStringLiteral("check"), QStringLiteral("metrics")},
                           metrics.body + "velmar bad sample\n");
    EXPECT_NE(broken.exitCode, 0);
    EXPECT_EQ(server.stop(SIGTERM), 0) << server.err().toStdString();
}

// Reads what the server answers to raw bytes, until it closes the connection.
QByteArray rawExchange(quint16 port, const QByteArray& bytes) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!test::waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return {};
    socket.write(bytes);
    QByteArray answer;
    test::waitUntil(
        [&] {
            answer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        10000);
    return answer + socket.readAll();
}

TEST(ServerProcess, BoundsAnswerAndTheServerCarriesOn) {
    QTemporaryDir dir;
    const QString big = dir.path() + QStringLiteral("/big.json");
    writeFile(big, QByteArray(70 * 1024, ' ') + "{}");
    ServerProcess server;
    ASSERT_TRUE(server.start({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                              QStringLiteral("--state-directory"), dir.path()}));
    const struct {
        const char* name;
        QStringList args;
        int status;
    } cases[] = {
        {"70 KiB body",
         {QStringLiteral("-X"), QStringLiteral("POST"), QStringLiteral("--data-binary"),
          QLatin1Char('@') + big, server.url("/api/v1/frames/a/routes")},
         413},
        {"20 KiB header",
         {QStringLiteral("-H"),
          QStringLiteral("X-Padding: ") + QString(20 * 1024, QLatin1Char('p')),
          server.url("/api/v1/frames")},
         431},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Reply r = curl(c.args);
        EXPECT_EQ(r.status, c.status) << r.headers.toStdString() << r.body.toStdString();
        EXPECT_TRUE(QJsonDocument::fromJson(r.body).object().contains(QStringLiteral("error")))
            << r.body.toStdString();
        EXPECT_EQ(curl({server.url("/api/v1/whoami")}).status, 200) << "still answering";
    }

    const QByteArray malformed[] = {
        "GARBAGE\r\n\r\n",
        "GET /api/v1/frames\r\n\r\n",
        "GET /api/v1/frames HTTP/1.1 extra\r\n\r\n",
        QByteArray("GET /\0 HTTP/1.1\r\n\r\n", 19),
    };
    for (const QByteArray& request : malformed) {
        SCOPED_TRACE(request.toStdString());
        const QByteArray answer = rawExchange(server.port(), request);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 400 ")) << answer.toStdString();
        EXPECT_TRUE(answer.contains("\"error\"")) << answer.toStdString();
        EXPECT_EQ(curl({server.url("/api/v1/whoami")}).status, 200) << "still answering";
    }
    EXPECT_EQ(server.stop(SIGTERM), 0) << server.err().toStdString();
}

} // namespace
} // namespace velmar
