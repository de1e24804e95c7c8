#include "channels/CChnLabelDlg.h"

#include "channels/CChannelList.h"
#include "channels/CRunProgress.h"
#include "channels/LabelCsv.h"
#include "controls/CListCtrlEx.h"
#include "controls/FileDialogs.h"
#include "link/QtText.h"
#include "engine/FileAccess.h"
#include "engine/PollingEngine.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmar {

CChnLabelDlg::CChnLabelDlg(CChannelLabels& logic, CPollingEngine& engine, QWidget* parent)
    : QDialog(parent), m_logic(logic), m_engine(engine), m_list(new CListCtrlEx(this)),
      m_input(new QLineEdit(this)), m_output(new QLineEdit(this)), m_notice(new QLabel(this)) {
    setWindowTitle(qs(CChannelLabels::kTitle));
    m_list->setObjectName(QStringLiteral("channelLabels"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const char* title : {"Channel", "Type", "Input", "Output"})
        m_list->addColumn(QLatin1String(title));
    for (int c = 0; c < 4; ++c)
        m_list->setColumnReadOnly(c, true);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_list->setMinimumSize(480, 360);
    new CChannelListKeys(m_list);

    m_input->setObjectName(QStringLiteral("inputLabel"));
    m_output->setObjectName(QStringLiteral("outputLabel"));
    for (QLineEdit* edit : {m_input, m_output})
        edit->setMaxLength(static_cast<int>(kLabelLength));
    m_notice->setObjectName(QStringLiteral("labelNotice"));
    m_notice->setWordWrap(true);

    auto* applyButton = new QPushButton(QStringLiteral("Apply"), this);
    auto* clearAll = new QPushButton(QStringLiteral("Clear all"), this);
    auto* defaultAll = new QPushButton(QStringLiteral("Default all"), this);
    auto* saveCsvButton = new QPushButton(QStringLiteral("Save CSV..."), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    saveCsvButton->setObjectName(QStringLiteral("saveCsv"));
    applyButton->setObjectName(QStringLiteral("apply"));
    clearAll->setObjectName(QStringLiteral("clearAll"));
    defaultAll->setObjectName(QStringLiteral("defaultAll"));
    close->setObjectName(QStringLiteral("close"));
    defaultAll->setVisible(m_logic.serviceMode());
    for (QPushButton* b : {applyButton, clearAll, defaultAll, saveCsvButton, close})
        b->setAutoDefault(false);
    // Enter applies what was typed; only Close, Escape or the close box end the dialog.
    applyButton->setDefault(true);

    connect(applyButton, &QPushButton::clicked, this, &CChnLabelDlg::apply);
    connect(clearAll, &QPushButton::clicked, this, [this] { runAll(m_logic.clearAllPressed()); });
    connect(defaultAll, &QPushButton::clicked, this,
            [this] { runAll(m_logic.defaultAllPressed()); });
    connect(saveCsvButton, &QPushButton::clicked, this, [this] {
        const QString path = askFilePath(this, FileDialogKind::Save, QStringLiteral("Save labels"),
                                         {QStringLiteral("CSV files (*.csv)")},
                                         QStringLiteral("csv"), QStringLiteral("labels.csv"));
        if (!path.isEmpty())
            saveCsv(path);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { loadRow(current.row()); });
    connect(m_list, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { loadRow(index.row()); });

    auto* group = new QGroupBox(QStringLiteral(" Labels (mono channels) "), this);
    auto* groupBox = new QVBoxLayout(group);
    groupBox->addWidget(m_list);
    auto* edits = new QGridLayout;
    edits->addWidget(new QLabel(QStringLiteral("Input"), this), 0, 0);
    edits->addWidget(new QLabel(QStringLiteral("Output"), this), 0, 1);
    edits->addWidget(m_input, 1, 0);
    edits->addWidget(m_output, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(applyButton);
    buttons->addWidget(clearAll);
    buttons->addWidget(defaultAll);
    buttons->addWidget(saveCsvButton);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addWidget(group);
    box->addLayout(edits);
    box->addWidget(m_notice);
    box->addLayout(buttons);
    refresh();
}

void CChnLabelDlg::fillAll() {
    QList<QStringList> rows;
    rows.reserve(m_logic.rowCount());
    for (int row = 0; row < m_logic.rowCount(); ++row) {
        QStringList cells;
        for (const std::string& text : m_logic.rowTexts(row))
            cells << qs(text);
        rows.append(cells);
    }
    const int current = m_list->currentIndex().row();
    m_list->setRows(rows);
    for (int row = 0; row < m_logic.rowCount(); ++row)
        m_list->setRowUserData(row, m_logic.range().channelOfRow(row));
    if (current >= 0 && current < m_logic.rowCount())
        m_list->selectionModel()->setCurrentIndex(m_list->model()->index(current, 0),
                                                  QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
}

void CChnLabelDlg::refresh() {
    if (m_logic.takeFullRefresh()) {
        fillAll();
        return;
    }
    for (int channel : m_logic.takeChangedChannels()) {
        const int row = m_logic.range().rowOfChannel(channel);
        if (row < 0 || row >= m_list->rowCount())
            continue;
        const std::vector<std::string> texts = m_logic.rowTexts(row);
        m_list->setText(row, 2, qs(texts[2]));
        m_list->setText(row, 3, qs(texts[3]));
    }
}

void CChnLabelDlg::loadRow(int row) {
    if (row < 0 || row >= m_logic.rowCount())
        return;
    const int channel = m_logic.range().channelOfRow(row);
    m_input->setText(qs(m_logic.label(LabelKind::Input, channel)));
    m_output->setText(qs(m_logic.label(LabelKind::Output, channel)));
    m_loadedChannel = channel;
}

void CChnLabelDlg::done(int result) {
    const std::string input = m_input->text().toStdString();
    const std::string output = m_output->text().toStdString();
    // Labels just applied are on their way: the frame's answer is not needed to close.
    const bool sent =
        m_sentChannel == m_loadedChannel && m_sentInput == input && m_sentOutput == output;
    if (!sent && m_logic.edited(m_loadedChannel, input, output)) {
        QMessageBox box(QMessageBox::Question, qs(CChannelLabels::kTitle),
                        QStringLiteral("The labels typed for channel %1 were not applied. "
                                       "Apply them before closing?")
                            .arg(m_loadedChannel),
                        QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, this);
        box.setDefaultButton(QMessageBox::Cancel);
        switch (box.exec()) {
        case QMessageBox::Apply:
            // A text the frame cannot carry or a lost link: stay, the notice says why.
            if (!apply())
                return;
            break;
        case QMessageBox::Discard: break;
        default: return;
        }
    }
    QDialog::done(result);
}

bool CChnLabelDlg::apply() {
    // The channel whose labels the boxes were loaded with, which is the
    // current row's: the boxes follow the selection.
    const int channel = m_loadedChannel;
    if (channel == 0) {
        m_notice->setText(QStringLiteral("Select a channel first."));
        return false;
    }
    const int sent =
        m_logic.apply(channel, m_input->text().toStdString(), m_output->text().toStdString());
    if (!m_logic.notice().empty()) {
        m_notice->setText(qs(m_logic.notice()));
        return false;
    }
    m_sentChannel = channel;
    m_sentInput = m_input->text().toStdString();
    m_sentOutput = m_output->text().toStdString();
    if (sent == 0)
        m_notice->setText(QStringLiteral("Channel %1: nothing changed.").arg(channel));
    else
        m_notice->setText(QStringLiteral("Channel %1: %2 label(s) sent.").arg(channel).arg(sent));
    return true;
}

void CChnLabelDlg::saveCsv(const QString& path) {
    const std::vector<LabelRow> rows = labelRows(
        m_logic.range(), [this](LabelKind kind, int n) { return m_logic.label(kind, n); });
    const std::string why = writeFileAtomically(path, writeLabelCsv(m_logic.range(), rows));
    const QString name = QFileInfo(path).fileName();
    if (why.empty())
        m_notice->setText(
            QStringLiteral("Saved the labels of %1 channels to %2.").arg(rows.size()).arg(name));
    else
        m_notice->setText(QStringLiteral("%1 was not saved: %2").arg(name, qs(why)));
}

void CChnLabelDlg::runAll(std::vector<DeviceMessage> requests) {
    if (requests.empty())
        return;
    m_notice->setText(
        qs(runRequestsWithProgress(m_engine, std::move(requests), CChannelLabels::kRequestsWhat,
                                   QStringLiteral("Writing labels ..."), this)));
}

void CChnLabelDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                   const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    refresh();
}

void runChannelLabelsDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CChannelLabels logic(engine.state(), engine, questions);
    CChnLabelDlg dialog(logic, engine, parent);
    const CScopedDialogSlot registered(engine.dialogs().channelLabels, &dialog);
    for (const DeviceMessage& m : labelOpeningRequests(logic.range()))
        engine.sendRequest(m);
    dialog.exec();
}

} // namespace velmar
