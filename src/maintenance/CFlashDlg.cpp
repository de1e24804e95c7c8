#include "maintenance/CFlashDlg.h"

#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"
#include "engine/StateObserver.h"
#include "maintenance/CFileInfoDlg.h"
#include "maintenance/FlashFiles.h"

#include <QApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace velmar {

namespace {

const QStringList& flashFilters() {
    static const QStringList filters{QStringLiteral("Flash file (*.flash)"),
                                     QStringLiteral("All Files (*)")};
    return filters;
}

const QString kFlashSuffix = QStringLiteral("flash");

} // namespace

CFlashDlg::CFlashDlg(CPollingEngine& engine, std::function<void()> afterRestart, QWidget* parent)
    : QDialog(parent), m_engine(engine), m_afterRestart(std::move(afterRestart)),
      m_timers([this](int id) {
          if (id != kTimerFirmware)
              return;
          m_run.onTimer();
          if (m_run.closeWanted())
              QDialog::reject(); // restarted: the frame goes away
      }),
      m_run(m_timers, engine, *this) {
    setWindowTitle(qs(kFlashCaption));
    m_run.setDevice(engine.state().family, engine.state().runMode, engine.frameLabel());

    m_filesButton = new QPushButton(QStringLiteral("Flash file(s) ..."), this);
    m_filesButton->setObjectName(QStringLiteral("flashFilesButton"));
    m_fileLabel = new QLabel(this);
    m_fileLabel->setObjectName(QStringLiteral("flashFileName"));
    m_lineLabel = new QLabel(QStringLiteral("0"), this);
    m_lineLabel->setObjectName(QStringLiteral("flashLine"));
    m_countLabel = new QLabel(QStringLiteral("of 0 records programmed"), this);
    m_countLabel->setObjectName(QStringLiteral("flashCount"));
    m_fileOfLabel = new QLabel(this);
    m_fileOfLabel->setObjectName(QStringLiteral("flashFileOf"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("flashProgress"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_failureLabel = new QLabel(this);
    m_failureLabel->setObjectName(QStringLiteral("flashFailure"));
    m_failureLabel->setWordWrap(true);
    m_failureLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_failureLabel->setStyleSheet(QStringLiteral(
        "QLabel { color: #ffffff; background: #a00000; padding: 6px; font-weight: bold; }"));
    m_failureLabel->hide();
    m_closeButton = new QPushButton(QStringLiteral("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("flashClose"));
    m_closeButton->setAutoDefault(false);
    m_filesButton->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_filesButton, 0, 0);
    grid->addWidget(m_fileLabel, 0, 1, 1, 3);
    grid->addWidget(m_lineLabel, 1, 0, Qt::AlignRight);
    grid->addWidget(m_countLabel, 1, 1);
    grid->addWidget(m_fileOfLabel, 1, 3, Qt::AlignRight);
    grid->addWidget(m_bar, 2, 0, 1, 4);
    grid->addWidget(m_failureLabel, 3, 0, 1, 4);
    grid->addWidget(m_closeButton, 4, 3);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(460);

    connect(m_filesButton, &QPushButton::clicked, this, &CFlashDlg::chooseFiles);
    connect(m_closeButton, &QPushButton::clicked, this, &CFlashDlg::reject);

    // The link ends outside the dialog's sight (the socket belongs to the
    // main window); a short look keeps "at once" within a tenth of a second.
    m_linkWatch = new QTimer(this);
    m_linkWatch->setInterval(100);
    connect(m_linkWatch, &QTimer::timeout, this, &CFlashDlg::watchLink);
    m_linkWatch->start();
    updateButtons();
}

CFlashDlg::~CFlashDlg() {
    // Whatever is still out, its answer must find nothing to go on with.
    m_run.close();
}

bool CFlashDlg::mayStart() const {
    const DeviceState& s = m_engine.state();
    return s.connected && !s.programming && !m_run.busy();
}

void CFlashDlg::chooseFiles() {
    if (!mayStart())
        return;
    const QStringList paths =
        askFilePaths(this, QStringLiteral("Open flash file"), flashFilters(), kFlashSuffix);
    startWith(paths);
}

void CFlashDlg::startWith(const QStringList& paths) {
    if (!mayStart())
        return;
    std::vector<std::string> list;
    for (const QString& p : paths)
        list.push_back(p.toStdString());
    m_run.setDevice(m_engine.state().family, m_engine.state().runMode, m_engine.frameLabel());
    m_frame = std::make_unique<DeviceState>(m_engine.state());
    m_run.start(list);
    updateButtons();
}

void CFlashDlg::watchLink() {
    if (!m_engine.state().connected && m_run.busy())
        m_run.linkLost();
    updateButtons();
}

void CFlashDlg::updateButtons() {
    // Greyed while a run goes on or without a link, so it never looks as if a
    // second run could start.
    const bool may = mayStart();
    if (m_filesButton->isEnabled() != may)
        m_filesButton->setEnabled(may);
}

void CFlashDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                const CResponseDecoder&) {
    if (isReply)
        m_run.onReply(message);
}

void CFlashDlg::reject() {
    if (m_run.close())
        QDialog::reject();
}

void CFlashDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept(); // only "Close" ends the dialog
        return;
    }
    QDialog::keyPressEvent(event);
}

std::optional<std::string> CFlashDlg::readFile(const std::string& path) {
    return readFlashFile(QString::fromStdString(path));
}

void CFlashDlg::showMessage(std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, windowTitle(), qs(text), QMessageBox::Ok, this);
    box.exec();
}

void CFlashDlg::showWarning(std::string_view text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), qs(text), QMessageBox::Ok, this);
    box.exec();
}

bool CFlashDlg::askYesNo(FlashQuestion question, std::string_view text) {
    QMessageBox box(QMessageBox::Question, windowTitle(), qs(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    // Enter must never start programming: the safe answer is the default.
    if (question != FlashQuestion::Restart)
        box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CFlashDlg::showFailure(std::string_view text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), qs(text), QMessageBox::Ok, this);
    box.exec();
}

void CFlashDlg::fileEnded(const FlashOutcome& outcome) {
    if (IStateObserver* log = m_engine.stateObserver())
        log->firmwareEnded(m_frame ? *m_frame : m_engine.state(), outcome);
}

void CFlashDlg::displayChanged(const FlashDisplay& d) {
    m_lineLabel->setText(qs(d.line));
    m_countLabel->setText(qs(d.count));
    m_fileLabel->setText(qs(d.file));
    m_fileOfLabel->setText(qs(d.fileOf));
    m_bar->setValue(d.bar);
    m_closeButton->setEnabled(d.closeEnabled);
    const bool failed = !d.failure.empty();
    m_failureLabel->setText(qs(d.failure));
    m_failureLabel->setVisible(failed);
    m_bar->setStyleSheet(failed ? QStringLiteral("QProgressBar::chunk { background: #a00000; }")
                                : QString());
    if (failed)
        m_bar->setFormat(QStringLiteral("Failed at %p%"));
    else
        m_bar->resetFormat();
    updateButtons();
}

void CFlashDlg::programmingChanged(bool on) { m_engine.setProgramming(on); }

void CFlashDlg::restartRequested() {
    if (m_afterRestart)
        m_afterRestart();
}

// ---- openers ----------------------------------------------------------------

void runFlashDialog(CPollingEngine& engine, QWidget* parent, std::function<void()> afterRestart) {
    CFlashDlg dialog(engine, std::move(afterRestart), parent);
    engine.dialogs().firmwareUpdate = &dialog;
    dialog.exec();
    engine.dialogs().firmwareUpdate = nullptr;
    engine.setProgramming(false);
}

void runFlashJoin(QWidget* parent) {
    CFileInfoDlg info(parent);
    if (info.exec() != QDialog::Accepted)
        return;
    const std::string release = info.release();
    // Proposed with its suffix, or the dialog takes a release's dot for the
    // start of one and replaces what follows it.
    const QString proposed = qs(flashJoinFileName(info.type(), release)) + QStringLiteral(".flash");
    const QString path =
        askFilePath(parent, FileDialogKind::Save, QStringLiteral("Save all flash file"),
                    flashFilters(), kFlashSuffix, proposed);
    if (path.isEmpty())
        return; // cancelled
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string error =
        joinFlashFilesAt(QFileInfo(path).absolutePath(), path, info.type(), release);
    QApplication::restoreOverrideCursor();
    if (!error.empty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Save all flash file"), qs(error),
                        QMessageBox::Ok, parent);
        box.exec();
    }
}

} // namespace velmar
