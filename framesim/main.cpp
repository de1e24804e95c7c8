// velmar-framesim: one or more simulated frames on loopback addresses, for the
// demo and for trying the program without hardware.

#include "FrameProfile.h"
#include "SimulatedFrame.h"
#include "VelmarVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTextStream>
#include <cstdio>
#include <memory>
#include <vector>

using namespace velmar::framesim;

namespace {

int failWith(const QString& message) {
    std::fprintf(stderr, "velmar-framesim: %s\n", message.toLocal8Bit().constData());
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmar-framesim"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(
        velmar::kVersion.data(), static_cast<qsizetype>(velmar::kVersion.size())));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Zarvo frames for Velmar."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption presetOpt(QStringLiteral("preset"),
                                       QStringLiteral("Start from a built-in preset."),
                                       QStringLiteral("name"), QStringLiteral("460"));
    const QCommandLineOption profileOpt(
        QStringLiteral("profile"), QStringLiteral("Read a profile file."), QStringLiteral("file"));
    const QCommandLineOption addressOpt(QStringLiteral("address"),
                                        QStringLiteral("Bind address of the first frame."),
                                        QStringLiteral("ip"));
    const QCommandLineOption framesOpt(
        QStringLiteral("frames"), QStringLiteral("Number of frames, on consecutive addresses."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption setOpt(QStringLiteral("set"),
                                    QStringLiteral("Override one profile setting (repeatable)."),
                                    QStringLiteral("key=value"));
    const QCommandLineOption listOpt(QStringLiteral("list-presets"),
                                     QStringLiteral("List the presets and exit."));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"),
                                        QStringLiteral("Log every line received and sent."));
    const QCommandLineOption lanOpt(
        QStringLiteral("allow-lan"),
        QStringLiteral("Allow binding an address that is not loopback."));
    const QCommandLineOption scenarioOpt(
        QStringLiteral("scenario"),
        QStringLiteral("Run a scheduled scenario from the first client on (see --list-scenarios)."),
        QStringLiteral("name"));
    const QCommandLineOption listScenariosOpt(QStringLiteral("list-scenarios"),
                                              QStringLiteral("List the scenarios and exit."));
    parser.addOptions(
        {presetOpt, profileOpt, addressOpt, framesOpt, setOpt, listOpt, verboseOpt, lanOpt});
    parser.addOptions({scenarioOpt, listScenariosOpt});
    parser.process(app);

    if (parser.isSet(listOpt)) {
        for (std::string_view name : presetNames())
            std::printf("%-10s %s\n", std::string(name).c_str(),
                        std::string(presetDescription(name)).c_str());
        return 0;
    }

    if (parser.isSet(listScenariosOpt)) {
        for (std::string_view name : scenarioNames())
            std::printf("%-10s %s\n", std::string(name).c_str(),
                        std::string(scenarioByName(name)->description).c_str());
        return 0;
    }

    std::optional<FrameProfile> profile;
    if (parser.isSet(profileOpt)) {
        QFile file(parser.value(profileOpt));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return failWith(QStringLiteral("cannot read %1").arg(file.fileName()));
        const QByteArray text = file.readAll();
        std::string error;
        profile = parseProfile(
            std::string_view(text.constData(), static_cast<std::size_t>(text.size())), error);
        if (!profile)
            return failWith(
                QStringLiteral("%1: %2").arg(file.fileName(), QString::fromStdString(error)));
    } else {
        profile = presetProfile(parser.value(presetOpt).toStdString());
        if (!profile)
            return failWith(QStringLiteral("unknown preset '%1' (see --list-presets)")
                                .arg(parser.value(presetOpt)));
    }
    for (const QString& setting : parser.values(setOpt)) {
        const qsizetype eq = setting.indexOf(QLatin1Char('='));
        std::string error;
        if (eq < 0 || !applySetting(*profile, setting.left(eq).toStdString(),
                                    setting.mid(eq + 1).toStdString(), error))
            return failWith(
                QStringLiteral("--set %1: %2").arg(setting, QString::fromStdString(error)));
    }
    if (parser.isSet(scenarioOpt)) {
        std::string error;
        if (!applySetting(*profile, "scenario", parser.value(scenarioOpt).toStdString(), error))
            return failWith(QStringLiteral("unknown scenario '%1' (see --list-scenarios)")
                                .arg(parser.value(scenarioOpt)));
    }
    if (parser.isSet(addressOpt))
        profile->bindAddress = parser.value(addressOpt).toStdString();

    bool ok = false;
    const int count = parser.value(framesOpt).toInt(&ok);
    if (!ok || count < 1 || count > 200)
        return failWith(QStringLiteral("--frames wants a number from 1 to 200"));

    const QHostAddress first(QString::fromStdString(profile->bindAddress));
    if (first.protocol() != QAbstractSocket::IPv4Protocol)
        return failWith(
            QStringLiteral("bad address %1").arg(QString::fromStdString(profile->bindAddress)));

    std::vector<std::unique_ptr<CSimulatedFrame>> frames;
    for (int n = 0; n < count; ++n) {
        FrameProfile p = *profile;
        // Each further frame gets the next address and its own identity.
        p.bindAddress =
            QHostAddress(first.toIPv4Address() + static_cast<quint32>(n)).toString().toStdString();
        if (n > 0) {
            p.id += n;
            p.name += " " + std::to_string(n + 1);
            p.serial += "-" + std::to_string(n + 1);
        }
        // The address the frame reports is the one it answers on.
        if (n > 0 || parser.isSet(addressOpt))
            p.network.address = p.bindAddress;
        auto frame = std::make_unique<CSimulatedFrame>(p);
        frame->setAllowLan(parser.isSet(lanOpt));
        frame->setVerbose(parser.isSet(verboseOpt));
        QString error;
        if (!frame->start(&error))
            return failWith(error);
        std::printf("frame %d: %s '%s' on %s port %u\n", n + 1, p.model.c_str(), p.name.c_str(),
                    p.bindAddress.c_str(), frame->commandPort());
        frames.push_back(std::move(frame));
    }
    std::fflush(stdout);
    return QCoreApplication::exec();
}
