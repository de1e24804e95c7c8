#include "iprouting/CPPMDlg.h"

#include "controls/CListCtrlEx.h"
#include "iprouting/IpRouting.h"
#include "iprouting/IpRoutingWidgets.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
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

} // namespace

CPPMCreateDlg::CPPMCreateDlg(CPpmLogic& logic, const PpmCreateSettings& initial, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_problem(new QLabel(this)),
      m_id(rangedField(this, "streamId", 1, 65535, 1)), m_address(new QLineEdit(this)),
      m_port(rangedField(this, "port", 1000, 65535, 10100)),
      m_channels(rangedField(this, "channelCount", 2, kPpmSlots, 64)),
      m_rate(rangedField(this, "rate", 10, 60000, 50)),
      m_phase(new QCheckBox(QStringLiteral(" Phase"), this)) {
    setWindowTitle(QStringLiteral("PPM stream settings"));
    m_address->setObjectName(QStringLiteral("address"));
    m_phase->setObjectName(QStringLiteral("phase"));
    m_id->setValue(static_cast<int>(std::min<std::uint32_t>(initial.id, 65535)));
    m_address->setText(qs(initial.address));
    m_port->setValue(initial.port);
    m_channels->setValue(initial.channels);
    m_rate->setValue(initial.rate);
    m_phase->setChecked(initial.phase);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Stream ID"), m_id);
    form->addRow(QStringLiteral("IP address"), m_address);
    form->addRow(QStringLiteral("Port"), m_port);
    form->addRow(QStringLiteral("Channel count"), m_channels);
    form->addRow(QStringLiteral("Rate (ms)"), m_rate);
    form->addRow(m_phase);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->hide();
    form->addRow(m_problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("ok"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CPPMCreateDlg::okPressed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void CPPMCreateDlg::okPressed() {
    const PpmOutcome outcome = m_logic.createWith(settings());
    if (outcome.sent) {
        accept();
        return;
    }
    m_problem->setText(qs(outcome.message));
    m_problem->show();
    QWidget* field = nullptr;
    switch (outcome.field) {
    case PpmField::StreamId: field = m_id; break;
    case PpmField::Address: field = m_address; break;
    case PpmField::Port: field = m_port; break;
    case PpmField::Channels: field = m_channels; break;
    case PpmField::Rate: field = m_rate; break;
    case PpmField::None: break;
    }
    if (field != nullptr)
        field->setFocus();
    if (field == m_address)
        m_address->selectAll();
}

PpmCreateSettings CPPMCreateDlg::settings() const {
    PpmCreateSettings s;
    s.id = static_cast<std::uint32_t>(m_id->value());
    s.address = m_address->text().trimmed().toStdString();
    s.port = m_port->value();
    s.channels = m_channels->value();
    s.rate = m_rate->value();
    s.phase = m_phase->isChecked();
    return s;
}

CPPMDlg::CPPMDlg(CPpmLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_streams(new CListCtrlEx(this)),
      m_assignment(new CListCtrlEx(this)),
      m_channels(rangedField(this, "quickChannels", 1, kPpmSlots, logic.quick().channels)),
      m_rate(rangedField(this, "quickRate", 10, 60000, logic.quick().rate)),
      m_firstChannel(
          rangedField(this, "firstChannel", 1, kPpmFirstChannelMax, logic.quick().firstChannel)),
      m_createTarget(new QLabel(this)), m_notice(new QLineEdit(this)) {
    setWindowTitle(qs(CPpmLogic::kTitle));
    m_notice->setObjectName(QStringLiteral("ppmNotice"));
    m_notice->setReadOnly(true);

    m_streams->setObjectName(QStringLiteral("streams"));
    m_streams->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const char* title :
         {"Stream ID", "IP address", "Port", "Channels", "Time", "Phase", "Enable"})
        m_streams->addColumn(QLatin1String(title));
    for (int c = 0; c < 7; ++c)
        m_streams->setColumnReadOnly(c, true);
    m_streams->setContextMenuPolicy(Qt::CustomContextMenu);
    m_streams->horizontalHeader()->setStretchLastSection(true);
    m_streams->setMinimumSize(560, 160);
    m_assignment->setObjectName(QStringLiteral("assignment"));
    m_assignment->addColumn(QStringLiteral("Stream ID"));
    m_assignment->addColumn(QStringLiteral("Channel assignment"));
    m_assignment->setColumnReadOnly(0, true);
    m_assignment->setColumnReadOnly(1, true);
    m_assignment->horizontalHeader()->setStretchLastSection(true);
    m_assignment->setMaximumHeight(80);

    auto* group =
        new QGroupBox(QStringLiteral(" Current created streams and channel allocation "), this);
    auto* groupBox = new QVBoxLayout(group);
    groupBox->addWidget(m_streams);
    groupBox->addWidget(m_assignment);

    auto* refresh = button(this, "refresh", "Refresh");
    auto* create = button(this, "create", "Create");
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(create);
    // The quick "Create" sends to what the settings form chose last: say where.
    m_createTarget->setObjectName(QStringLiteral("createTarget"));
    buttons->addWidget(m_createTarget);
    buttons->addWidget(new QLabel(QStringLiteral("Channels"), this));
    buttons->addWidget(m_channels);
    buttons->addWidget(new QLabel(QStringLiteral("Rate (ms)"), this));
    buttons->addWidget(m_rate);
    buttons->addWidget(new QLabel(QStringLiteral("First channel"), this));
    buttons->addWidget(m_firstChannel);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addWidget(group);
    box->addWidget(m_notice);
    box->addLayout(buttons);

    connect(refresh, &QPushButton::clicked, this, [this] {
        if (ipRoutingActionsAllowed(m_logic.state()))
            m_logic.refresh();
        if (m_logic.takeChanged())
            showState();
    });
    connect(create, &QPushButton::clicked, this, [this] {
        readQuickFields();
        report(m_logic.create());
    });
    connect(m_streams, &QWidget::customContextMenuRequested, this, &CPPMDlg::openMenu);
    connect(m_streams, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        m_logic.showAssignment(
            static_cast<std::uint32_t>(m_streams->table().row(index.row()).userData));
        if (m_logic.takeChanged())
            showState();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    m_logic.takeChanged();
    showState();
}

void CPPMDlg::readQuickFields() {
    m_logic.quick().channels = m_channels->value();
    m_logic.quick().rate = m_rate->value();
    m_logic.quick().firstChannel = m_firstChannel->value();
}

void CPPMDlg::report(const PpmOutcome& outcome) {
    if (!outcome.message.empty())
        QMessageBox::information(this, qs(CPpmLogic::kTitle), qs(outcome.message));
    showCreateTarget();
    if (m_logic.takeChanged())
        showState();
}

void CPPMDlg::removeSelected() { report(m_logic.removeSelected(selectedListRows(m_streams))); }
void CPPMDlg::toggleEnable() { report(m_logic.toggleEnable(selectedListRows(m_streams))); }
void CPPMDlg::assignChannels() {
    readQuickFields();
    report(m_logic.assignChannels(selectedListRows(m_streams)));
}
void CPPMDlg::deassignChannels() {
    readQuickFields();
    report(m_logic.deassignChannels(selectedListRows(m_streams)));
}

void CPPMDlg::createWithSettings() {
    readQuickFields();
    // The form starts from its own defaults each time; OK creates the stream.
    CPPMCreateDlg dialog(m_logic, PpmCreateSettings{}, this);
    dialog.exec();
    report({});
}

void CPPMDlg::openMenu(const QPoint& at) {
    QMenu menu(this);
    const QModelIndex clicked = m_streams->indexAt(at);
    if (!selectedListRows(m_streams).empty()) {
        menu.addAction(QStringLiteral("Remove selected"), this, &CPPMDlg::removeSelected);
        menu.addSeparator();
        QAction* enable =
            menu.addAction(QStringLiteral("Enable/Disable"), this, &CPPMDlg::toggleEnable);
        enable->setCheckable(true);
        enable->setChecked(clicked.isValid() &&
                           m_streams->text(clicked.row(), 6) == QStringLiteral("1"));
        menu.addAction(QStringLiteral("Assign channels"), this, &CPPMDlg::assignChannels);
        menu.addAction(QStringLiteral("Deassign channels"), this, &CPPMDlg::deassignChannels);
        menu.addSeparator();
    }
    menu.addAction(QStringLiteral("Create ..."), this, &CPPMDlg::createWithSettings);
    menu.exec(m_streams->viewport()->mapToGlobal(at));
}

void CPPMDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                              const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    if (m_logic.takeChanged())
        showState();
}

void CPPMDlg::showState() {
    QList<QStringList> rows;
    std::vector<qint64> ids;
    for (const PpmRow& r : m_logic.rows()) {
        rows.append({qs(r.streamId), qs(r.address), qs(r.port), qs(r.channels), qs(r.time),
                     qs(r.phase), qs(r.enable)});
        ids.push_back(static_cast<qint64>(r.id));
    }
    refillList(m_streams, rows, ids);
    QList<QStringList> assignment;
    if (m_logic.assignmentStream() != 0)
        assignment.append(
            {QString::number(m_logic.assignmentStream()), qs(m_logic.assignmentText())});
    m_assignment->setRows(assignment);
    m_notice->setText(qs(m_logic.notice()));
    m_notice->setVisible(!m_logic.notice().empty());
    showCreateTarget();
}

void CPPMDlg::showCreateTarget() {
    m_createTarget->setText(QLatin1Char('(') + qs(m_logic.createTarget()) + QLatin1Char(')'));
}

void runPpmDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CPpmLogic logic(engine.state(), engine, questions);
    CPPMDlg dialog(logic, parent);
    // Registered while it runs, so the stream replies reach it.
    const CScopedDialogSlot registered(engine.dialogs().ppmStreams, &dialog);
    logic.opened();
    dialog.exec();
}

} // namespace velmar
