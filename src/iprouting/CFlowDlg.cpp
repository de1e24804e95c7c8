#include "iprouting/CFlowDlg.h"

#include "controls/CListCtrlEx.h"
#include "iprouting/IpRouting.h"
#include "iprouting/IpRoutingWidgets.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmar {

namespace {

CListCtrlEx* flowList(QWidget* parent, const char* name, const char* fourth) {
    auto* list = new CListCtrlEx(parent);
    list->setObjectName(QLatin1String(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->addColumn(QStringLiteral("ID"), 40);
    list->addColumn(QStringLiteral("Slots"), 40);
    list->addColumn(QStringLiteral("Port"), 60);
    list->addColumn(QLatin1String(fourth), 100);
    list->addColumn(QStringLiteral("Channels"));
    for (int c = 0; c < 5; ++c)
        list->setColumnReadOnly(c, true);
    list->horizontalHeader()->setStretchLastSection(true);
    list->setMinimumHeight(120);
    return list;
}

QPushButton* button(QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(QLatin1String(text), parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

CFlowDlg::CFlowDlg(CFlowLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic),
      m_unicast(new QCheckBox(QStringLiteral(" Enable unicast clocking"), this)),
      m_unicastStatus(new QLineEdit(this)), m_txId(rangedField(this, "txId", 1, kFlowCount, 1)),
      m_txSlots(rangedField(this, "txSlots", 0, kFlowSlots, 4)),
      m_txPort(rangedField(this, "txPort", kFlowPortFirst, kFlowPortLast, kFlowPortFirst)),
      m_txAddress(new QLineEdit(this)), m_rxId(rangedField(this, "rxId", 1, kFlowCount, 1)),
      m_rxSlots(rangedField(this, "rxSlots", 0, kFlowSlots, 4)),
      m_rxPort(rangedField(this, "rxPort", kFlowPortFirst, kFlowPortLast, kFlowPortFirst)),
      m_rxLatency(rangedField(this, "rxLatency", 0, kFlowLatencyMax, 5000)),
      m_txList(flowList(this, "txFlows", "IP address")),
      m_rxList(flowList(this, "rxFlows", "Latency")), m_notice(new QLineEdit(this)) {
    setWindowTitle(qs(CFlowLogic::kTitle));
    m_unicast->setObjectName(QStringLiteral("unicastClock"));
    m_unicastStatus->setObjectName(QStringLiteral("unicastStatus"));
    m_unicastStatus->setReadOnly(true);
    m_txAddress->setObjectName(QStringLiteral("txAddress"));
    m_notice->setObjectName(QStringLiteral("flowNotice"));
    m_notice->setReadOnly(true);

    auto* sync = new QGroupBox(QStringLiteral(" Synchronization "), this);
    auto* syncBox = new QFormLayout(sync);
    syncBox->addRow(m_unicast);
    syncBox->addRow(QStringLiteral("Status :"), m_unicastStatus);

    auto* tx = new QGroupBox(QStringLiteral(" TX flow "), this);
    auto* txForm = new QFormLayout(tx);
    txForm->addRow(QStringLiteral("ID"), m_txId);
    txForm->addRow(QStringLiteral("Number of slots"), m_txSlots);
    txForm->addRow(QStringLiteral("Port"), m_txPort);
    txForm->addRow(QStringLiteral("IP address"), m_txAddress);
    auto* txCreate = button(this, "txCreate", "Create");
    auto* txAssign = button(this, "txSlotAssign", "Slot assign");
    txAssign->setEnabled(false);
    auto* txButtons = new QHBoxLayout;
    txButtons->addWidget(txCreate);
    txButtons->addWidget(txAssign);
    txForm->addRow(txButtons);

    auto* rx = new QGroupBox(QStringLiteral(" RX flow "), this);
    auto* rxForm = new QFormLayout(rx);
    rxForm->addRow(QStringLiteral("ID"), m_rxId);
    rxForm->addRow(QStringLiteral("Number of slots"), m_rxSlots);
    rxForm->addRow(QStringLiteral("Port"), m_rxPort);
    rxForm->addRow(QStringLiteral("Latency (usec)"), m_rxLatency);
    auto* rxCreate = button(this, "rxCreate", "Create");
    auto* rxAssign = button(this, "rxSlotAssign", "Slot assign");
    rxAssign->setEnabled(false);
    auto* rxButtons = new QHBoxLayout;
    rxButtons->addWidget(rxCreate);
    rxButtons->addWidget(rxAssign);
    rxForm->addRow(rxButtons);

    auto* refresh = button(this, "refresh", "Refresh");
    auto* remove = button(this, "deleteFlow", "Delete flow");
    auto* removeAll = button(this, "deleteAllFlows", "Delete all flows");
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(tx);
    groups->addWidget(rx);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(remove);
    buttons->addWidget(removeAll);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addWidget(sync);
    box->addLayout(groups);
    box->addWidget(new QLabel(QStringLiteral("Tx flows"), this));
    box->addWidget(m_txList);
    box->addWidget(new QLabel(QStringLiteral("Rx flows"), this));
    box->addWidget(m_rxList);
    box->addWidget(m_notice);
    box->addLayout(buttons);
    setMinimumWidth(560);

    connect(txCreate, &QPushButton::clicked, this, [this] {
        readFields();
        report(m_logic.createTx());
    });
    connect(rxCreate, &QPushButton::clicked, this, [this] {
        readFields();
        report(m_logic.createRx());
    });
    connect(refresh, &QPushButton::clicked, this, [this] {
        if (ipRoutingActionsAllowed(m_logic.state()))
            m_logic.refresh();
        showState();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        const std::vector<int> tx = selectedListRows(m_txList);
        const std::vector<int> rx = selectedListRows(m_rxList);
        report(m_logic.deleteFlow(tx.empty() ? -1 : tx.front(), rx.empty() ? -1 : rx.front()));
    });
    connect(removeAll, &QPushButton::clicked, this, [this] { report(m_logic.deleteAll()); });
    connect(m_unicast, &QCheckBox::clicked, this,
            [this](bool checked) { m_logic.unicastClockClicked(checked); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    // The fields are the logic's: typed values go there at once, so a reply
    // that redraws the dialog does not undo them.
    for (QSpinBox* field : {m_txId, m_txSlots, m_txPort, m_rxId, m_rxSlots, m_rxPort, m_rxLatency})
        connect(field, &QSpinBox::valueChanged, this, [this] { readFields(); });
    connect(m_txAddress, &QLineEdit::textEdited, this, [this] { readFields(); });

    m_logic.takeChanged();
    showState();
}

void CFlowDlg::readFields() {
    FlowFields& f = m_logic.fields();
    f.txId = m_txId->value();
    f.txSlots = m_txSlots->value();
    f.txPort = m_txPort->value();
    f.txDestination = m_txAddress->text().trimmed().toStdString();
    f.rxId = m_rxId->value();
    f.rxSlots = m_rxSlots->value();
    f.rxPort = m_rxPort->value();
    f.rxLatency = m_rxLatency->value();
}

void CFlowDlg::report(const FlowOutcome& outcome) {
    if (!outcome.message.empty())
        QMessageBox::information(this, qs(CFlowLogic::kTitle), qs(outcome.message));
    if (m_logic.takeChanged())
        showState();
}

void CFlowDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                               const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    if (m_logic.takeChanged())
        showState();
}

void CFlowDlg::showState() {
    const FlowFields f = m_logic.fields();
    const QSignalBlocker blocks[] = {QSignalBlocker(m_txId),     QSignalBlocker(m_txSlots),
                                     QSignalBlocker(m_txPort),   QSignalBlocker(m_rxId),
                                     QSignalBlocker(m_rxSlots),  QSignalBlocker(m_rxPort),
                                     QSignalBlocker(m_rxLatency)};
    m_txId->setValue(f.txId);
    m_txSlots->setValue(f.txSlots);
    m_txPort->setValue(f.txPort);
    m_txAddress->setText(qs(f.txDestination));
    m_rxId->setValue(f.rxId);
    m_rxSlots->setValue(f.rxSlots);
    m_rxPort->setValue(f.rxPort);
    m_rxLatency->setValue(f.rxLatency);
    m_unicast->setChecked(m_logic.unicastClock());
    m_unicastStatus->setText(qs(m_logic.unicastStatus()));
    m_notice->setText(qs(m_logic.notice()));
    m_notice->setVisible(!m_logic.notice().empty());
    for (const FlowDirection d : {FlowDirection::Tx, FlowDirection::Rx}) {
        QList<QStringList> rows;
        std::vector<qint64> ids;
        for (const FlowRow& r : m_logic.rows(d)) {
            rows.append({QString::number(r.id), qs(r.slots), qs(r.port), qs(r.addressOrLatency),
                         qs(r.channels)});
            ids.push_back(r.id);
        }
        refillList(d == FlowDirection::Tx ? m_txList : m_rxList, rows, ids);
    }
}

void runFlowDialog(CPollingEngine& engine, IQuestions& questions,
                   std::vector<std::string> listedAddresses, QWidget* parent) {
    CFlowLogic logic(engine.state(), engine, questions, std::move(listedAddresses));
    CFlowDlg dialog(logic, parent);
    // Registered while it runs, so the flow and slot replies reach its lists.
    const CScopedDialogSlot registered(engine.dialogs().manualIpRouting, &dialog);
    logic.opened();
    dialog.exec();
}

} // namespace velmar
