#include "iprouting/CAutoIPDlg.h"

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
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace velmar {

namespace {

QPushButton* button(QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(QLatin1String(text), parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* hostField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(static_cast<int>(kHostNameLength));
    return e;
}

} // namespace

CAutoIPDlg::CAutoIPDlg(CAutoRoutingLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_settings(new QGroupBox(this)),
      m_autoRouting(new QCheckBox(QStringLiteral(" Auto routing enabled"), this)),
      m_frame(rangedField(this, "frameRate", 0, 10000, 0)),
      m_latency(rangedField(this, "latency", 0, kAutoLatencyMax, 0)),
      m_set(button(this, "set", "Set")),
      m_source(rangedField(this, "source", 0, kRouteChannels, 1)),
      m_sourceHost(hostField(this, "sourceHost")),
      m_destination(rangedField(this, "destination", 1, kRouteChannels, 1)),
      m_destinationHost(hostField(this, "destinationHost")),
      m_connect(button(this, "connect", "Connect")), m_list(new CListCtrlEx(this)),
      m_notice(new QLineEdit(this)) {
    setWindowTitle(qs(CAutoRoutingLogic::kTitle));
    m_settings->setTitle(qs(m_logic.settingsTitle()));
    m_autoRouting->setObjectName(QStringLiteral("autoRouting"));
    m_frame->setEnabled(false);
    m_notice->setObjectName(QStringLiteral("routeNotice"));
    m_notice->setReadOnly(true);

    auto* settingsForm = new QFormLayout(m_settings);
    settingsForm->addRow(m_autoRouting);
    settingsForm->addRow(QStringLiteral("Frame rate"), m_frame);
    auto* latencyRow = new QHBoxLayout;
    latencyRow->addWidget(m_latency);
    latencyRow->addWidget(m_set);
    settingsForm->addRow(QStringLiteral("Latency (us)"), latencyRow);

    auto* routing = new QGroupBox(QStringLiteral(" Routing control "), this);
    auto* routingForm = new QFormLayout(routing);
    routingForm->addRow(QStringLiteral("Source (Y=1..64)"), m_source);
    routingForm->addRow(QStringLiteral("Source hostname"), m_sourceHost);
    routingForm->addRow(QStringLiteral("Destination (X=1..64)"), m_destination);
    routingForm->addRow(QStringLiteral("Destination hostname"), m_destinationHost);
    routingForm->addRow(m_connect);

    m_list->setObjectName(QStringLiteral("routes"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const char* title : {"No.", "Source device (Tx)", "Source chn.", "Destination device (Rx)",
                              "Destination chn."})
        m_list->addColumn(QLatin1String(title));
    for (int c = 0; c < 5; ++c)
        m_list->setColumnReadOnly(c, true);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setMinimumSize(480, 160);

    auto* refresh = button(this, "refresh", "Refresh");
    auto* remove = button(this, "deleteRoutes", "Delete route(s)");
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(remove);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* groups = new QHBoxLayout;
    groups->addWidget(m_settings);
    groups->addWidget(routing);
    auto* box = new QVBoxLayout(this);
    box->addLayout(groups);
    box->addWidget(m_list);
    box->addWidget(m_notice);
    box->addLayout(buttons);

    connect(m_autoRouting, &QCheckBox::clicked, this, [this](bool checked) {
        const bool shown = m_logic.autoRoutingClicked(checked);
        const QSignalBlocker block(m_autoRouting);
        m_autoRouting->setChecked(shown);
    });
    connect(m_set, &QPushButton::clicked, this, [this] {
        m_logic.setPressed(m_latency->value());
        if (m_logic.takeChanged())
            showState();
    });
    connect(m_connect, &QPushButton::clicked, this, [this] {
        report(m_logic.connect(m_source->value(), m_sourceHost->text().toStdString(),
                               m_destination->value(), m_destinationHost->text().toStdString()));
    });
    connect(refresh, &QPushButton::clicked, this, [this] {
        if (ipRoutingActionsAllowed(m_logic.state()))
            m_logic.refresh();
        if (m_logic.takeChanged())
            showState();
    });
    connect(remove, &QPushButton::clicked, this,
            [this] { report(m_logic.deleteRoutes(selectedListRows(m_list))); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_logic.takeChanged();
    showState();
}

void CAutoIPDlg::report(const RouteOutcome& outcome) {
    if (!outcome.message.empty())
        QMessageBox::information(this, qs(CAutoRoutingLogic::kTitle), qs(outcome.message));
    if (m_logic.takeChanged())
        showState();
}

void CAutoIPDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                 const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    if (m_logic.takeChanged())
        showState();
}

void CAutoIPDlg::showState() {
    {
        const QSignalBlocker block(m_autoRouting);
        m_autoRouting->setChecked(m_logic.autoRouting());
    }
    m_frame->setValue(m_logic.frameValue());
    if (m_logic.takeLatencyUpdate())
        m_latency->setValue(m_logic.latencyField());
    m_latency->setEnabled(m_logic.latencyEnabled());
    m_set->setEnabled(m_logic.latencyEnabled());
    m_connect->setEnabled(m_logic.connectEnabled());
    m_notice->setText(qs(m_logic.notice()));
    m_notice->setVisible(!m_logic.notice().empty());
    QList<QStringList> rows;
    std::vector<qint64> channels;
    for (const RouteRow& r : m_logic.rows()) {
        rows.append({qs(r.number), qs(r.sourceDevice), qs(r.sourceChannel), qs(r.destinationDevice),
                     qs(r.destinationChannel)});
        channels.push_back(r.channel);
    }
    refillList(m_list, rows, channels);
}

void runAutoIpDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CAutoRoutingLogic logic(engine.state(), engine, questions);
    CAutoIPDlg dialog(logic, parent);
    // Registered while it runs, so the routing replies reach it.
    const CScopedDialogSlot registered(engine.dialogs().autoIpRouting, &dialog);
    logic.opened();
    dialog.exec();
}

} // namespace velmar
