// velmarctl health against five simulated frames checked at once: one healthy
// pair, one with a failed PSU, one whose sync is lost, one that is not there.

#include "CtlSupport.h"
#include "IntegrationSupport.h"

#include <QJsonArray>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velmar {
namespace {

using framesim::FrameProfile;
using ::testing::HasSubstr;

class CtlHealth : public test::CtlInProcess {};

TEST_F(CtlHealth, VerdictsAndExitStatusOverFiveFrames) {
    auto a = test::startFrame("460", "127.0.0.2");
    auto b = test::startFrame("460", "127.0.0.3", [](FrameProfile& p) { p.psuStatus[2] = 1; });
    auto c = test::startFrame("460", "127.0.0.4");
    auto d = test::startFrame("460", "127.0.0.5", [](FrameProfile& p) { p.syncState = 1; });
    // 127.0.0.6 has no frame at all.

    ASSERT_EQ(run({"health", "--json", "--timeout", "1500", "127.0.0.2", "127.0.0.3", "127.0.0.4",
                   "127.0.0.5", "127.0.0.6"}),
              kExitUnreachable)
        << err;
    const QJsonObject doc = json();
    const QJsonArray frames = doc["frames"].toArray();
    ASSERT_EQ(frames.size(), 5);
    const auto verdict = [&](int k) { return frames[k].toObject()["verdict"].toString(); };
    EXPECT_EQ(verdict(0), "healthy") << out;
    EXPECT_EQ(verdict(1), "alarm");
    EXPECT_EQ(frames[1].toObject()["problems"].toArray()[0].toString(), "PSU 2 faulty");
    EXPECT_EQ(verdict(2), "healthy");
    EXPECT_EQ(verdict(3), "alarm");
    EXPECT_EQ(verdict(4), "unreachable");
    EXPECT_EQ(frames[4].toObject()["address"].toString(), "127.0.0.6");
    EXPECT_EQ(doc["verdict"].toString(), "unreachable");
    EXPECT_EQ(frames[0].toObject()["sync"].toObject()["locked"].toBool(), true);

    // Without the missing frame the worst is the alarm: exit 1; text lines.
    ASSERT_EQ(run({"health", "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"}), kExitFrame)
        << err;
    EXPECT_THAT(out, HasSubstr("127.0.0.3  Alarm  "));
    EXPECT_THAT(out, HasSubstr("-- PSU 2 faulty"));
    EXPECT_THAT(out, HasSubstr("127.0.0.2  OK  "));

    // Healthy frames alone: exit 0. --all finds them by the search.
    b.reset();
    d.reset();
    EXPECT_EQ(run({"health", "--all", "--wait", "500"}), kExitOk) << err << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

TEST_F(CtlHealth, PanelsAndRecoveryModeAreJudgedByWhatTheyReport) {
    auto panel = test::startFrame("450", "127.0.0.2");
    auto frame465 = test::startFrame("465", "127.0.0.3");
    auto recovery = test::startFrame("460", "127.0.0.4", [](FrameProfile& p) { p.runMode = 0; });
    ASSERT_TRUE(panel && frame465 && recovery);
    // Recovery mode is a warning: exit 1, the same as the manual's warnings.
    ASSERT_EQ(run({"health", "--all", "--wait", "500"}), kExitFrame) << err << out;
    EXPECT_THAT(out, HasSubstr("127.0.0.2  OK  "));
    EXPECT_THAT(out, HasSubstr("127.0.0.3  OK  "));
    EXPECT_THAT(out, HasSubstr("127.0.0.4  Recovery mode  "));
    EXPECT_THAT(out, HasSubstr("-- in recovery mode"));
    EXPECT_THAT(out, ::testing::Not(HasSubstr("not reported"))) << "nothing asked is missing";
    recovery.reset();
    EXPECT_EQ(run({"health", "--all", "--wait", "500"}), kExitOk) << err << out;
}

TEST_F(CtlHealth, UsageMistakes) {
    EXPECT_EQ(run({"health"}), kExitUsage);
    EXPECT_THAT(err, HasSubstr("--all or at least one HOST"));
    EXPECT_EQ(run({"health", "--all", "127.0.0.2"}), kExitUsage);
    EXPECT_EQ(run({"status", "--all", "127.0.0.2"}), kExitUsage);
    EXPECT_EQ(run({"health", "127.0.0.2", "--log", "x"}), kExitUsage);
}

} // namespace
} // namespace velmar
