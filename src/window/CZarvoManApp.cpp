#include "window/CZarvoManApp.h"

#include "VelmarVersion.h"
#include "link/QtText.h"
#include "link/StartupOptions.h"
#include "window/CZarvoDlg.h"

#include <QMessageBox>
#include <QSettings>
#include <QUdpSocket>

namespace velmar {

CZarvoManApp::CZarvoManApp(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("Velmar"));
    setApplicationName(QStringLiteral("Velmar"));
    setApplicationVersion(qs(kVersion));
}

QString CZarvoManApp::commandLine(const QStringList& arguments) {
    return arguments.mid(1).join(QLatin1Char(' '));
}

bool CZarvoManApp::socketsAvailable() {
    // The counterpart of starting a socket library: one socket must be had.
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0);
}

int CZarvoManApp::run() {
    if (!socketsAvailable()) {
        QMessageBox::critical(nullptr, QStringLiteral("Velmar"),
                              QString::fromLatin1(kSocketsFailed));
        return 1;
    }
    const StartupOptions options = parseCommandLine(commandLine(arguments()).toStdString());
    QSettings profile;
    CZarvoDlg window(options, profile);
    window.show();
    return exec();
}

} // namespace velmar
