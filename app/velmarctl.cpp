// velmarctl: the window's engine from the command line, for scripts.

#include "ctl/CCtlRunner.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// Ctrl+C and SIGTERM reach the event loop through a socket pair: the handler
// only writes one byte, which is all a signal handler may safely do.
int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

void writeAll(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream); // a script reading a watch sees each line at once
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmarctl"));

    velmar::CtlEnvironment environment;
    environment.out = [](std::string_view text) { writeAll(stdout, text); };
    environment.err = [](std::string_view text) { writeAll(stderr, text); };
    environment.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    velmar::CCtlRunner runner(std::move(environment));

    std::unique_ptr<QSocketNotifier> notifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[1], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &app, [&runner] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[1], &byte, 1);
            runner.interrupt();
        });
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN); // a closed pipe ends the output, not the program

    std::vector<std::string_view> args;
    for (int k = 1; k < argc; ++k)
        args.emplace_back(argv[k]);
    return runner.runArguments(args);
}
