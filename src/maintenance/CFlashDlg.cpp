#include "maintenance/CFlashDlg.h"

#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "main/PollingEngine.h"
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
    m_run.setDevice(engine.state().family, engine.state().runMode);

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
    grid->addWidget(m_closeButton, 3, 3);

    connect(m_filesButton, &QPushButton::clicked, this, &CFlashDlg::chooseFiles);
    connect(m_closeButton, &QPushButton::clicked, this, &CFlashDlg::reject);
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
    m_run.setDevice(m_engine.state().family, m_engine.state().runMode);
    m_run.start(list);
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

bool CFlashDlg::askYesNo(FlashQuestion, std::string_view text) {
    QMessageBox box(QMessageBox::Question, windowTitle(), qs(text),
                    QMessageBox::Yes | QMessageBox::No, this);
    return box.exec() == QMessageBox::Yes;
}

void CFlashDlg::displayChanged(const FlashDisplay& d) {
    m_lineLabel->setText(qs(d.line));
    m_countLabel->setText(qs(d.count));
    m_fileLabel->setText(qs(d.file));
    m_fileOfLabel->setText(qs(d.fileOf));
    m_bar->setValue(d.bar);
    m_closeButton->setEnabled(d.closeEnabled);
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
