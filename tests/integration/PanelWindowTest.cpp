// The input status view and the control panel settings opened from the main
// window on simulated frames: what the frame announces shows at once, and
// what the operator sets reaches the frame and comes back.

#include "WindowSupport.h"
#include "controls/CListCtrlEx.h"
#include "panel/C450DornDlg.h"
#include "panel/CInpStDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace velmar {
namespace {

using framesim::CSimulatedFrame;
using test::waitUntil;

constexpr const char* kFrame = "127.0.0.2";

class PanelWindow : public test::WindowProfileTest {
protected:
    void open(std::string_view preset) {
        frame = test::startFrame(preset, kFrame);
        ASSERT_TRUE(frame);
        window = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        if (preset != "450") {
            ASSERT_TRUE(test::connectToFirstRow(*window));
            return;
        }
        // A control panel has no settings to enable: it is read once its model is in.
        ASSERT_TRUE(waitUntil([&] { return !window->deviceList().rows().empty(); }));
        window->connectToRow(0);
        ASSERT_TRUE(waitUntil([&] {
            return window->engine().state().connected &&
                   window->engine().state().family == kFamily450;
        }));
    }
    CInpStDlg* inputStatus() const {
        return window->findChild<CInpStDlg*>(QLatin1String(CInpStDlg::kObjectName));
    }
    static QString cell(QWidget& dialog, const char* list, int row, int column) {
        auto* l = dialog.findChild<CListCtrlEx*>(QLatin1String(list));
        if (l == nullptr || row >= l->rowCount())
            return QStringLiteral("(no row)");
        return l->text(row, column);
    }
    static QStringList row(QWidget& dialog, const char* list, int r, int columns) {
        QStringList out;
        for (int c = 0; c < columns; ++c)
            out << cell(dialog, list, r, c);
        return out;
    }

    std::unique_ptr<CSimulatedFrame> frame;
    std::unique_ptr<CZarvoDlg> window;
};

TEST_F(PanelWindow, AnnouncedInputStatusChangesTheOpenDialogsRow) {
    open("460");
    showInputStatusDialog(window->engine(), window.get());
    CInpStDlg* dialog = inputStatus();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window keeps working";
    EXPECT_EQ(window->engine().dialogs().signalInputStatus, dialog);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Signal input status"));
    EXPECT_EQ(row(*dialog, "mainInputs", 2, 4), (QStringList{"AES 3", "", "", "yes"}));

    frame->setInputStatus(3, QStringLiteral("ESa"));
    ASSERT_TRUE(waitUntil([&] { return cell(*dialog, "mainInputs", 2, 3) == "no"; }));
    EXPECT_EQ(row(*dialog, "mainInputs", 2, 4), (QStringList{"AES 3", "error", "error", "no"}));
    EXPECT_EQ(row(*dialog, "mainInputs", 3, 4), (QStringList{"AES 4", "", "", "yes"}));

    // The SDI card in slot 1 is first in the card list; the frame's turn
    // reaches its first port after the 14 main-board inputs.
    EXPECT_EQ(row(*dialog, "cardInputs", 0, 4),
              (QStringList{"Slot 1 - 1", "no", "invalid", "23.98 Hz"}));
    for (int k = 0; k < 15; ++k)
        frame->announceInputChange();
    ASSERT_TRUE(waitUntil([&] { return cell(*dialog, "cardInputs", 0, 1) == "yes"; }));
    EXPECT_EQ(row(*dialog, "cardInputs", 0, 4),
              (QStringList{"Slot 1 - 1", "yes", "HD SDI", "25 Hz"}));
    EXPECT_EQ(cell(*dialog, "cardInputs", 1, 1), "no");
}

TEST_F(PanelWindow, InputStatusKindsOneInstanceAndTheLinksEnd) {
    open("460");
    showInputStatusDialog(window->engine(), window.get());
    CInpStDlg* dialog = inputStatus();
    ASSERT_NE(dialog, nullptr);

    auto* madi = dialog->findChild<QRadioButton*>(QStringLiteral("kindMadi"));
    ASSERT_NE(madi, nullptr);
    madi->click();
    auto* cards = dialog->findChild<CListCtrlEx*>(QStringLiteral("cardInputs"));
    ASSERT_NE(cards, nullptr);
    EXPECT_EQ(cards->model()->columnCount(), 4);
    EXPECT_EQ(cards->model()->headerData(1, Qt::Horizontal).toString(), "Signal error");
    EXPECT_EQ(cards->rowCount(), 2);
    EXPECT_EQ(cell(*dialog, "cardInputs", 1, 0), "Slot 5 - 2");
    dialog->findChild<QRadioButton*>(QStringLiteral("kindAd"))->click();
    EXPECT_EQ(dialog->findChild<CListCtrlEx*>(QStringLiteral("cardInputs"))->rowCount(), 8 + 2);

    dialog->close(); // hidden; the next command shows the same dialog, refreshed
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(inputStatus(), dialog);
    EXPECT_FALSE(dialog->isVisible());
    frame->setInputStatus(2, QStringLiteral("E-A"));
    ASSERT_TRUE(waitUntil([&] { return cell(*dialog, "mainInputs", 1, 1) == "error"; }))
        << "kept current while hidden";
    showInputStatusDialog(window->engine(), window.get());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(inputStatus(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(window->findChildren<CInpStDlg*>().size(), 1);

    // One instance for the window's life: the link's end does not delete it.
    window->closeConnection();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(inputStatus(), dialog);
    EXPECT_EQ(window->engine().dialogs().signalInputStatus, dialog);
    window.reset(); // the window takes it along
}

TEST_F(PanelWindow, AFrameOfAnotherFamilyShowsOnlyTheMainBoard) {
    open("461");
    showInputStatusDialog(window->engine(), window.get());
    CInpStDlg* dialog = inputStatus();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<CListCtrlEx*>(QStringLiteral("mainInputs"))->rowCount(), 14);
    auto* cards = dialog->findChild<CListCtrlEx*>(QStringLiteral("cardInputs"));
    EXPECT_EQ(cards->rowCount(), 0);
    EXPECT_FALSE(cards->isEnabled());
    EXPECT_FALSE(dialog->findChild<QRadioButton*>(QStringLiteral("kindSdi"))->isEnabled());
}

class NoQuestions final : public IQuestions {
public:
    bool askYesNo(std::string_view, std::string_view) override { return false; }
};

TEST_F(PanelWindow, PanelSettingsReachTheUnitAndShowItsAnswer) {
    open("450");
    NoQuestions questions;
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* d = qobject_cast<C450DornDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        ran = true;
        EXPECT_EQ(d->windowTitle(), QStringLiteral("450 DORN settings"));
        // The lists fill from the unit's answers.
        EXPECT_TRUE(waitUntil([&] { return cell(*d, "keyList", 5, 2) == "106"; }));
        EXPECT_EQ(row(*d, "keyList", 3, 5), (QStringList{"4", "4", "104", "0", "on"}));
        EXPECT_EQ(row(*d, "keyList", 11, 5), (QStringList{"12", "4", "112", "0", "---"}));
        EXPECT_TRUE(waitUntil([&] { return cell(*d, "ringList", 0, 1) == "3"; }));
        EXPECT_TRUE(waitUntil([&] {
            return d->findChild<QLineEdit*>(QStringLiteral("rotaryCount"))->text() == "42";
        }));
        EXPECT_TRUE(d->findChild<QCheckBox*>(QStringLiteral("master"))->isChecked());

        // Key 3 takes mode 4, value 7: the frame changes and the row follows.
        d->findChild<CListCtrlEx*>(QStringLiteral("keyList"))->selectRow(2);
        d->findChild<CListCtrlEx*>(QStringLiteral("keyList"))
            ->setCurrentIndex(
                d->findChild<CListCtrlEx*>(QStringLiteral("keyList"))->model()->index(2, 0));
        EXPECT_EQ(d->findChild<QLineEdit*>(QStringLiteral("keyMode"))->text(), "3");
        d->findChild<QLineEdit*>(QStringLiteral("keyMode"))->setText(QStringLiteral("4"));
        d->findChild<QLineEdit*>(QStringLiteral("keyValue"))->setText(QStringLiteral("7"));
        d->findChild<QPushButton*>(QStringLiteral("setKeyMode"))->click();
        EXPECT_TRUE(waitUntil([&] { return cell(*d, "keyList", 2, 1) == "4"; }));
        EXPECT_EQ(cell(*d, "keyList", 2, 2), "7");

        // A value out of range is refused in plain words and nothing is sent.
        d->findChild<QLineEdit*>(QStringLiteral("keyState"))->setText(QStringLiteral("70000"));
        d->findChild<QPushButton*>(QStringLiteral("setKeyState"))->click();
        auto* notice = d->findChild<QLabel*>(QStringLiteral("panelNotice"));
        EXPECT_TRUE(notice->isVisibleTo(d));
        EXPECT_TRUE(notice->text().contains(QStringLiteral("State")));

        d->findChild<QCheckBox*>(QStringLiteral("master"))->click();
        EXPECT_TRUE(waitUntil([&] {
            return frame->model().messageLine(CommandId::gmaster, {}) == "!gmaster,0,0\r";
        }));
        d->reject();
    });
    runPanelUnitDialog(window->engine(), questions, window.get());
    EXPECT_TRUE(ran);
    EXPECT_EQ(window->engine().dialogs().controlPanelUnit, nullptr);
    DeviceMessage key3;
    key3.setI(1, 3);
    EXPECT_EQ(frame->model().messageLine(CommandId::gkeymode, key3), "!gkeymode,0,3,4,7\r");
    DeviceMessage key3state;
    key3state.setI(1, 3);
    EXPECT_EQ(frame->model().messageLine(CommandId::gkeystate, key3state), "!gkeystate,0,3,1\r");
}

TEST_F(PanelWindow, KeyListPagesAndHomeEndGoToTheKeysAndAClickReloads) {
    open("450");
    NoQuestions questions;
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* d = qobject_cast<C450DornDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        auto* keys = d->findChild<CListCtrlEx*>(QStringLiteral("keyList"));
        auto* mode = d->findChild<QLineEdit*>(QStringLiteral("keyMode"));
        auto* value = d->findChild<QLineEdit*>(QStringLiteral("keyValue"));
        ASSERT_TRUE(keys && mode && value);
        EXPECT_TRUE(waitUntil([&] { return cell(*d, "keyList", 11, 2) == "112"; }));
        keys->setFocus();
        keys->setCurrentIndex(keys->model()->index(4, 2));
        const struct {
            Qt::Key key;
            int row;
        } moves[] = {
            {Qt::Key_PageDown, 11}, {Qt::Key_Home, 0}, {Qt::Key_End, 11}, {Qt::Key_PageUp, 0}};
        for (const auto& m : moves) {
            QTest::keyClick(keys, m.key);
            EXPECT_EQ(keys->currentIndex().row(), m.row) << m.key;
            EXPECT_EQ(value->text(), cell(*d, "keyList", m.row, 2)) << "the fields follow";
        }
        // Typed over, then the chosen row clicked again: its values come back.
        mode->setText(QStringLiteral("9"));
        value->setText(QStringLiteral("999"));
        const QRect rect = keys->visualRect(keys->model()->index(0, 1));
        QTest::mouseClick(keys->viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_EQ(mode->text(), cell(*d, "keyList", 0, 1));
        EXPECT_EQ(value->text(), cell(*d, "keyList", 0, 2));
        ran = true;
        d->reject();
    });
    runPanelUnitDialog(window->engine(), questions, window.get());
    EXPECT_TRUE(ran);
}

// At first show every key and ring cell, and every column title, has the
// room its text needs: nothing is cut to "..." until a later resize.
TEST_F(PanelWindow, ListsShowTheirTextAtFirstShow) {
    open("450");
    NoQuestions questions;
    bool ran = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* d = qobject_cast<C450DornDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_TRUE(waitUntil([&] { return cell(*d, "keyList", 11, 2) == "112"; }));
        for (const char* name : {"keyList", "ringList"}) {
            const auto* list = d->findChild<CListCtrlEx*>(QLatin1String(name));
            ASSERT_NE(list, nullptr);
            const QAbstractItemView& view = *list; // its widest cell's measure is public here
            for (int c = 0; c < list->model()->columnCount(); ++c) {
                EXPECT_GE(list->columnWidth(c), view.sizeHintForColumn(c)) << name << " " << c;
                EXPECT_GE(list->columnWidth(c), list->horizontalHeader()->sectionSizeHint(c))
                    << name << " " << c;
            }
        }
        ran = true;
        d->reject();
    });
    runPanelUnitDialog(window->engine(), questions, window.get());
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace velmar
