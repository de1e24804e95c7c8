// velmar-server: every configured frame kept connected and served over HTTP
// and WebSocket. Reads its configuration, refuses to start on anything wrong
// in it (exit 2), listens (exit 1 when it cannot) and runs until SIGTERM or
// SIGINT, which close every session and the event log (exit 0).

#include "VelmarVersion.h"
#include "engine/FileAccess.h"
#include "link/QtText.h"
#include "server/CVelmarServer.h"
#include "server/CEmberServer.h"
#include "server/CVideohubServer.h"
#include "server/ServerConfig.h"
#include "server/Tokens.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmar;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

int configError(const std::string& text) {
    std::fprintf(stderr, "velmar-server: %s\n", text.c_str());
    return 2;
}

QString stateDirectoryOf(const ServerConfig& config) {
    if (!config.stateDirectory.empty())
        return qs(config.stateDirectory);
    // systemd's StateDirectory= names it; it may list several, the first is ours.
    const QString fromSystemd = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!fromSystemd.isEmpty())
        return fromSystemd;
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ServerArguments parsed;
    if (auto error = parseServerArguments(args, parsed))
        return configError(error->text());
    if (parsed.help) {
        std::fputs(serverHelpText().c_str(), stdout);
        return 0;
    }
    if (parsed.version) {
        std::printf("velmar-server %.*s\n", static_cast<int>(kVersion.size()), kVersion.data());
        return 0;
    }

    // Qt's own event loop rather than glib's: with hundreds of sockets, glib
    // adds and removes a watch on every write, which costs the event stream
    // about a third of its CPU. A service needs nothing glib brings.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velmar"));
    QCoreApplication::setApplicationName(QStringLiteral("velmar-server"));
    QCoreApplication::setApplicationVersion(qs(kVersion));

    ServerConfig config;
    if (!parsed.configFile.empty()) {
        config.configFile = parsed.configFile;
        const FileReadResult file = readFileBounded(qs(parsed.configFile), kMaxConfigFileBytes);
        if (!file.ok())
            return configError(file.error);
        if (auto error = applyConfigText(config, file.bytes, parsed.configFile))
            return configError(error->text());
    }
    for (const auto& [key, value] : parsed.settings)
        if (auto error = applyServerSetting(config, key, value, "--" + key))
            return configError(error->text());
    if (auto error = checkServerConfig(config))
        return configError(error->text());

    std::vector<ApiToken> tokens;
    if (!config.tokenFile.empty()) {
        struct stat info {};
        if (::stat(config.tokenFile.c_str(), &info) != 0)
            return configError(config.tokenFile + ": cannot be read");
        if (const std::string problem = tokenFileModeProblem(info.st_mode & 07777U, config.tokenFile);
            !problem.empty())
            return configError(problem);
        const FileReadResult file = readFileBounded(qs(config.tokenFile), kMaxTokenFileBytes);
        if (!file.ok())
            return configError(file.error);
        TokenFileResult read = parseTokenFile(file.bytes, config.tokenFile);
        if (!read.ok())
            return configError(read.error);
        tokens = std::move(read.tokens);
    }

    // A TLS file that cannot be read or holds no PEM is a configuration error
    // like any other, not a failure to listen.
    if (config.tls()) {
        QString why;
        if (!CVelmarServer::loadTls(config, why))
            return configError(why.toStdString());
    }

    const QString stateDirectory = stateDirectoryOf(config);
    if (!QDir().mkpath(stateDirectory))
        return configError(stateDirectory.toStdString() + ": the state directory cannot be made");

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        std::perror("velmar-server: socketpair");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CVelmarServer server(config, tokens);
    QString why;
    if (!server.listen(why)) {
        std::fprintf(stderr, "velmar-server: %s\n", why.toLocal8Bit().constData());
        return 1;
    }
    CVideohubServer videohub(server, config);
    if (!videohub.listen(why)) {
        std::fprintf(stderr, "velmar-server: %s\n", why.toLocal8Bit().constData());
        server.shutdown();
        return 1;
    }
    CEmberServer ember(server, config);
    if (!ember.listen(why)) {
        std::fprintf(stderr, "velmar-server: %s\n", why.toLocal8Bit().constData());
        videohub.close();
        server.shutdown();
        return 1;
    }
    server.startFrames(stateDirectory);
    std::printf("velmar-server: listening on %s://%s:%u with %zu frame%s%s\n",
                config.tls() ? "https" : "http", formatIpv4(config.listenAddress).c_str(),
                static_cast<unsigned>(server.port()), config.frames.size(),
                config.frames.size() == 1 ? "" : "s",
                tokens.empty() ? " (no tokens: loopback only)" : "");
    for (const CVideohubServer::Listening& l : videohub.listening())
        std::printf("velmar-server: Videohub for %s on %s:%u\n", l.frameId.c_str(),
                    l.address.toString().toLocal8Bit().constData(), static_cast<unsigned>(l.port));
    if (ember.listening())
        std::printf("velmar-server: Ember+ on %s:%u\n", ember.address().toString().toLocal8Bit().constData(),
                    static_cast<unsigned>(ember.port()));
    std::fflush(stdout);

    QSocketNotifier signals(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signals, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        signals.setEnabled(false);
        ember.close();
        videohub.close();
        server.shutdown();
        QCoreApplication::quit();
    });
    const int rc = QCoreApplication::exec();
    ember.close();
    videohub.close();
    server.shutdown();
    std::printf("velmar-server: stopped\n");
    return rc;
}
