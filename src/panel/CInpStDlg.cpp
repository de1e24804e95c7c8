#include "panel/CInpStDlg.h"
#include "panel/PanelDialogs.h"

#include "controls/CListCtrlEx.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"
#include "panel/C450DornDlg.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

namespace velmar {

namespace {

constexpr const char* kKindNames[] = {"kindSdi", "kindAd", "kindAes", "kindMadi"};

CListCtrlEx* statusList(QWidget* parent, const char* name, const std::vector<std::string>& columns,
                        const std::vector<int>& widths = {}) {
    auto* l = new CListCtrlEx(parent);
    l->setObjectName(QLatin1String(name));
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        l->addColumn(qs(columns[c]), c < widths.size() ? widths[c] : -1);
        l->setColumnReadOnly(static_cast<int>(c), true);
    }
    return l;
}

// Shows `rows` in `list`, rewriting only the cells whose text differs.
void showRows(CListCtrlEx* list, const std::vector<InputStatusRow>& rows) {
    if (list->rowCount() != static_cast<int>(rows.size())) {
        QList<QStringList> all;
        for (const InputStatusRow& row : rows) {
            QStringList cells;
            for (const std::string& cell : row.cells)
                cells.append(qs(cell));
            all.append(cells);
        }
        list->setRows(all);
        for (int r = 0; r < static_cast<int>(rows.size()); ++r)
            list->setRowUserData(r, rows[static_cast<std::size_t>(r)].entry);
        return;
    }
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const InputStatusRow& row = rows[static_cast<std::size_t>(r)];
        list->setRowUserData(r, row.entry);
        for (int c = 0; c < static_cast<int>(row.cells.size()); ++c) {
            const QString text = qs(row.cells[static_cast<std::size_t>(c)]);
            if (list->text(r, c) != text)
                list->setText(r, c, text);
        }
    }
}

} // namespace

CInpStDlg::CInpStDlg(CPollingEngine& engine, QWidget* parent)
    : QDialog(parent), m_engine(engine), m_logic(engine.state()),
      m_main(statusList(this, "mainInputs", mainInputColumns())), m_cardNote(new QLabel(this)),
      m_cardBox(new QVBoxLayout) {
    setObjectName(QLatin1String(kObjectName));
    setWindowTitle(qs(CInputStatusLogic::kTitle));
    // "Close" only hides it: the next command shows the same dialog again.
    setModal(false);
    m_main->setMinimumSize(320, 380);
    // The list's own size is known only once the layout has placed it, after
    // the dialog's resize event: its columns follow its viewport.
    m_main->viewport()->installEventFilter(this);

    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(new QLabel(QStringLiteral("Cards :"), this));
    for (std::size_t k = 0; k < kInputCardKinds.size(); ++k) {
        const InputCardKind kind = kInputCardKinds[k];
        auto* radio = new QRadioButton(QStringLiteral(" ") + qs(inputCardKindName(kind)), this);
        radio->setObjectName(QLatin1String(kKindNames[k]));
        radio->setChecked(kind == m_logic.kind());
        connect(radio, &QRadioButton::clicked, this, [this, kind] {
            m_logic.selectKind(kind);
            showChanges();
        });
        kindRow->addWidget(radio);
        m_kinds[k] = radio;
    }
    kindRow->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(QStringLiteral("Main board"), this));
    left->addWidget(m_main);
    m_cardBox->addLayout(kindRow);
    m_cardNote->setObjectName(QStringLiteral("cardListNote"));
    m_cardBox->addWidget(m_cardNote);
    auto* lists = new QHBoxLayout;
    lists->addLayout(left);
    lists->addLayout(m_cardBox);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* legend = new QLabel(qs(CInputStatusLogic::kLegend), this);
    legend->setObjectName(QStringLiteral("inputStatusLegend"));
    legend->setWordWrap(true);
    auto* box = new QVBoxLayout(this);
    box->addLayout(lists);
    box->addWidget(legend);
    box->addLayout(buttons);

    showRows(m_main, m_logic.mainRows());
    buildCardList();
    m_logic.takeChanges();
}

CInpStDlg::~CInpStDlg() {
    if (m_engine.dialogs().signalInputStatus == this)
        m_engine.dialogs().signalInputStatus = nullptr;
}

void CInpStDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    showChanges();
}

void CInpStDlg::refreshAll() {
    m_logic.refreshAll();
    showChanges();
}

void CInpStDlg::showChanges() {
    const CInputStatusLogic::Changes changes = m_logic.takeChanges();
    if (changes.mainChanged)
        showRows(m_main, m_logic.mainRows());
    if (changes.cardsRebuilt || changes.familyChanged)
        buildCardList();
    else if (changes.cardsChanged)
        showRows(m_cards, m_logic.cardRows());
}

void CInpStDlg::showCardNote() {
    const std::string note = m_logic.cardListNote();
    m_cardNote->setText(qs(note));
    m_cardNote->setVisible(!note.empty());
}

void CInpStDlg::buildCardList() {
    // Each kind has columns of its own, so the list is made anew for it.
    delete m_cards;
    const InputCardKind kind = m_logic.kind();
    m_cards = statusList(this, "cardInputs", cardInputColumns(kind), cardInputColumnWidths(kind));
    m_cards->setMinimumSize(320, 300);
    m_cardBox->addWidget(m_cards);
    showRows(m_cards, m_logic.cardRows());
    // "Slot 8 - 2" must stay readable in whatever font the desktop uses.
    const int given = m_cards->columnWidth(0);
    m_cards->resizeColumnToContents(0);
    m_cards->setColumnWidth(0, std::max(given, m_cards->columnWidth(0)));
    const bool enabled = m_logic.cardsEnabled();
    m_cards->setEnabled(enabled);
    for (QRadioButton* radio : m_kinds)
        radio->setEnabled(enabled);
    showCardNote();
}

void CInpStDlg::fitMainColumns() {
    const int quarter = m_main->viewport()->width() / 4;
    m_main->setColumnWidth(0, quarter - 15);
    for (int c = 1; c < 4; ++c)
        m_main->setColumnWidth(c, quarter + 5);
}

bool CInpStDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_main->viewport() && event->type() == QEvent::Resize)
        fitMainColumns();
    return QDialog::eventFilter(watched, event);
}

void CInpStDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitMainColumns();
}

void showInputStatusDialog(CPollingEngine& engine, QWidget* window) {
    auto* dialog = window->findChild<CInpStDlg*>(QLatin1String(CInpStDlg::kObjectName),
                                                 Qt::FindDirectChildrenOnly);
    if (dialog == nullptr) {
        dialog = new CInpStDlg(engine, window);
        engine.dialogs().signalInputStatus = dialog;
    } else {
        dialog->refreshAll();
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void closeLinkDialogs(QWidget* window) {
    // Deleted now rather than later: the registry must not point at it for a
    // moment longer, and the window's engine may be about to go.
    delete window->findChild<CInpStDlg*>(QLatin1String(CInpStDlg::kObjectName),
                                         Qt::FindDirectChildrenOnly);
    if (auto* panel = window->findChild<C450DornDlg*>(QStringLiteral("panelUnitDialog"),
                                                      Qt::FindDirectChildrenOnly))
        panel->reject();
}

} // namespace velmar
