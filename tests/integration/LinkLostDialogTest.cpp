// Dialogs open when a frame's link ends: they stay open with what was typed,
// a line at the top says which frame went and why, and what would send is
// disabled; a modeless one is back to normal on the next link.

#include "WindowSupport.h"
#include "controls/CListCtrlEx.h"
#include "controls/LinkLostBanner.h"
#include "window/DeviceMenu.h"
#include "panel/C450DornDlg.h"
#include "panel/CInpStDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace velmar {
namespace {

using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

class NoQuestions final : public IQuestions {
public:
    bool askYesNo(std::string_view, std::string_view) override { return false; }
};

class LinkLostDialog : public test::WindowProfileTest {
protected:
    void open(std::string_view preset) {
        frame = test::startFrame(preset, kFrame);
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        ASSERT_TRUE(waitUntil([&] { return !window->deviceList().rows().empty(); }));
        window->connectToRow(0);
        ASSERT_TRUE(waitUntil([&] {
            return window->engine().state().connected &&
                   window->engine().state().family == (preset == "450" ? kFamily450 : kFamily460);
        }));
    }
    // Runs `inside` once the modal dialog it opens is up, then lets it end.
    static void whileModal(const std::function<void(QDialog&)>& inside) {
        QTimer::singleShot(0, [inside] {
            ASSERT_TRUE(waitUntil([] { return QApplication::activeModalWidget() != nullptr; }));
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            inside(*dialog);
            dialog->reject();
        });
    }
    void loseTheLink() {
        frame->dropClients();
        ASSERT_TRUE(waitUntil([&] { return !window->engine().state().connected; }));
    }
    static QString lineText(const QDialog& dialog) {
        auto* line = qobject_cast<QLabel*>(linkLostLine(&dialog));
        return line ? line->text() : QString();
    }
    template <class W>
    static bool enabled(QDialog& dialog, const char* name) {
        auto* w = dialog.findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w != nullptr && w->isEnabled();
    }

    std::unique_ptr<framesim::CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
};

TEST_F(LinkLostDialog, ModalDialogKeepsItsEditsSaysSoAndStopsSending) {
    open("450");
    bool ran = false;
    whileModal([&](QDialog& dialog) {
        auto* mode = dialog.findChild<QLineEdit*>(QStringLiteral("keyMode"));
        auto* keys = dialog.findChild<CListCtrlEx*>(QStringLiteral("keyList"));
        ASSERT_TRUE(mode && keys);
        // A key chosen and the unit's answers in, then the operator types.
        ASSERT_TRUE(waitUntil([&] { return keys->text(11, 2) == QStringLiteral("112"); }));
        keys->setCurrentIndex(keys->model()->index(2, 0));
        QApplication::processEvents();
        mode->setText(QStringLiteral("3"));
        EXPECT_EQ(linkLostLine(&dialog), nullptr);
        EXPECT_TRUE((enabled<QPushButton>(dialog, "setKeyMode")));

        loseTheLink();
        ASSERT_TRUE(waitUntil([&] { return linkLostLine(&dialog) != nullptr; }));
        EXPECT_TRUE(linkLostLine(&dialog)->isVisible());
        EXPECT_LT(linkLostLine(&dialog)->geometry().top(), mode->mapTo(&dialog, QPoint()).y())
            << "at the top";
        EXPECT_TRUE(lineText(dialog).startsWith(QStringLiteral("The link to ")));
        EXPECT_TRUE(lineText(dialog).contains(QLatin1String(kFrame)));
        EXPECT_TRUE(lineText(dialog).contains(QStringLiteral("was lost")));
        EXPECT_EQ(mode->text(), QStringLiteral("3")) << "the edit is kept";
        EXPECT_TRUE(mode->isEnabled());
        for (const char* sends :
             {"setKeyMode", "setKeyState", "setLedIntensity", "clearLeds", "identify"})
            EXPECT_FALSE(enabled<QPushButton>(dialog, sends)) << sends;
        EXPECT_FALSE((enabled<QCheckBox>(dialog, "master"))) << "marked as sending";
        EXPECT_TRUE((enabled<QPushButton>(dialog, "close")));
        ran = true;
    });
    NoQuestions questions;
    runPanelUnitDialog(window->engine(), questions, window.get());
    EXPECT_TRUE(ran);
}

TEST_F(LinkLostDialog, ButtonBoxKeepsCancelAndUnrelatedDialogsAreLeftAlone) {
    open("460");
    bool ran = false;
    whileModal([&](QDialog& dialog) {
        auto* box = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        loseTheLink();
        ASSERT_TRUE(waitUntil([&] { return linkLostLine(&dialog) != nullptr; }));
        EXPECT_FALSE(box->button(QDialogButtonBox::Ok)->isEnabled());
        EXPECT_TRUE(box->button(QDialogButtonBox::Cancel)->isEnabled());
        ran = true;
    });
    window->openDialog(devcmd::kIdSettings);
    EXPECT_TRUE(ran);

    // Adding an address needs no link: a link ending meanwhile leaves it be.
    window->connectToRow(0);
    ASSERT_TRUE(waitUntil([&] { return window->engine().state().connected; }));
    ran = false;
    whileModal([&](QDialog& dialog) {
        loseTheLink();
        EXPECT_EQ(linkLostLine(&dialog), nullptr);
        auto* box = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->button(QDialogButtonBox::Ok)->isEnabled());
        ran = true;
    });
    window->addDevice();
    EXPECT_TRUE(ran);
}

TEST_F(LinkLostDialog, InputStatusStaysOneInstanceAcrossLinks) {
    open("460");
    showInputStatusDialog(window->engine(), window.get());
    auto* dialog = window->findChild<CInpStDlg*>(QLatin1String(CInpStDlg::kObjectName));
    ASSERT_NE(dialog, nullptr);
    auto* close = dialog->findChild<QPushButton*>(QStringLiteral("close"));
    ASSERT_NE(close, nullptr);

    loseTheLink();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(window->findChild<CInpStDlg*>(QLatin1String(CInpStDlg::kObjectName)), dialog)
        << "kept, not deleted with the link";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(window->engine().dialogs().signalInputStatus, dialog);
    EXPECT_TRUE(lineText(*dialog).contains(QStringLiteral("was lost")));
    EXPECT_TRUE(close->isEnabled());

    // The next link: the line goes, and the lists show the new link's answers.
    window->connectToRow(0);
    ASSERT_TRUE(waitUntil([&] { return window->engine().settingsEnabled(); }));
    EXPECT_EQ(linkLostLine(dialog), nullptr);
    EXPECT_EQ(window->findChildren<CInpStDlg*>().size(), 1);
    frame->setInputStatus(3, QStringLiteral("ESa"));
    auto* mainList = dialog->findChild<CListCtrlEx*>(QStringLiteral("mainInputs"));
    ASSERT_NE(mainList, nullptr);
    EXPECT_TRUE(waitUntil([&] { return mainList->text(2, 3) == QStringLiteral("no"); }));

    // Closed by the operator, it is hidden: a link ending then puts no line on it.
    dialog->close();
    loseTheLink();
    EXPECT_EQ(linkLostLine(dialog), nullptr);
}

} // namespace
} // namespace velmar
