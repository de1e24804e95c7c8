#include "window/CXYDlg.h"

#include "link/QtText.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmar {

namespace {
QLineEdit* numberField(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaximumWidth(80);
    return edit;
}
} // namespace

CXYDlg::CXYDlg(CXyControl& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_input(numberField(QStringLiteral("xyInput"), this)),
      m_output(numberField(QStringLiteral("xyOutput"), this)),
      m_responseInput(numberField(QStringLiteral("xyResponseInput"), this)),
      m_responseOutput(numberField(QStringLiteral("xyResponseOutput"), this)),
      m_notice(new QLabel(this)) {
    setWindowTitle(qs(CXyControl::kTitle));
    m_notice->setObjectName(QStringLiteral("xyNotice"));
    m_input->setValidator(new QIntValidator(CXyControl::kInputMin, CXyControl::kInputMax, m_input));
    m_output->setValidator(
        new QIntValidator(CXyControl::kOutputMin, CXyControl::kOutputMax, m_output));
    m_responseInput->setReadOnly(true);
    m_responseOutput->setReadOnly(true);

    auto* connectButton = new QPushButton(QStringLiteral("Connect"), this);
    connectButton->setObjectName(QStringLiteral("xyConnect"));
    auto* interrogate = new QPushButton(QStringLiteral("Interrogate output"), this);
    interrogate->setObjectName(QStringLiteral("xyInterrogate"));
    auto* burst = new QPushButton(QStringLiteral("BURST"), this);
    burst->setObjectName(QStringLiteral("xyBurst"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(connectButton, &QPushButton::clicked, this, [this] {
        m_logic.connectPressed(input(), output());
        showNotice();
    });
    connect(interrogate, &QPushButton::clicked, this, [this] {
        m_logic.interrogatePressed(output());
        showNotice();
    });
    connect(burst, &QPushButton::clicked, this, [this] {
        m_logic.burstPressed(input(), output());
        showNotice();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* response = new QGroupBox(QStringLiteral("( Response )"), this);
    auto* responseGrid = new QGridLayout(response);
    responseGrid->addWidget(new QLabel(QStringLiteral("Input")), 0, 0);
    responseGrid->addWidget(new QLabel(QStringLiteral("Output")), 0, 1);
    responseGrid->addWidget(m_responseInput, 1, 0);
    responseGrid->addWidget(m_responseOutput, 1, 1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Input")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Output")), 0, 1);
    grid->addWidget(m_input, 1, 0);
    grid->addWidget(m_output, 1, 1);
    grid->addWidget(connectButton, 1, 2);
    grid->addWidget(interrogate, 2, 2);
    grid->addWidget(response, 3, 0, 1, 2);
    grid->addWidget(burst, 4, 0);
    grid->addWidget(new QLabel(qs(CXyControl::kBurstText)), 4, 1, 1, 2);
    grid->addWidget(m_notice, 5, 0, 1, 2);
    grid->addWidget(close, 5, 2);
    connectButton->setDefault(true);
}

int CXYDlg::input() const { return m_input->text().toInt(); }

int CXYDlg::output() const { return m_output->text().toInt(); }

void CXYDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                             const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    if (m_logic.takeResponseChanged())
        showResponse();
}

void CXYDlg::showResponse() {
    m_responseInput->setText(QString::fromStdString(m_logic.responseInputText()));
    m_responseOutput->setText(QString::fromStdString(m_logic.responseOutputText()));
}

void CXYDlg::showNotice() { m_notice->setText(qs(m_logic.notice())); }

void CXYDlg::done(int result) {
    // Closing the dialog, by its button or its window, ends a running burst.
    m_logic.closed();
    QDialog::done(result);
}

} // namespace velmar
