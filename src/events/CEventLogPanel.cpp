#include "events/CEventLogPanel.h"

#include "VelmarVersion.h"
#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "engine/FileAccess.h"

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QClipboard>
#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

namespace velmar {

// ---- model ----

int CEventLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows);
}

int CEventLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColCount;
}

QVariant CEventLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const std::size_t row = static_cast<std::size_t>(index.row()) + m_offset;
    if (row >= m_history.rowCount())
        return {};
    const Event& e = m_history.row(row);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case ColTime: return qs(formatEventTime(e.timeMs));
        case ColSeverity: return qs(severityName(e.severity));
        case ColFrame: return qs(frameLabel(e.frame));
        case ColText: return qs(e.text);
        default: return {};
        }
    }
    // Alarms red, warnings amber: readable with either palette's text colour.
    if (role == Qt::BackgroundRole) {
        if (e.severity == EventSeverity::Alarm)
            return QBrush(QColor(255, 170, 170));
        if (e.severity == EventSeverity::Warning)
            return QBrush(QColor(255, 225, 150));
        return {};
    }
    if (role == Qt::ForegroundRole && e.severity != EventSeverity::Info)
        return QBrush(Qt::black);
    return {};
}

QVariant CEventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColTime: return QStringLiteral("Time (UTC)");
    case ColSeverity: return QStringLiteral("Severity");
    case ColFrame: return QStringLiteral("Frame");
    case ColText: return QStringLiteral("Event");
    default: return {};
    }
}

int CEventLogModel::refresh() {
    const std::size_t now = m_history.rowCount();
    std::size_t inserted = 0;
    while (inserted < now && (m_rows == 0 || m_history.sequence(inserted) > m_topSeq))
        ++inserted;
    const std::size_t kept = now - inserted;
    if (m_history.rebuilds() != m_rebuilds || kept > m_rows) {
        beginResetModel();
        m_rebuilds = m_history.rebuilds();
        m_rows = now;
        m_topSeq = now > 0 ? m_history.sequence(0) : 0;
        endResetModel();
        return 0;
    }
    // The view's rows are the history's from `inserted` on until it is told.
    m_offset = inserted;
    if (kept < m_rows) {
        beginRemoveRows({}, static_cast<int>(kept), static_cast<int>(m_rows) - 1);
        m_rows = kept;
        endRemoveRows();
    }
    if (inserted > 0) {
        beginInsertRows({}, 0, static_cast<int>(inserted) - 1);
        m_offset = 0;
        m_rows = now;
        m_topSeq = m_history.sequence(0);
        endInsertRows();
    }
    m_offset = 0;
    return static_cast<int>(inserted);
}

// ---- panel ----

// The deriver's timer: tells a flapping value's settling while no message
// arrives.
class CPanelFlapTimer final : public ITimerHost {
public:
    CPanelFlapTimer(QObject* context, const std::function<void()>& action) {
        QObject::connect(&m_timer, &QTimer::timeout, context, action);
    }
    void startTimer(int, int periodMs) override { m_timer.start(periodMs); }
    void stopTimer(int) override { m_timer.stop(); }

private:
    QTimer m_timer;
};

CEventLogPanel::CEventLogPanel(const QString& logFolder, QWidget* parent)
    : QDockWidget(QStringLiteral("Event log"), parent) {
    setObjectName(QStringLiteral("eventLogPanel"));
    m_fanOut.add(m_history);
    if (!logFolder.isEmpty()) {
        auto file = std::make_unique<CEventLogFile>(logFolder, std::string(kVersion), m_clock);
        // Told on the writer's thread; shown on this one.
        file->setErrorHandler([this](const std::string& why) {
            const QString text = QStringLiteral("Event log not written: ") + qs(why);
            QMetaObject::invokeMethod(
                this, [this, text] { Q_EMIT logProblem(text); }, Qt::QueuedConnection);
        });
        m_writer = std::make_unique<CEventLogWriter>(std::move(file), m_clock);
        m_fanOut.add(*m_writer);
    }
    m_flapTimer = std::make_unique<CPanelFlapTimer>(this, [this] { m_deriver->checkSettled(); });
    m_deriver = std::make_unique<CEventDeriver>(m_clock, m_fanOut, m_flapTimer.get());

    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    auto* bar = new QHBoxLayout;
    m_severity = new QComboBox(body);
    m_severity->setObjectName(QStringLiteral("eventSeverityFilter"));
    m_severity->addItems({QStringLiteral("All events"), QStringLiteral("Warnings and alarms"),
                          QStringLiteral("Alarms only")});
    m_frame = new QComboBox(body);
    m_frame->setObjectName(QStringLiteral("eventFrameFilter"));
    m_frame->addItem(QStringLiteral("All frames"), QString());
    m_search = new QLineEdit(body);
    m_search->setObjectName(QStringLiteral("eventSearch"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    auto* copy = new QPushButton(QStringLiteral("&Copy"), body);
    copy->setObjectName(QStringLiteral("eventCopy"));
    auto* exportButton = new QPushButton(QStringLiteral("&Export CSV..."), body);
    exportButton->setObjectName(QStringLiteral("eventExport"));
    m_acknowledge = new QPushButton(QStringLiteral("&Acknowledge alarm"), body);
    m_acknowledge->setObjectName(QStringLiteral("eventAcknowledge"));
    m_acknowledge->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{m_severity, m_frame, m_search, copy,
                                                      exportButton, m_acknowledge})
        bar->addWidget(w);
    layout->addLayout(bar);

    m_alarmLabel = new QLabel(body);
    m_alarmLabel->setObjectName(QStringLiteral("eventAlarm"));
    m_alarmLabel->setStyleSheet(
        QStringLiteral("QLabel { background: #c00000; color: white; padding: 3px; }"));
    m_alarmLabel->hide();
    layout->addWidget(m_alarmLabel);

    m_model = new CEventLogModel(m_history, this);
    m_table = new QTableView(body);
    m_table->setObjectName(QStringLiteral("eventTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    // The time stamp is the column one reads first: wide enough for all of it.
    m_table->setColumnWidth(
        0,
        m_table->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-08 20:10:55.761")) + 16);
    // A frame reads as its name and address: room for a long name and a full address.
    m_table->setColumnWidth(CEventLogModel::ColFrame,
                            m_table->fontMetrics().horizontalAdvance(
                                QStringLiteral("Studio A Rack 12 (255.255.255.255)")) +
                                16);
    layout->addWidget(m_table);
    setWidget(body);

    auto* copyShortcut = new QAction(this);
    copyShortcut->setShortcut(QKeySequence::Copy);
    copyShortcut->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_table->addAction(copyShortcut);
    connect(copyShortcut, &QAction::triggered, this, [this] { copySelection(); });

    connect(m_severity, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(m_frame, &QComboBox::currentIndexChanged, this, [this] { applyFilter(); });
    connect(m_search, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(copy, &QPushButton::clicked, this, [this] { copySelection(); });
    connect(m_acknowledge, &QPushButton::clicked, this, [this] { acknowledge(); });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path =
            askFilePath(this, FileDialogKind::Save, QStringLiteral("Export events"),
                        {QStringLiteral("CSV files (*.csv)")}, QStringLiteral("csv"),
                        QStringLiteral("events.csv"));
        if (path.isEmpty())
            return;
        if (const std::string why = exportCsv(path); !why.empty())
            QMessageBox::warning(this, QStringLiteral("Event log"), qs(asSentence(why)));
    });

    m_history.setListener([this] { onHistoryChanged(); });
}

CEventLogPanel::~CEventLogPanel() {
    m_history.setListener(nullptr);
    // The writer's last lines must not report into a panel that is gone.
    m_writer.reset();
}

void CEventLogPanel::onHistoryChanged() {
    // An operator reading further down keeps the same rows in sight; at the
    // top, the newest events come into view.
    QScrollBar* scroll = m_table->verticalScrollBar();
    const int position = scroll->value();
    const int inserted = m_model->refresh();
    if (position > 0 && inserted > 0)
        scroll->setValue(position + inserted);
    if (m_history.frames().size() != m_framesListed)
        refillFrames();
    const QString alarm = alarmText();
    if (alarm == m_shownAlarm)
        return;
    m_shownAlarm = alarm;
    m_alarmLabel->setText(alarm);
    m_alarmLabel->setVisible(!alarm.isEmpty());
    m_acknowledge->setEnabled(!alarm.isEmpty());
    Q_EMIT alarmChanged(alarm);
}

void CEventLogPanel::refillFrames() {
    // New frames are appended; the chosen one stays chosen.
    const std::vector<FrameIdentity>& frames = m_history.frames();
    for (std::size_t k = m_framesListed; k < frames.size(); ++k)
        m_frame->addItem(qs(frameLabel(frames[k])), qs(frames[k].address));
    m_framesListed = frames.size();
}

void CEventLogPanel::applyFilter() {
    CEventHistory::Filter f;
    f.minimum = static_cast<EventSeverity>(std::max(0, m_severity->currentIndex()));
    f.address = m_frame->currentData().toString().toStdString();
    f.search = m_search->text().toStdString();
    m_history.setFilter(std::move(f));
}

QString CEventLogPanel::alarmText() const {
    const std::optional<Event>& alarm = m_history.pendingAlarm();
    if (!alarm)
        return {};
    QString text = QStringLiteral("ALARM: ") + qs(frameLabel(alarm->frame)) + QStringLiteral(": ") +
                   qs(alarm->text);
    if (const int more = m_history.pendingAlarmCount() - 1; more > 0)
        text += QStringLiteral(" (and %1 more)").arg(more);
    return text;
}

void CEventLogPanel::acknowledge() { m_history.acknowledge(); }

QString CEventLogPanel::selectedText() const {
    std::set<int> rows;
    if (m_table->selectionModel())
        for (const QModelIndex& index : m_table->selectionModel()->selectedRows())
            rows.insert(index.row());
    if (rows.empty())
        for (int r = 0; r < m_model->rowCount(); ++r)
            rows.insert(r);
    QString text;
    for (const int r : rows) {
        for (int c = 0; c < CEventLogModel::ColCount; ++c) {
            if (c > 0)
                text += QLatin1Char('\t');
            text += m_model->data(m_model->index(r, c), Qt::DisplayRole).toString();
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void CEventLogPanel::copySelection() const { QApplication::clipboard()->setText(selectedText()); }

std::string CEventLogPanel::exportCsv(const QString& path) const {
    std::string csv = eventCsvHeader();
    for (std::size_t k = 0; k < m_history.rowCount(); ++k)
        csv += eventCsvLine(m_history.row(k));
    return writeFileAtomically(path, csv);
}

} // namespace velmar
