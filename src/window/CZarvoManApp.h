#pragma once

#include <QApplication>

namespace velmar {

// The application: reads the one command-line word, checks that sockets can
// be had, runs the main window and ends when it closes.
class CZarvoManApp : public QApplication {
    Q_OBJECT
public:
    CZarvoManApp(int& argc, char** argv);
    int run();

    // The words after the program name, joined by one blank.
    static QString commandLine(const QStringList& arguments);
    static bool socketsAvailable();

    static constexpr const char* kSocketsFailed = "Windows sockets initialization failed.";
};

} // namespace velmar
