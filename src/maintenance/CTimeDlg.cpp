#include "maintenance/CTimeDlg.h"

#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <ctime>

namespace velmar {

CTimeDlg::CTimeDlg(COperatingTimeLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_sinceRestart(new QLabel(this)),
      m_restartAt(new QLabel(this)), m_total(new QLabel(this)), m_totalDays(new QLabel(this)) {
    setWindowTitle(qs(COperatingTimeLogic::kCaption));
    m_sinceRestart->setObjectName(QStringLiteral("sinceRestart"));
    m_restartAt->setObjectName(QStringLiteral("restartInstant"));
    m_total->setObjectName(QStringLiteral("totalTime"));
    m_totalDays->setObjectName(QStringLiteral("totalDays"));
    for (QLabel* below : {m_restartAt, m_totalDays})
        below->setAlignment(Qt::AlignCenter);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Time since last restart :"), this), 0, 0);
    grid->addWidget(m_sinceRestart, 0, 1);
    grid->addWidget(m_restartAt, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Total time in operation :"), this), 2, 0);
    grid->addWidget(m_total, 2, 1);
    grid->addWidget(m_totalDays, 3, 1);
    grid->addWidget(close, 4, 1, Qt::AlignRight);
    showState();
}

void CTimeDlg::onDeviceMessage(const DeviceMessage& message, bool /*isReply*/,
                               const CResponseDecoder& /*decoder*/) {
    if (m_logic.onReply(message, std::time(nullptr)))
        showState();
}

void CTimeDlg::showState() {
    m_sinceRestart->setText(qs(m_logic.sinceRestart()));
    m_restartAt->setText(qs(m_logic.restartInstant()));
    m_total->setText(qs(m_logic.totalTime()));
    m_totalDays->setText(qs(m_logic.totalDays()));
}

void runTimeDialog(CPollingEngine& engine, QWidget* parent) {
    if (!engine.state().connected)
        return;
    COperatingTimeLogic logic;
    CTimeDlg dialog(logic, parent);
    // Registered before asking, so that even a quick answer finds it.
    const CScopedDialogSlot registered(engine.dialogs().operatingTime, &dialog);
    for (const DeviceMessage& m : COperatingTimeLogic::requests())
        engine.sendRequest(m);
    dialog.exec();
}

} // namespace velmar
