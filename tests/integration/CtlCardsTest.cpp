// velmarctl's cards command against simulated frames, run in this process so
// the frames and the command share one event loop.

#include "CtlSupport.h"
#include "IntegrationSupport.h"
#include "ctl/CCtlRunner.h"
#include "engine/CQtTimerHost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using framesim::FrameProfile;

constexpr const char* kFrame = "127.0.0.2";

class CtlCards : public test::CtlInProcess {
protected:
    // The type text the frame now reports for a card slot.
    static std::string typeOf(const CSimulatedFrame& frame, int slot) {
        DeviceMessage address;
        address.setI(1, kModuleFirstCard + slot - 1);
        return std::string(
            frame.model().current(CommandId::ghwconf, address).text(fields::kHwConfFirst));
    }

    void recordBoardWrites(CSimulatedFrame& frame) {
        QObject::connect(&frame, &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.contains(QStringLiteral("sboardinfo")))
                                 writes.push_back(line.toStdString());
                         });
    }

    QObject context;
    std::vector<std::string> writes;
};

TEST_F(CtlCards, ListsTheModulesAndEachCardsSettingsInTextAndJson) {
    auto frame = test::startFrame("460", kFrame);
    ASSERT_EQ(run({"cards", kFrame}), kExitOk) << err;
    EXPECT_NE(out.find("Module       Type and version  Serial number  SW versions\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Card slot 2  460130A   230115  4601302303012"), std::string::npos) << out;
    EXPECT_NE(out.find("Card slot 8  not fitted\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Card slot 2: 460130A    AD converter\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  Channel  Parameter "), std::string::npos) << out;
    EXPECT_NE(out.find("\n  1        Mode "), std::string::npos) << out;
    EXPECT_NE(out.find("Card slot 7: 460610A    EQ\n  no settings\n"), std::string::npos) << out;

    ASSERT_EQ(run({"cards", kFrame, "--json"}), kExitOk) << err;
    const QJsonObject o = json();
    const QJsonArray modules = o["modules"].toArray();
    ASSERT_EQ(modules.size(), 14) << out;
    EXPECT_EQ(modules[0].toObject()["module"].toString(), QStringLiteral("Main board"));
    EXPECT_EQ(modules[0].toObject()["swVersions"].toString(), QStringLiteral("APP: 2.1.0.5"));
    const QJsonObject slot8 = modules[9].toObject();
    EXPECT_EQ(slot8["module"].toString(), QStringLiteral("Card slot 8"));
    EXPECT_FALSE(slot8["fitted"].toBool());
    EXPECT_TRUE(slot8["reported"].toBool());
    EXPECT_TRUE(slot8["typeAndVersion"].isNull());

    const QJsonArray cards = o["cards"].toArray();
    ASSERT_EQ(cards.size(), 7) << out;
    const QJsonObject ad = cards[1].toObject();
    EXPECT_EQ(ad["slot"].toInt(), 2);
    EXPECT_EQ(ad["description"].toString(), QStringLiteral("AD converter"));
    const QJsonArray parameters = ad["parameters"].toArray();
    ASSERT_EQ(parameters.size(), 48) << "six rows for each of eight channels";
    EXPECT_EQ(parameters[0].toObject()["parameter"].toString(), QStringLiteral("Mode"));
    EXPECT_EQ(parameters[0].toObject()["value"].toString(), QStringLiteral("line"));
}

TEST_F(CtlCards, DryRunPrintsTheRequestsAndChangesNothing) {
    auto frame = test::startFrame("460", kFrame);
    recordBoardWrites(*frame);
    ASSERT_EQ(run({"cards", kFrame, "--make", "x", "--dry-run"}), kExitOk) << err;
    EXPECT_NE(out.find("&sboardinfo,2,1,'460130A X 230115','4601302303012','000000',0\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("7 requests would be sent; nothing was sent"), std::string::npos) << out;

    ASSERT_EQ(run({"cards", kFrame, "--make", "x", "--dry-run", "--json"}), kExitOk) << err;
    const QJsonArray changes = json()["changes"].toArray();
    ASSERT_EQ(changes.size(), 7) << out;
    EXPECT_EQ(changes[0].toObject()["to"].toString(), QStringLiteral("460210A X 230115"));
    EXPECT_FALSE(changes[0].toObject().contains(QStringLiteral("result")));
    EXPECT_TRUE(writes.empty()) << writes.front();
    EXPECT_EQ(typeOf(*frame, 1), "460210A   230115");
}

TEST_F(CtlCards, MakeRewritesEveryCardAndASecondRunHasNothingToChange) {
    auto frame = test::startFrame("460", kFrame);
    recordBoardWrites(*frame);
    ASSERT_EQ(run({"cards", kFrame, "--make", "x"}), kExitOk) << err;
    EXPECT_NE(out.find("slot 2: '460130A   230115' -> '460130A X 230115': confirmed\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("7 confirmed, 0 refused, 0 unanswered"), std::string::npos) << out;
    EXPECT_EQ(writes.size(), 7U);
    for (int slot = 1; slot <= 7; ++slot)
        EXPECT_EQ(typeOf(*frame, slot).substr(6, 4), "A X ") << slot;
    EXPECT_EQ(typeOf(*frame, 8), "");

    writes.clear();
    ASSERT_EQ(run({"cards", kFrame, "--make", "X"}), kExitOk) << err;
    EXPECT_EQ(out, "nothing to change: every fitted card is of X type already\n");
    EXPECT_TRUE(writes.empty());

    ASSERT_EQ(run({"cards", kFrame, "--make", "brix", "--json"}), kExitOk) << err;
    EXPECT_EQ(json()["confirmed"].toInt(), 7) << out;
    EXPECT_EQ(typeOf(*frame, 3), "460230A   230115");
}

TEST_F(CtlCards, RefusedOrUnansweredChangesExitWithOne) {
    auto frame = test::startFrame(
        "460", kFrame, [](FrameProfile& p) { p.faults.refused[CommandId::sboardinfo] = 4; });
    EXPECT_EQ(run({"cards", kFrame, "--make", "x", "--json"}), kExitFrame);
    const QJsonObject o = json();
    EXPECT_EQ(o["refused"].toInt(), 7) << out;
    EXPECT_EQ(o["changes"].toArray()[0].toObject()["status"].toInt(), 4) << out;
    EXPECT_NE(err.find("refused 7 of 7 card changes"), std::string::npos) << err;
    EXPECT_EQ(typeOf(*frame, 2), "460130A   230115");

    frame.reset();
    frame = test::startFrame(
        "460", kFrame, [](FrameProfile& p) { p.faults.unanswered.insert(CommandId::sboardinfo); });
    EXPECT_EQ(run({"cards", kFrame, "--make", "x", "--timeout", "500"}), kExitFrame);
    EXPECT_NE(out.find("0 confirmed, 0 refused, 7 unanswered"), std::string::npos) << out;
    EXPECT_NE(err.find("7 cards were not answered within 500 ms"), std::string::npos) << err;
}

TEST_F(CtlCards, ACardWhoseTypeCannotHoldTheLetterIsLeftAloneAndNamed) {
    auto frame = test::startFrame("460", kFrame, [](FrameProfile& p) {
        p.modules[framesim::kFirstSlotModule + 1].boardText = "460130A";
    });
    EXPECT_EQ(run({"cards", kFrame, "--make", "x", "--json"}), kExitFrame);
    const QJsonObject o = json();
    EXPECT_EQ(o["confirmed"].toInt(), 6) << out;
    ASSERT_EQ(o["leftAlone"].toArray().size(), 1) << out;
    EXPECT_EQ(o["leftAlone"].toArray()[0].toObject()["slot"].toInt(), 2);
    EXPECT_NE(err.find("slot 2 ('460130A') was left alone: its type text is too short"),
              std::string::npos)
        << err;
    EXPECT_EQ(typeOf(*frame, 2), "460130A");
    EXPECT_EQ(typeOf(*frame, 3), "460230A X 230115");
}

TEST_F(CtlCards, AFrameWithoutCardSlotsOffersNoMakeChange) {
    auto frame = test::startFrame("461", kFrame);
    recordBoardWrites(*frame);
    EXPECT_EQ(run({"cards", kFrame, "--make", "x"}), kExitFrame);
    EXPECT_NE(err.find("offers no card make change"), std::string::npos) << err;
    EXPECT_TRUE(writes.empty());
    // Its modules are still listed, without card slot rows.
    ASSERT_EQ(run({"cards", kFrame}), kExitOk) << err;
    EXPECT_EQ(out.find("Card slot"), std::string::npos) << out;
    EXPECT_NE(out.find("Main board"), std::string::npos) << out;
}

} // namespace
} // namespace velmar
