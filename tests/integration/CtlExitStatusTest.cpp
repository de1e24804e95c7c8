// velmarctl's documented exit statuses, command family by command family: the
// cases the other velmarctl tests leave out, as one table. 0 success, 1 the
// frame refused or did not answer, 2 a usage error (nothing is sent), 3 the
// frame is not reachable.

#include "CtlSupport.h"
#include "IntegrationSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmar {
namespace {

using framesim::FrameProfile;

constexpr const char* kFrame = "127.0.0.2";
constexpr const char* kNobody = "127.0.0.9";

enum class Frame { None, Running };

struct Row {
    std::vector<std::string> args; // "@" stands for a file in a scratch folder
    Frame frame;
    void (*tweak)(FrameProfile&);
    int exit;
};

// clang-format off
const std::vector<Row>& rows() {
    static const std::vector<Row> kRows = {
        // 3: nothing answers at the address (the type is given, so no search first)
        {{"routes", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"unroute", kNobody, "5"}, Frame::None, nullptr, kExitUnreachable},
        {{"xpt", "save", kNobody, "@"}, Frame::None, nullptr, kExitUnreachable},
        {{"settings", "show", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"settings", "save", kNobody, "@"}, Frame::None, nullptr, kExitUnreachable},
        {{"cards", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"labels", "export", kNobody, "@"}, Frame::None, nullptr, kExitUnreachable},
        {{"labels", "set", kNobody, "1", "--input", "Vox"}, Frame::None, nullptr, kExitUnreachable},
        {{"gains", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"levels", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"flows", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"flow", "delete", kNobody, "tx", "1"}, Frame::None, nullptr, kExitUnreachable},
        {{"dante", "routes", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"dante", "unroute", kNobody, "1"}, Frame::None, nullptr, kExitUnreachable},
        {{"ppm", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"ppm", "remove", kNobody, "3"}, Frame::None, nullptr, kExitUnreachable},
        {{"set-id", kNobody, "5", "Stage"}, Frame::None, nullptr, kExitUnreachable},
        {{"set-ip", kNobody, "--dhcp"}, Frame::None, nullptr, kExitUnreachable},
        {{"uptime", kNobody}, Frame::None, nullptr, kExitUnreachable},
        {{"dump", kNobody, "@"}, Frame::None, nullptr, kExitUnreachable},
        {{"send", kNobody, "?gcross,5"}, Frame::None, nullptr, kExitUnreachable},
        // 1: the frame refuses or does not answer
        {{"unroute", kFrame, "5"}, Frame::Running, [](FrameProfile& p) { p.faults.refused[CommandId::scross] = 2; }, kExitFrame},
        {{"xpt", "save", kFrame, "@"}, Frame::Running, [](FrameProfile& p) { p.faults.refused[CommandId::lcross] = 2; }, kExitFrame},
        {{"routes", kFrame}, Frame::Running, [](FrameProfile& p) { p.faults.refused[CommandId::lcross] = 2; }, kExitFrame},
        {{"flows", kFrame}, Frame::Running, [](FrameProfile& p) { p.faults.refused[CommandId::gcrtxflow] = 2; }, kExitFrame},
        {{"dante", "routes", kFrame}, Frame::Running, [](FrameProfile& p) { p.faults.refused[CommandId::gcrossip] = 2; }, kExitFrame},
        {{"ppm", kFrame}, Frame::Running, [](FrameProfile& p) { p.faults.unanswered.insert(CommandId::lppmid); }, kExitFrame},
        {{"health", kFrame}, Frame::Running, [](FrameProfile& p) { p.faults.unanswered.insert(CommandId::gpsustatus); }, kExitFrame},
        {{"health", kFrame}, Frame::Running, [](FrameProfile& p) { p.sampleRate = 99; }, kExitFrame},
        // 2: usage; nothing is sent
        {{"routes", "0.0.0.0"}, Frame::Running, nullptr, kExitUsage},
        {{"gains", "255.255.255.255"}, Frame::Running, nullptr, kExitUsage},
        {{"levels", "224.0.0.1"}, Frame::Running, nullptr, kExitUsage},
        {{"status", kFrame, "--type", "999"}, Frame::Running, nullptr, kExitUsage},
        {{"unroute", kFrame, "0"}, Frame::Running, nullptr, kExitUsage},
        {{"flows"}, Frame::Running, nullptr, kExitUsage},
        {{"dante", "routes"}, Frame::Running, nullptr, kExitUsage},
        {{"ppm"}, Frame::Running, nullptr, kExitUsage},
        {{"ppm", "remove", kFrame}, Frame::Running, nullptr, kExitUsage},
        {{"set-id", kFrame, "100", "Stage"}, Frame::Running, nullptr, kExitUsage},
        {{"set-ip", kFrame, "1.2.3"}, Frame::Running, nullptr, kExitUsage},
        {{"uptime"}, Frame::Running, nullptr, kExitUsage},
        {{"inputs"}, Frame::Running, nullptr, kExitUsage},
        {{"watch"}, Frame::Running, nullptr, kExitUsage},
        {{"cards", kFrame, "--make", "z"}, Frame::Running, nullptr, kExitUsage},
        {{"discover", "--wait", "soon"}, Frame::Running, nullptr, kExitUsage},
        {{"labels", "export", kFrame}, Frame::Running, nullptr, kExitUsage},
        {{"settings", "show"}, Frame::Running, nullptr, kExitUsage},
        {{"dump", kFrame}, Frame::Running, nullptr, kExitUsage},
    };
    return kRows;
}
// clang-format on

class CtlExitStatus : public test::CtlInProcess {};

TEST_F(CtlExitStatus, EveryFamilyReachesItsDocumentedStatuses) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    int k = 0;
    for (const Row& row : rows()) {
        std::vector<std::string> args = row.args;
        std::vector<QString> files;
        for (std::string& a : args)
            if (a == "@") {
                files.push_back(folder.filePath(QString::number(++k)));
                a = files.back().toStdString();
            }
        if (row.frame == Frame::None || args[0] != "discover") {
            args.insert(args.end(), {"--timeout", "800"});
            if (row.frame == Frame::None)
                args.insert(args.end(), {"--type", "460"});
        }
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        SCOPED_TRACE(line);
        std::unique_ptr<framesim::CSimulatedFrame> frame;
        if (row.frame == Frame::Running) {
            frame = test::startFrame("460", kFrame, [&](FrameProfile& p) {
                if (row.tweak != nullptr)
                    row.tweak(p);
            });
        }
        const std::vector<std::string_view> views(args.begin(), args.end());
        EXPECT_EQ(run(views), row.exit) << err << out;
        if (row.exit != kExitOk) {
            // An error says why; a health verdict says it on standard output.
            EXPECT_FALSE(err.empty() && out.empty()) << "an error says why";
            for (const QString& file : files)
                EXPECT_FALSE(QFile::exists(file)) << "a failed command writes no file";
        }
    }
}

} // namespace
} // namespace velmar
