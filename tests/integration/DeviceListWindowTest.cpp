// The device selection list as the operator sees and uses it: order, sorting,
// the connected row, the status bar's word on frames not listed, and the add
// dialog's word on a mistyped address.

#include "IntegrationSupport.h"
#include "WindowSupport.h"
#include "link/CAddDevDlg.h"
#include "link/CDeviceListView.h"
#include "link/DiscoveryDatagrams.h"
#include "link/ReadableColour.h"
#include "window/CZarvoDlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

namespace velmar {
namespace {

using test::waitUntil;

class DeviceListWindow : public test::WindowProfileTest {
protected:
    std::unique_ptr<CZarvoDlg> openWindow() {
        auto w = std::make_unique<CZarvoDlg>(StartupOptions{}, *settings);
        w->resize(1000, 640);
        w->show();
        view = w->findChild<CDeviceListView*>(QStringLiteral("deviceList"));
        EXPECT_TRUE(view);
        return w;
    }
    std::vector<std::string> addresses(const CZarvoDlg& w) const {
        std::vector<std::string> out;
        for (const KnownDevice& row : w.deviceList().rows())
            out.push_back(row.address);
        return out;
    }
    int rowOf(const CZarvoDlg& w, const char* address) const {
        return w.deviceList().findRow(*parseIpv4(address));
    }
    // The address shown in a row of the view, in the view's order.
    QString shownAddress(int viewRow) const {
        return view->model()->index(viewRow, CDeviceListModel::AddressColumn).data().toString();
    }
    void clickHeader(int section) {
        QHeaderView* header = view->horizontalHeader();
        const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    CDeviceListView* view = nullptr;
};

auto named(const char* name) {
    return [name](framesim::FrameProfile& p) { p.name = name; };
}

TEST_F(DeviceListWindow, RowsKeepTheirPlacesAcrossSearchesAndAnnouncements) {
    auto a = test::startFrame("460", "127.0.0.2");
    auto b = test::startFrame("460", "127.0.0.3");
    auto c = test::startFrame("460", "127.0.0.4");
    ASSERT_TRUE(a && b && c);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return w->deviceList().rows().size() == 3; }));
    const std::vector<std::string> first = addresses(*w);

    // A frame announcing itself on its own updates its row where it stands;
    // a frame new to the list comes last.
    a->setAnnounceAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    a->sendSearchAnnouncement();
    auto d = test::startFrame("461", "127.0.0.5");
    ASSERT_TRUE(d);
    d->setAnnounceAddress(QHostAddress(QStringLiteral("127.0.0.1")));
    d->sendSearchAnnouncement();
    ASSERT_TRUE(waitUntil([&] { return rowOf(*w, "127.0.0.5") >= 0; }));
    std::vector<std::string> expected = first;
    expected.push_back("127.0.0.5");
    EXPECT_EQ(addresses(*w), expected);

    // The next search: the selected row stays selected, a silent frame goes,
    // the others keep their order.
    view->selectRow(view->viewIndexOf(rowOf(*w, "127.0.0.4")).row());
    b.reset();
    QSignalSpy answered(a.get(), &framesim::CSimulatedFrame::searchAnswered);
    auto* refresh = w->findChild<QPushButton*>(QStringLiteral("refreshButton"));
    ASSERT_TRUE(refresh);
    refresh->click();
    ASSERT_TRUE(waitUntil([&] { return answered.count() == 1; }));
    EXPECT_EQ(w->deviceList().rows().size(), 4U) << "rows stay while the search runs";
    ASSERT_TRUE(waitUntil([&] { return rowOf(*w, "127.0.0.3") < 0; }));
    expected.erase(std::find(expected.begin(), expected.end(), "127.0.0.3"));
    EXPECT_EQ(addresses(*w), expected);
    const QModelIndexList selected = view->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(view->sourceRow(selected[0]), rowOf(*w, "127.0.0.4"));
}

TEST_F(DeviceListWindow, HeaderClickSortsAndRowsStillReachTheirFrames) {
    auto charlie = test::startFrame("460", "127.0.0.2", named("Charlie"));
    auto alpha = test::startFrame("460", "127.0.0.3", named("alpha"));
    auto bravo = test::startFrame("460", "127.0.0.4", named("Bravo"));
    ASSERT_TRUE(charlie && alpha && bravo);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return w->deviceList().rows().size() == 3; }));
    const std::vector<std::string> arrival = addresses(*w);

    clickHeader(CDeviceListModel::NameColumn);
    EXPECT_EQ(shownAddress(0), QStringLiteral("127.0.0.3")) << "alpha, whatever its case";
    EXPECT_EQ(shownAddress(1), QStringLiteral("127.0.0.4"));
    EXPECT_EQ(shownAddress(2), QStringLiteral("127.0.0.2"));
    EXPECT_EQ(addresses(*w), arrival) << "sorting the view leaves the list alone";

    // The context menu and a double click find the row under the pointer.
    const QModelIndex top = view->model()->index(0, CDeviceListModel::NameColumn);
    EXPECT_EQ(view->rowAt(view->visualRect(top).center()), rowOf(*w, "127.0.0.3"));
    Q_EMIT view->activated(top);
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connected; }));
    EXPECT_EQ(w->engine().state().deviceAddress, *parseIpv4("127.0.0.3"));
    EXPECT_EQ(alpha->clientCount(), 1);
    EXPECT_EQ(charlie->clientCount(), 0);

    clickHeader(CDeviceListModel::NameColumn);
    EXPECT_EQ(shownAddress(0), QStringLiteral("127.0.0.2")) << "descending";
    clickHeader(CDeviceListModel::NameColumn);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(shownAddress(i).toStdString(), arrival[static_cast<std::size_t>(i)])
            << "a third click returns to the order of listing";

    // Addresses sort as numbers, not as text.
    auto tenth = test::startFrame("460", "127.0.0.10");
    ASSERT_TRUE(tenth);
    w->findChild<QPushButton*>(QStringLiteral("refreshButton"))->click();
    ASSERT_TRUE(waitUntil([&] { return rowOf(*w, "127.0.0.10") >= 0; }));
    clickHeader(CDeviceListModel::AddressColumn);
    EXPECT_EQ(shownAddress(3), QStringLiteral("127.0.0.10"));
}

TEST_F(DeviceListWindow, ConnectedRowFitsAndStaysGreenWhileSelected) {
    const char* longName = "MOBILE UNIT WEST"; // as long as a frame's name may be
    auto frame = test::startFrame("460", "127.0.0.2", named(longName));
    auto other = test::startFrame("460", "127.0.0.3");
    ASSERT_TRUE(frame && other);
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return w->deviceList().rows().size() == 2; }));
    w->connectToRow(rowOf(*w, "127.0.0.2"));
    ASSERT_TRUE(waitUntil([&] { return w->engine().state().connected; }));
    QApplication::processEvents();

    QFont bold = QApplication::font();
    bold.setWeight(QFont::Bold);
    EXPECT_GE(view->columnWidth(CDeviceListModel::NameColumn),
              QFontMetrics(bold).horizontalAdvance(QString::fromLatin1(longName)))
        << "the bold name is not cut";

    const QModelIndex connected = view->viewIndexOf(rowOf(*w, "127.0.0.2"));
    view->selectRow(connected.row());
    QApplication::processEvents();
    const QRect rowRect = view->visualRect(connected.siblingAtColumn(CDeviceListModel::NameColumn));
    const QImage image = view->viewport()->grab(rowRect).toImage();
    int green = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() > c.red() + 60 && c.green() > c.blue() + 60)
                ++green;
        }
    EXPECT_GT(green, 0) << "the selected connected row is drawn in green";

    // The rule itself: only the connected row changes its selection colours.
    QStyleOptionViewItem option;
    option.palette = view->palette();
    const QColor highlight = option.palette.color(QPalette::Highlight);
    CDeviceRowDelegate::styleConnectedRow(option, view->viewIndexOf(rowOf(*w, "127.0.0.3")));
    EXPECT_EQ(option.palette.color(QPalette::Highlight), highlight);
    CDeviceRowDelegate::styleConnectedRow(option, connected);
    const QColor text = option.palette.color(QPalette::HighlightedText);
    const QColor back = option.palette.color(QPalette::Highlight);
    EXPECT_EQ(text, CDeviceListModel::connectedColor(back));
    EXPECT_LT(back.lightness(), highlight.lightness());
    const auto rgb = [](const QColor& c) {
        return Rgb{static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                   static_cast<std::uint8_t>(c.blue())};
    };
    EXPECT_GE(contrastRatio(rgb(text), rgb(back)), kReadableContrast);
    // Unselected, on the list's own background.
    const QColor plain = view->model()->data(connected, Qt::ForegroundRole).value<QBrush>().color();
    EXPECT_GE(contrastRatio(rgb(plain), rgb(view->palette().color(QPalette::Base))),
              kReadableContrast);
}

TEST_F(DeviceListWindow, StatusBarSaysWhenTheListIsFull) {
    constexpr int kBurst = static_cast<int>(CDeviceList::kMaxRows) + 5;
    auto frame = test::startFrame("460", "127.0.0.2",
                                  [](framesim::FrameProfile& p) { p.faults.searchBurst = kBurst; });
    ASSERT_TRUE(frame);
    auto w = openWindow();
    const QString expected =
        QStringLiteral("5 further frames answered but were not listed (the list holds at most %1)")
            .arg(CDeviceList::kMaxRows);
    ASSERT_TRUE(
        waitUntil([&] { return w->statusBar()->currentMessage().startsWith(expected); }, 20000))
        << w->statusBar()->currentMessage().toStdString();
    EXPECT_EQ(w->deviceList().rows().size(), CDeviceList::kMaxRows);
    EXPECT_EQ(w->deviceList().unlistedCount(), 5U);
}

TEST_F(DeviceListWindow, AFloodOfRepliesDoesNotHoldTheListBack) {
    // The saved entry is listed once the window's first search is over.
    settings->setValue(QStringLiteral("Devices/Count"), 1);
    settings->setValue(QStringLiteral("Devices/Device1"), QStringLiteral("127.0.0.9"));
    auto w = openWindow();
    ASSERT_TRUE(waitUntil([&] { return rowOf(*w, "127.0.0.9") >= 0; }));
    QUdpSocket sender;
    ASSERT_TRUE(sender.bind(QHostAddress(QStringLiteral("127.0.0.7")), 0));
    // A frame repeating its announcement every 20 ms, without a pause.
    QTimer flood;
    QObject::connect(&flood, &QTimer::timeout, &sender, [&sender] {
        sender.writeDatagram(QByteArray(":edev,0,1,7,'Chatty','460',x,'SN7'\r"),
                             QHostAddress(QStringLiteral("127.0.0.1")), kDiscoveryReplyPort);
    });
    flood.start(20);
    const bool listedWhileFlooding = waitUntil([&] { return rowOf(*w, "127.0.0.7") >= 0; }, 3000);
    flood.stop();
    EXPECT_TRUE(listedWhileFlooding) << "the list is drained while replies keep coming";
}

TEST(AddDeviceDialog, SaysWhyATypedAddressIsRefused) {
    CAddDevDlg dialog;
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("address"));
    auto* problem = dialog.findChild<QLabel*>(QStringLiteral("addressProblem"));
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_TRUE(edit && problem && buttons);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    EXPECT_FALSE(problem->isVisible());

    const struct {
        const char* typed;
        const char* says;
    } refused[] = {
        {"300.1.2.3", "300.1.2.3 is not a valid IPv4 address"},
        {"10.0.1", "10.0.1 is not a valid IPv4 address"},
        {"", "Type the frame's IPv4 address"},
        {"0.0.0.0", "0.0.0.0 is not the address of a frame"},
        {"239.1.2.3", "239.1.2.3 is a multicast address"},
    };
    for (const auto& r : refused) {
        edit->setText(QString::fromLatin1(r.typed));
        ok->click();
        EXPECT_TRUE(dialog.isVisible()) << r.typed;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << r.typed;
        EXPECT_TRUE(problem->isVisible()) << r.typed;
        EXPECT_TRUE(problem->text().startsWith(QString::fromLatin1(r.says)))
            << problem->text().toStdString();
    }
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_FALSE(problem->isVisible()) << "editing the address takes the note away";

    edit->setText(QStringLiteral("10.0.1.20"));
    ok->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.address(), QStringLiteral("10.0.1.20"));
}

} // namespace
} // namespace velmar
