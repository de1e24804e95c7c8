// The HW configuration dialog opened from the main window on a simulated
// frame: the cards it changes are rewritten on the frame, and the list shows
// what the frame then reports.

#include "WindowSupport.h"
#include "controls/CListCtrlEx.h"
#include "settings/CHWConfDlg.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

class HwConfWindow : public test::WindowProfileTest {
protected:
    void SetUp() override {
        WindowProfileTest::SetUp();
        frame = test::startFrame("460", kFrame);
        ASSERT_TRUE(frame);
        QObject::connect(frame.get(), &CSimulatedFrame::lineReceived, &context,
                         [this](const QString& line) {
                             if (line.contains(QStringLiteral("sboardinfo")))
                                 writes.push_back(line.toStdString());
                         });
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(test::connectToFirstRow(*window));
    }

    // Opens the dialog from the window and runs `script` on it once it shows.
    void withDialog(const std::function<void(CHWConfDlg&)>& script) {
        bool ran = false;
        QTimer::singleShot(0, &context, [&] {
            auto* dialog = qobject_cast<CHWConfDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ran = true;
            EXPECT_EQ(window->engine().dialogs().hwConfiguration, dialog);
            script(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        window->openDialog(devcmd::kHwConfiguration);
        EXPECT_TRUE(ran);
        EXPECT_EQ(window->engine().dialogs().hwConfiguration, nullptr);
    }

    static QString cell(CHWConfDlg& d, const QString& module, int column) {
        auto* list = d.findChild<CListCtrlEx*>(QStringLiteral("hwConfiguration"));
        for (int row = 0; list && row < list->rowCount(); ++row)
            if (list->text(row, 0) == module)
                return list->text(row, column);
        return QStringLiteral("(no row)");
    }

    std::string frameType(int slot) const {
        DeviceMessage address;
        address.setI(1, kModuleFirstCard + slot - 1);
        return std::string(
            frame->model().current(CommandId::ghwconf, address).text(fields::kHwConfFirst));
    }

    QObject context;
    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
    std::vector<std::string> writes;
};

TEST_F(HwConfWindow, ChangeToXRewritesTheCardsAndTheListShowsTheFramesAnswer) {
    test::MessageBoxAnswerer boxes;
    withDialog([&](CHWConfDlg& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("HW configuration"));
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 2"), 1), QStringLiteral("460130A   230115"));
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 2"), 2), QStringLiteral("4601302303012"));
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 8"), 1), QString());
        auto* toX = d.findChild<QPushButton*>(QStringLiteral("changeToX"));
        ASSERT_TRUE(toX && toX->isEnabled());
        toX->click();
        ASSERT_TRUE(waitUntil([&] { return writes.size() == 7; }));
        ASSERT_TRUE(waitUntil([&] {
            return window->engine().state().settings.hwConf[15].boardCode.view() ==
                   "460610A X 230115";
        }));
        auto* notice = d.findChild<QLabel*>(QStringLiteral("hwNotice"));
        ASSERT_TRUE(waitUntil([&] { return notice->text().contains(QStringLiteral("confirmed")); }))
            << notice->text().toStdString();
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 2"), 1), QStringLiteral("460130A X 230115"));
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 2"), 2), QStringLiteral("4601302303012"));
    });
    EXPECT_EQ(boxes.texts, QStringList{QStringLiteral("Change cards to X type")});
    EXPECT_EQ(boxes.titles, QStringList{QStringLiteral("HW configuration")});
    for (int slot = 1; slot <= 7; ++slot)
        EXPECT_EQ(frameType(slot).substr(6, 4), "A X ") << slot;
    EXPECT_EQ(writes.front(), "&sboardinfo,2,0,'460210A X 230115','4602102303011','000000',0");
}

TEST_F(HwConfWindow, NoChangesNothingAndARefusalShowsTheOldType) {
    test::MessageBoxAnswerer boxes;
    boxes.setAnswer(QMessageBox::No);
    withDialog([&](CHWConfDlg& d) {
        d.findChild<QPushButton*>(QStringLiteral("changeToX"))->click();
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 1"), 1), QStringLiteral("460210A   230115"));
    });
    EXPECT_EQ(boxes.texts.size(), 1);

    frame->faults().refused[CommandId::sboardinfo] = 3;
    boxes.setAnswer(QMessageBox::Yes);
    withDialog([&](CHWConfDlg& d) {
        d.findChild<QPushButton*>(QStringLiteral("changeToX"))->click();
        auto* notice = d.findChild<QLabel*>(QStringLiteral("hwNotice"));
        ASSERT_TRUE(waitUntil([&] { return notice->text().contains(QStringLiteral("refused")); }))
            << notice->text().toStdString();
        ASSERT_TRUE(waitUntil([&] { return !notice->text().contains(QStringLiteral("Waiting")); }));
        EXPECT_EQ(cell(d, QStringLiteral("Card slot 1"), 1), QStringLiteral("460210A   230115"));
    });
    EXPECT_EQ(writes.size(), 7U);
    EXPECT_EQ(frameType(1), "460210A   230115");
}

} // namespace
} // namespace velmar
