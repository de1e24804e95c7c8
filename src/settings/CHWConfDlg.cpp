#include "settings/CHWConfDlg.h"

#include "controls/CListCtrlEx.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

CHWConfDlg::CHWConfDlg(CHwConfLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_list(new CListCtrlEx(this)),
      m_toX(new QPushButton(qs(CHwConfLogic::kXQuestion), this)),
      m_toBrix(new QPushButton(qs(CHwConfLogic::kBrixQuestion), this)), m_notice(new QLabel(this)) {
    setWindowTitle(qs(CHwConfLogic::kTitle));
    m_list->setObjectName(QStringLiteral("hwConfiguration"));
    m_list->setShowGrid(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const char* title : {"Module", "Type and version", "Serial number", "SW versions"})
        m_list->addColumn(QLatin1String(title));
    for (int c = 0; c < 4; ++c)
        m_list->setColumnReadOnly(c, true);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setMinimumSize(640, 300);

    m_toX->setObjectName(QStringLiteral("changeToX"));
    m_toBrix->setObjectName(QStringLiteral("changeToBrix"));
    m_notice->setObjectName(QStringLiteral("hwNotice"));
    m_notice->setWordWrap(true);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    connect(m_toX, &QPushButton::clicked, this, [this] { changeCards(CardMake::X); });
    connect(m_toBrix, &QPushButton::clicked, this, [this] { changeCards(CardMake::Brix); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    for (QPushButton* b : {m_toX, m_toBrix})
        b->setAutoDefault(false);
    close->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_toX);
    buttons->addWidget(m_toBrix);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_list);
    box->addWidget(m_notice);
    box->addLayout(buttons);

    const bool enabled = m_logic.buttonsEnabled();
    m_toX->setEnabled(enabled);
    m_toBrix->setEnabled(enabled);
    showState();
}

void CHWConfDlg::changeCards(CardMake make) {
    m_logic.changeCardsPressed(make);
    if (m_logic.takeChanged())
        showState();
}

void CHWConfDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                 const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    if (m_logic.takeChanged())
        showState();
}

void CHWConfDlg::showState() {
    QList<QStringList> rows;
    for (const HwRow& r : m_logic.rows())
        rows.append({qs(r.module), qs(r.typeAndVersion), qs(r.serialNumber), qs(r.swVersions)});
    m_list->setRows(rows);
    for (int i = 0; i < static_cast<int>(m_logic.rows().size()); ++i)
        m_list->setRowUserData(i, m_logic.rows()[static_cast<std::size_t>(i)].entry);
    m_list->resizeColumnsToContents();
    m_notice->setText(qs(m_logic.notice()));
    m_notice->setVisible(!m_logic.notice().empty());
}

void runHwConfDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CHwConfLogic logic(engine.state(), engine, questions);
    CHWConfDlg dialog(logic, parent);
    // Registered while it runs, so the frame's hardware replies reach the list.
    const CScopedDialogSlot registered(engine.dialogs().hwConfiguration, &dialog);
    dialog.exec();
}

} // namespace velmar
