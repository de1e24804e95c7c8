#include "channels/CIOGainDlg.h"

#include "channels/CChannelList.h"
#include "channels/CRunProgress.h"
#include "controls/CListCtrlEx.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

CIOGainDlg::CIOGainDlg(CGainSettings& logic, CPollingEngine& engine, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_engine(engine), m_list(new CListCtrlEx(this)),
      m_notice(new QLabel(this)) {
    setWindowTitle(qs(CGainSettings::kTitle));
    m_list->setObjectName(QStringLiteral("gainSettings"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const char* title :
         {"Channel", "Type", "Input gain", "phase", "mute", "Output gain", "phase", "mute"})
        m_list->addColumn(QLatin1String(title));
    for (int c = 0; c < 8; ++c)
        m_list->setColumnReadOnly(c, true);
    m_list->setMinimumSize(820, 360); // all eight columns without scrolling
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    new CChannelListKeys(m_list);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (std::unique_ptr<QMenu> menu = contextMenu(m_list->indexAt(pos).row()))
            menu->exec(m_list->viewport()->mapToGlobal(pos + QPoint(5, 0)));
    });
    m_notice->setObjectName(QStringLiteral("gainNotice"));
    m_notice->setWordWrap(true);
    auto* legend = new QLabel(qs(CGainSettings::kLegend), this);
    legend->setObjectName(QStringLiteral("gainLegend"));
    legend->setWordWrap(true);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* group = new QGroupBox(QStringLiteral(" Gain (mono channels) "), this);
    auto* groupBox = new QVBoxLayout(group);
    groupBox->addWidget(m_list);
    groupBox->addWidget(legend);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addWidget(group);
    box->addWidget(m_notice);
    box->addLayout(buttons);
    fillAll();
}

void CIOGainDlg::fillAll() {
    QList<QStringList> rows;
    for (int row = 0; row < m_logic.rowCount(); ++row) {
        QStringList cells;
        for (const std::string& text : m_logic.rowTexts(row))
            cells << qs(text);
        rows.append(cells);
    }
    m_list->setRows(rows);
    for (int row = 0; row < m_logic.rowCount(); ++row)
        m_list->setRowUserData(row, m_logic.range().channelOfRow(row));
    m_logic.takeChangedChannels();
}

void CIOGainDlg::refreshRows() {
    for (int channel : m_logic.takeChangedChannels()) {
        const int row = m_logic.range().rowOfChannel(channel);
        if (row < 0 || row >= m_list->rowCount())
            continue;
        const std::vector<std::string> texts = m_logic.rowTexts(row);
        for (int c = 2; c < 8; ++c)
            m_list->setText(row, c, qs(texts[static_cast<std::size_t>(c)]));
    }
}

std::unique_ptr<QMenu> CIOGainDlg::contextMenu(int row) {
    const std::vector<int> selected = selectedChannels(m_list);
    const int clicked =
        row >= 0 && row < m_list->rowCount() ? static_cast<int>(m_list->rowUserData(row)) : 0;
    const auto items = m_logic.menu(clicked, selected);
    if (items.empty())
        return {};
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("gainMenu"));
    for (const GainMenuItem& item : items) {
        if (item.entry == GainMenuEntry::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(qs(item.text));
        action->setCheckable(item.entry != GainMenuEntry::ClearAll &&
                             item.entry != GainMenuEntry::ClearSelected);
        action->setChecked(item.checked);
        const GainMenuEntry entry = item.entry;
        connect(action, &QAction::triggered, this, [this, entry] { choose(entry); });
    }
    return menu;
}

void CIOGainDlg::choose(GainMenuEntry entry) {
    if (!m_engine.state().connected) {
        m_notice->setText(QStringLiteral("Not connected; nothing was sent."));
        return;
    }
    std::vector<DeviceMessage> requests = m_logic.choose(entry, selectedChannels(m_list));
    if (!requests.empty())
        m_notice->setText(
            qs(runRequestsWithProgress(m_engine, std::move(requests), CGainSettings::kRequestsWhat,
                                       QStringLiteral("Clearing gains ..."), this)));
}

void CIOGainDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                 const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    refreshRows();
}

void runGainDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CGainSettings logic(engine.state(), engine, questions);
    CIOGainDlg dialog(logic, engine, parent);
    const CScopedDialogSlot registered(engine.dialogs().gainSettings, &dialog);
    for (const DeviceMessage& m : gainOpeningRequests(logic.range()))
        engine.sendRequest(m);
    dialog.exec();
}

} // namespace velmar
