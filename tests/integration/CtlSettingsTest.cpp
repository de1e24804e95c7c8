// velmarctl's settings commands against simulated frames, run in this process
// so the frames and the command share one event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"
#include "engine/CQtTimerHost.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <sys/stat.h>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using framesim::FrameProfile;

constexpr const char* kFrame = "127.0.0.2";

class CtlSettings : public test::CtlInProcess {
protected:
    // Counts the set requests the frame received from here on.
    void recordSetsOf(CSimulatedFrame& frame) {
        QObject::connect(&frame, &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.startsWith(QLatin1Char('&')))
                                 sets->push_back(line.toStdString());
                         });
    }

    static std::string readAll(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        return f.readAll().toStdString();
    }
    static void writeAll(const QString& path, const std::string& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    static std::string replaced(std::string text, const std::string& from, const std::string& to) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        return text;
    }

    // The text with the line of `key` ("ID=") holding `value`.
    static std::string setLine(std::string text, const std::string& key, const std::string& value) {
        const std::size_t at = text.find("\n" + key);
        EXPECT_NE(at, std::string::npos) << key;
        if (at != std::string::npos)
            text.replace(at + 1, text.find("\r\n", at) - at - 1, key + value);
        return text;
    }
    static std::string lineOf(const std::string& text, const std::string& key) {
        const std::size_t at = text.find("\n" + key);
        return at == std::string::npos ? std::string{}
                                       : text.substr(at + 1, text.find("\r\n", at) - at - 1);
    }

    // What the frame now holds for a frame-wide setting.
    static std::int32_t value(const CSimulatedFrame& frame, CommandId get) {
        return frame.model().current(get, DeviceMessage{}).i(1);
    }

    // Saves the frame's settings and returns the file's path.
    QString saved(const char* name) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const std::string file = path.toStdString();
        EXPECT_EQ(run({"settings", "save", kFrame, file}), kExitOk) << err;
        return path;
    }

    QObject context;
    QTemporaryDir dir;
    std::shared_ptr<std::vector<std::string>> sets = std::make_shared<std::vector<std::string>>();
};

TEST_F(CtlSettings, ShowListsEveryGroupInTextAndJson) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.systemDelay = 17; });
    ASSERT_EQ(run({"settings", "show", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("[System delay]\n  SystemDelay = 17\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[Alive time]\n"), std::string::npos) << out;

    ASSERT_EQ(run({"settings", "show", kFrame, "--json"}), kExitOk) << err;
    const QJsonArray groups = json()["groups"].toArray();
    EXPECT_GT(groups.size(), 5);
    bool sawDelay = false;
    for (const auto& g : groups) {
        const QJsonObject group = g.toObject();
        if (group["name"].toString() == QStringLiteral("System delay")) {
            sawDelay = true;
            EXPECT_EQ(group["values"].toObject()["SystemDelay"].toString(), QStringLiteral("17"));
        }
    }
    EXPECT_TRUE(sawDelay) << out;
}

TEST_F(CtlSettings, SavedFileAppliedAsItIsSendsNothing) {
    auto frame = test::startFrame("460", kFrame);
    const QString path = saved("same.cfg");
    const std::string bytes = readAll(path);
    EXPECT_EQ(bytes.substr(0, 19), "[Device settings]\r\n");
    EXPECT_NE(bytes.find("\r\nSystemDelay=0\r\n"), std::string::npos);

    recordSetsOf(*frame);
    ASSERT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--json"}), kExitOk) << err;
    EXPECT_TRUE(json()["requests"].toArray().isEmpty()) << out;
    EXPECT_TRUE(sets->empty()) << sets->front();
    EXPECT_EQ(readAll(path), bytes) << "the file is only read";
}

TEST_F(CtlSettings, EditedValueIsAppliedAndConfirmed) {
    auto frame = test::startFrame("460", kFrame);
    const QString path = saved("edited.cfg");
    writeAll(path, replaced(readAll(path), "SystemDelay=0\r\n", "SystemDelay=12\r\n"));

    recordSetsOf(*frame);
    ASSERT_EQ(run({"settings", "apply", kFrame, path.toStdString()}), kExitOk) << err;
    EXPECT_EQ(value(*frame, CommandId::gsystemdelay), 12);
    EXPECT_NE(out.find("ssystemdelay,12: confirmed\n"), std::string::npos) << out;
    EXPECT_NE(out.find("1 confirmed, 0 refused, 0 unanswered"), std::string::npos) << out;
    ASSERT_EQ(sets->size(), 1U);
    EXPECT_NE(sets->front().find("ssystemdelay,12"), std::string::npos) << sets->front();
}

TEST_F(CtlSettings, DryRunPrintsTheLinesAndChangesNothing) {
    auto frame = test::startFrame("460", kFrame);
    const QString path = saved("dry.cfg");
    writeAll(path, replaced(readAll(path), "SystemDelay=0\r\n", "SystemDelay=12\r\n"));

    recordSetsOf(*frame);
    ASSERT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--dry-run"}), kExitOk) << err;
    EXPECT_NE(out.find("&ssystemdelay,12\n"), std::string::npos) << out;
    EXPECT_NE(out.find("nothing was sent"), std::string::npos) << out;
    EXPECT_EQ(value(*frame, CommandId::gsystemdelay), 0);
    EXPECT_TRUE(sets->empty()) << sets->front();

    ASSERT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--dry-run", "--json"}),
              kExitOk)
        << err;
    const QJsonArray lines = json()["requests"].toArray();
    ASSERT_EQ(lines.size(), 1) << out;
    EXPECT_EQ(lines[0].toString(), QStringLiteral("&ssystemdelay,12"));
    EXPECT_TRUE(sets->empty());
}

TEST_F(CtlSettings, RefusedSetExitsWithOneAndTheOthersAreStillReported) {
    auto frame = test::startFrame(
        "460", kFrame, [](FrameProfile& p) { p.faults.refused[CommandId::ssystemdelay] = 1; });
    const QString path = saved("refused.cfg");
    std::string edited = replaced(readAll(path), "SystemDelay=0\r\n", "SystemDelay=12\r\n");
    edited = replaced(edited, "WordClkOutMode=0\r\n", "WordClkOutMode=1\r\n");
    writeAll(path, edited);

    EXPECT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--json"}), kExitFrame);
    const QJsonObject o = json();
    EXPECT_EQ(o["refused"].toInt(), 1) << out;
    EXPECT_EQ(o["confirmed"].toInt(), 1) << out;
    bool sawRefused = false;
    bool sawConfirmed = false;
    for (const auto& r : o["requests"].toArray()) {
        const QJsonObject entry = r.toObject();
        if (entry["line"].toString().contains(QStringLiteral("ssystemdelay")))
            sawRefused = entry["result"].toString() == QStringLiteral("refused");
        if (entry["line"].toString().contains(QStringLiteral("swclkout")))
            sawConfirmed = entry["result"].toString() == QStringLiteral("confirmed");
    }
    EXPECT_TRUE(sawRefused) << out;
    EXPECT_TRUE(sawConfirmed) << out;
    EXPECT_NE(err.find("refused 1 of 2"), std::string::npos) << err;
    EXPECT_EQ(value(*frame, CommandId::gsystemdelay), 0);
    EXPECT_EQ(value(*frame, CommandId::gwclkout), 1);
}

// A file with a line out of place or a value the pages would not take is
// refused whole, in a dry run too: no partial apply.
TEST_F(CtlSettings, HostileFilesAreRefusedWholeAndNothingIsSent) {
    auto frame = test::startFrame("460", kFrame);
    const std::string saved = readAll(this->saved("base.cfg"));
    const QString path = dir.filePath(QStringLiteral("hostile.cfg"));
    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    recordSetsOf(*frame);
    using Edit = std::function<std::string(std::string)>;
    const auto set = [](std::vector<std::pair<std::string, std::string>> lines) -> Edit {
        return [lines](std::string text) {
            for (const auto& [key, value] : lines)
                text = setLine(std::move(text), key, value);
            return text;
        };
    };
    struct Row {
        Edit edit;
        std::vector<std::string> named; // in the error output
        bool connects;                  // caught only against the frame's values
    };
    const Row rows[] = {
        {[](std::string text) {
             const std::string rate = lineOf(text, "SampleRate=");
             const std::string clock = lineOf(text, "WordClkOutMode=");
             text = replaced(text, "\r\n" + rate + "\r\n", "\r\n@@\r\n");
             text = replaced(text, "\r\n" + clock + "\r\n", "\r\n" + rate + "\r\n");
             return replaced(text, "\r\n@@\r\n", "\r\n" + clock + "\r\n");
         },
         {"line 16: the key is \"WordClkOutMode\", expected \"SampleRate\"",
          "line 18: the key is \"SampleRate\", expected \"WordClkOutMode\""},
         false},
        {set({{"ID=", "abc"}, {"SystemDelay=", "12"}}),
         {"line 3 (ID): \"abc\" is not a whole number"},
         false},
        {set({{"DHCP=", "7"}, {"MadiInMode=", "29"}}),
         {"line 10 (DHCP): 7 is not", "line 37 (MadiInMode): 29 is not"},
         false},
        {set({{"IP=", "999.1.2.3"}}), {"line 6 (IP): \"999.1.2.3\" is not an address"}, false},
        {set({{"SampleRate=", "0"}}), {"line 16 (SampleRate): 0 is not"}, true},
    };
    for (const Row& row : rows) {
        writeAll(path, row.edit(saved));
        for (const bool dryRun : {false, true}) {
            const std::string file = path.toStdString();
            std::vector<std::string_view> args{"settings", "apply", kFrame, file, "--json"};
            if (dryRun)
                args.emplace_back("--dry-run");
            const int before = connects;
            EXPECT_EQ(run(args), kExitUsage) << row.named.front();
            for (const std::string& named : row.named)
                EXPECT_NE(err.find(named), std::string::npos) << err;
            EXPECT_NE(err.find("nothing was sent"), std::string::npos) << err;
            EXPECT_EQ(err.find("another address"), std::string::npos) << err;
            EXPECT_EQ(connects > before, row.connects) << row.named.front();
            const QJsonObject o = json();
            EXPECT_EQ(o["exit"].toInt(), kExitUsage) << out;
            EXPECT_EQ(o["problems"].toArray().size(), static_cast<int>(row.named.size())) << out;
        }
    }
    EXPECT_TRUE(sets->empty()) << sets->front();
    EXPECT_EQ(value(*frame, CommandId::gsystemdelay), 0);
}

// The frame refuses its new address: it still answers where it was, and the
// operator is not told otherwise.
TEST_F(CtlSettings, RefusedAddressChangeIsNotCalledAMove) {
    auto frame = test::startFrame("460", kFrame,
                                  [](FrameProfile& p) { p.faults.refused[CommandId::sip] = 1; });
    const QString path = saved("address.cfg");
    writeAll(path, setLine(setLine(readAll(path), "DHCP=", "0"), "Gateway=", "127.0.0.9"));
    EXPECT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--json"}), kExitFrame);
    EXPECT_EQ(json()["refused"].toInt(), 1) << out;
    EXPECT_FALSE(json()["networkChanged"].toBool()) << out;
    EXPECT_EQ(err.find("another address"), std::string::npos) << err;
}

TEST_F(CtlSettings, LockedDanteModuleChangesAreNamedNotSent) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) { p.ipLock = 1; });
    const QString path = saved("dante.cfg");
    std::string bytes = readAll(path);
    const std::size_t name = bytes.find("\r\nDanteName=");
    ASSERT_NE(name, std::string::npos);
    const std::size_t end = bytes.find("\r\n", name + 2);
    bytes.replace(name, end - name, "\r\nDanteName=Other");
    writeAll(path, bytes);

    recordSetsOf(*frame);
    EXPECT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--json"}), kExitFrame);
    EXPECT_NE(err.find("1 Dante module setting was not sent"), std::string::npos) << err;
    EXPECT_EQ(json()["danteNotSent"].toInt(), 1) << out;
    EXPECT_TRUE(sets->empty()) << sets->front();
}

TEST_F(CtlSettings, UnansweredSetIsNotCountedDone) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.faults.unanswered.insert(CommandId::ssystemdelay);
    });
    const QString path = saved("unanswered.cfg");
    std::string edited = replaced(readAll(path), "SystemDelay=0\r\n", "SystemDelay=12\r\n");
    writeAll(path, replaced(edited, "WordClkOutMode=0\r\n", "WordClkOutMode=1\r\n"));

    EXPECT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--timeout", "400"}),
              kExitFrame);
    EXPECT_NE(out.find("ssystemdelay,12: unanswered\n"), std::string::npos) << out;
    EXPECT_NE(out.find("1 confirmed, 0 refused, 1 unanswered"), std::string::npos) << out;
    EXPECT_NE(err.find("1 settings request was not answered within 400 ms"), std::string::npos)
        << err;
}

TEST_F(CtlSettings, FileErrorsExitWithTwoAndSendNothing) {
    auto frame = test::startFrame("460", kFrame);
    const QString path = saved("short.cfg");
    int connects = 0;
    QObject::connect(frame.get(), &CSimulatedFrame::clientConnected, &context,
                     [&connects] { ++connects; });
    recordSetsOf(*frame);

    // Too few settings lines: the reader refuses the whole file.
    std::string bytes = readAll(path);
    bytes = replaced(bytes, "SystemDelay=0\r\n", "SystemDelay=12\r\n");
    bytes.resize(bytes.size() / 2);
    writeAll(path, bytes);
    EXPECT_EQ(run({"settings", "apply", kFrame, path.toStdString(), "--json"}), kExitUsage);
    EXPECT_NE(err.find("nothing was sent"), std::string::npos) << err;
    EXPECT_EQ(json()["exit"].toInt(), kExitUsage) << out;

    // A FIFO without a writer is refused at once instead of waiting for ever.
    const QString fifo = dir.filePath(QStringLiteral("pipe.cfg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(run({"settings", "apply", kFrame, fifo.toStdString()}), kExitUsage);
    EXPECT_NE(err.find("FIFO"), std::string::npos) << err;

    // Nor can a folder be saved to.
    EXPECT_EQ(run({"settings", "save", kFrame, dir.path().toStdString()}), kExitUsage);

    EXPECT_EQ(connects, 0);
    EXPECT_TRUE(sets->empty());
    EXPECT_EQ(value(*frame, CommandId::gsystemdelay), 0);
}

} // namespace
} // namespace velmar
