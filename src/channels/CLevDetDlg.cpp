#include "channels/CLevDetDlg.h"

#include "channels/CChannelList.h"
#include "channels/CRunProgress.h"
#include "controls/CListCtrlEx.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

namespace {
constexpr std::array<const char*, 4> kFieldNames{"Time1", "Level1", "Time2", "Level2"};
constexpr std::array<const char*, 4> kUnits{"ms", "dB", "ms", "dB"};
} // namespace

CLevDetDlg::CLevDetDlg(CLevelDetectors& logic, CPollingEngine& engine, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_engine(engine), m_list(new CListCtrlEx(this)),
      m_activeOnly(new QCheckBox(QStringLiteral(" Show active only"), this)),
      m_notice(new QLabel(this)) {
    setWindowTitle(qs(CLevelDetectors::kTitle));
    m_list->setObjectName(QStringLiteral("levelDetectors"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const char* title : {"Channel", "Type", "Input", "Output"})
        m_list->addColumn(QLatin1String(title));
    for (int c = 0; c < 4; ++c)
        m_list->setColumnReadOnly(c, true);
    // The six numbers of a cell must fit: size both value columns for the widest.
    const int cellWidth =
        m_list->fontMetrics().horizontalAdvance(qs(CLevelDetectors::kWidestCell)) + 24;
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setColumnWidth(0, 70);
    m_list->setColumnWidth(1, 70);
    m_list->setColumnWidth(2, cellWidth);
    m_list->setMinimumSize(140 + 2 * cellWidth + 40, 320);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    new CChannelListKeys(m_list);
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        contextMenu()->exec(m_list->viewport()->mapToGlobal(pos + QPoint(5, 0)));
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { loadRow(current.row()); });
    connect(m_list, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { loadRow(index.row()); });

    m_activeOnly->setObjectName(QStringLiteral("showActiveOnly"));
    connect(m_activeOnly, &QCheckBox::toggled, this, [this](bool on) {
        m_logic.setShowActiveOnly(on);
        refresh();
    });
    m_notice->setObjectName(QStringLiteral("levelNotice"));
    m_notice->setWordWrap(true);

    auto* applyAllButton = new QPushButton(QStringLiteral("Apply all"), this);
    auto* clearAll = new QPushButton(QStringLiteral("Clear all"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    applyAllButton->setObjectName(QStringLiteral("applyAll"));
    clearAll->setObjectName(QStringLiteral("clearAll"));
    close->setObjectName(QStringLiteral("close"));
    for (QPushButton* b : {applyAllButton, clearAll})
        b->setAutoDefault(false);
    connect(applyAllButton, &QPushButton::clicked, this, &CLevDetDlg::applyAll);
    connect(clearAll, &QPushButton::clicked, this, [this] {
        run(m_logic.clearAllPressed(), QStringLiteral("Clearing level detectors ..."));
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* group =
        new QGroupBox(QStringLiteral(" Threshold, enable and status (mono channels) "), this);
    auto* groupBox = new QVBoxLayout(group);
    groupBox->addWidget(m_list);
    auto* legend = new QLabel(qs(CLevelDetectors::kLegend), group);
    legend->setObjectName(QStringLiteral("levelLegend"));
    legend->setWordWrap(true);
    groupBox->addWidget(legend);
    auto* sides = new QHBoxLayout;
    sides->addWidget(sideBlock(DetectorSide::Input, "input"));
    sides->addWidget(sideBlock(DetectorSide::Output, "output"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(applyAllButton);
    buttons->addWidget(clearAll);
    buttons->addWidget(m_activeOnly);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addWidget(group);
    box->addLayout(sides);
    box->addWidget(m_notice);
    box->addLayout(buttons);
    refresh();
}

QWidget* CLevDetDlg::sideBlock(DetectorSide side, const char* prefix) {
    const bool input = side == DetectorSide::Input;
    auto* block = new QGroupBox(input ? QStringLiteral("Input") : QStringLiteral("Output"), this);
    auto* grid = new QGridLayout(block);
    SideFields& fields = m_fields[static_cast<std::size_t>(side)];
    const std::array<QString, 4> captions{QStringLiteral("Time 1"), QStringLiteral("Level 1"),
                                          QStringLiteral("Time 2"), QStringLiteral("Level 2")};
    for (std::size_t i = 0; i < 4; ++i) {
        auto* edit = new QLineEdit(block);
        edit->setObjectName(QLatin1String(prefix) + QLatin1String(kFieldNames[i]));
        fields.edits[i] = edit;
        const int row = static_cast<int>(i);
        grid->addWidget(new QLabel(captions[i], block), row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(new QLabel(QLatin1String(kUnits[i]), block), row, 2);
    }
    fields.enable = new QCheckBox(QStringLiteral(" Enable"), block);
    fields.enable->setObjectName(QLatin1String(prefix) + QLatin1String("Enable"));
    auto* apply = new QPushButton(QStringLiteral("Apply"), block);
    apply->setObjectName(QLatin1String(prefix) + QLatin1String("Apply"));
    apply->setAutoDefault(false);
    connect(apply, &QPushButton::clicked, this, [this, side] { applySide(side); });
    grid->addWidget(fields.enable, 4, 0, 1, 2);
    grid->addWidget(apply, 4, 2);
    return block;
}

void CLevDetDlg::fillAll() {
    QList<QStringList> rows;
    const auto count = static_cast<int>(m_logic.rows().size());
    for (int row = 0; row < count; ++row) {
        QStringList cells;
        for (const std::string& text : m_logic.rowTexts(row))
            cells << qs(text);
        rows.append(cells);
    }
    m_list->setRows(rows);
    for (int row = 0; row < count; ++row)
        m_list->setRowUserData(row, m_logic.rows()[static_cast<std::size_t>(row)]);
}

void CLevDetDlg::refresh() {
    if (m_logic.takeFullRefresh()) {
        fillAll();
        return;
    }
    const std::vector<int> changed = m_logic.takeChangedChannels();
    if (changed.empty())
        return;
    const auto& rows = m_logic.rows();
    for (int channel : changed) {
        // Rows hold their channel numbers; without the filter the row is known.
        int row = -1;
        if (!m_logic.showActiveOnly()) {
            row = m_logic.range().rowOfChannel(channel);
        } else {
            const auto it = std::lower_bound(rows.begin(), rows.end(), channel);
            if (it != rows.end() && *it == channel)
                row = static_cast<int>(it - rows.begin());
        }
        if (row < 0 || row >= m_list->rowCount())
            continue;
        m_list->setText(row, 2, qs(m_logic.cellText(DetectorSide::Input, channel)));
        m_list->setText(row, 3, qs(m_logic.cellText(DetectorSide::Output, channel)));
    }
}

void CLevDetDlg::loadRow(int row) {
    if (row < 0 || row >= m_list->rowCount())
        return;
    const int channel = static_cast<int>(m_list->rowUserData(row));
    for (DetectorSide side : {DetectorSide::Input, DetectorSide::Output}) {
        const DetectorFields f = m_logic.fieldsOf(side, channel);
        SideFields& fields = m_fields[static_cast<std::size_t>(side)];
        const std::array<std::int64_t, 4> values{f.time1, f.level1, f.time2, f.level2};
        for (std::size_t i = 0; i < 4; ++i)
            fields.edits[i]->setText(QString::number(values[i]));
        fields.enable->setChecked(f.enable);
    }
}

std::optional<DetectorFields> CLevDetDlg::readFields(DetectorSide side) {
    SideFields& fields = m_fields[static_cast<std::size_t>(side)];
    std::array<std::int64_t, 4> values{};
    const std::array<QString, 4> captions{QStringLiteral("time 1"), QStringLiteral("level 1"),
                                          QStringLiteral("time 2"), QStringLiteral("level 2")};
    for (std::size_t i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = fields.edits[i]->text().trimmed().toLongLong(&ok);
        if (!ok) {
            m_notice->setText(QStringLiteral("%1 %2: please enter a whole number.")
                                  .arg(side == DetectorSide::Input ? QStringLiteral("Input")
                                                                   : QStringLiteral("Output"),
                                       captions[i]));
            fields.edits[i]->setFocus();
            return std::nullopt;
        }
    }
    return DetectorFields{values[0], values[1], values[2], values[3], fields.enable->isChecked()};
}

void CLevDetDlg::applySide(DetectorSide side) {
    const std::optional<DetectorFields> fields = readFields(side);
    if (!fields)
        return;
    std::vector<DeviceMessage> requests =
        m_logic.applySide(side, *fields, selectedChannels(m_list));
    if (!m_logic.notice().empty()) {
        m_notice->setText(qs(m_logic.notice()));
        return;
    }
    if (requests.empty()) {
        m_notice->setText(QStringLiteral("Nothing changed; nothing was sent."));
        return;
    }
    run(std::move(requests), QStringLiteral("Applying level detectors ..."));
}

void CLevDetDlg::applyAll() {
    const std::optional<DetectorFields> input = readFields(DetectorSide::Input);
    const std::optional<DetectorFields> output =
        input ? readFields(DetectorSide::Output) : std::nullopt;
    if (!input || !output)
        return;
    std::vector<DeviceMessage> requests = m_logic.applyAllPressed(*input, *output);
    if (!m_logic.notice().empty()) {
        m_notice->setText(qs(m_logic.notice()));
        return;
    }
    run(std::move(requests), QStringLiteral("Applying level detectors ..."));
}

void CLevDetDlg::run(std::vector<DeviceMessage> requests, const QString& label) {
    if (requests.empty())
        return;
    m_notice->setText(qs(runRequestsWithProgress(m_engine, std::move(requests),
                                                 CLevelDetectors::kRequestsWhat, label, this)));
}

std::unique_ptr<QMenu> CLevDetDlg::contextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName(QStringLiteral("levelMenu"));
    for (const DetectorMenuItem& item : m_logic.menu(selectedChannels(m_list))) {
        if (item.entry == DetectorMenuEntry::Separator) {
            menu->addSeparator();
            continue;
        }
        const DetectorMenuEntry entry = item.entry;
        connect(menu->addAction(qs(item.text)), &QAction::triggered, this, [this, entry] {
            run(m_logic.choose(entry, selectedChannels(m_list)),
                entry == DetectorMenuEntry::GetStatus ? QStringLiteral("Reading status ...")
                                                      : QStringLiteral("Clearing ..."));
        });
    }
    return menu;
}

void CLevDetDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                 const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    refresh();
}

void runLevelDetectorDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CLevelDetectors logic(engine.state(), questions);
    CLevDetDlg dialog(logic, engine, parent);
    const CScopedDialogSlot registered(engine.dialogs().levelDetectors, &dialog);
    for (const DeviceMessage& m : levelDetectorOpeningRequests(logic.range()))
        engine.sendRequest(m);
    dialog.exec();
}

} // namespace velmar
