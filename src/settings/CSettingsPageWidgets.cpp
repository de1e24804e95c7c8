#include "settings/CSettingsPageWidgets.h"

#include "controls/CCheckableGroupBox.h"
#include "controls/CListCtrlEx.h"
#include "link/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

namespace velmar {

namespace {

// Refuses, as they are typed or pasted, the characters a name or address
// cannot carry to the frame.
class CSendableTextValidator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const QByteArray bytes = input.toUtf8();
        for (const char c : bytes)
            if (!acceptsSettingsCharacter(c))
                return Invalid;
        return Acceptable;
    }
};

QLineEdit* textField(const QString& name, int maxLength, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(maxLength);
    edit->setValidator(new CSendableTextValidator(edit));
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * (maxLength + 4));
    return edit;
}

QLineEdit* numberField(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,6}")), edit));
    edit->setMaximumWidth(90);
    return edit;
}

QLineEdit* addressField(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,3}(\\.[0-9]{0,3}){0,3}")), edit));
    edit->setMaximumWidth(140);
    return edit;
}

// Fields keep their natural width instead of stretching across the page.
QFormLayout* formLayout(QWidget* parent) {
    auto* form = new QFormLayout(parent);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    return form;
}

QComboBox* comboBox(const QString& name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

void showCombo(QComboBox* combo, const ComboState& state) {
    const QSignalBlocker block(combo);
    bool same = combo->count() == static_cast<int>(state.entries.size());
    for (int i = 0; same && i < combo->count(); ++i) {
        const ComboEntry& e = state.entries[static_cast<std::size_t>(i)];
        same = combo->itemText(i) == qs(e.text) && combo->itemData(i).toInt() == e.value;
    }
    if (!same) {
        combo->clear();
        for (const ComboEntry& e : state.entries)
            combo->addItem(qs(e.text), e.value);
    }
    combo->setCurrentIndex(state.selected);
    combo->setEnabled(state.enabled);
}

void pullCombo(const QComboBox* combo, ComboState& state) {
    state.selected = combo->currentIndex();
}

void showEdit(QLineEdit* edit, const EditState& state) {
    if (edit->text() != qs(state.text))
        edit->setText(qs(state.text));
    edit->setEnabled(state.enabled);
}

void showCheck(QCheckBox* box, const CheckState& state) {
    box->setChecked(state.checked);
    box->setEnabled(state.enabled);
}

// A plain radio button that pairs with a group box's caption: it cannot be
// unchecked by clicking it again, only by choosing the fixed address.
QRadioButton* automaticRadio(const QString& name, QWidget* parent) {
    auto* radio = new QRadioButton(QStringLiteral("Obtain an IP address automatically"), parent);
    radio->setObjectName(name);
    radio->setAutoExclusive(false);
    QObject::connect(radio, &QAbstractButton::clicked, radio, [radio](bool checked) {
        if (!checked)
            radio->setChecked(true);
    });
    return radio;
}

AddressBlockWidgets addressBlock(const QString& prefix, int group, const QStringList& labels,
                                 QWidget* parent) {
    AddressBlockWidgets w;
    w.automatic = automaticRadio(prefix + QStringLiteral("Automatic"), parent);
    w.fixed = new CCheckableGroupBox(QStringLiteral("Use the following IP address"),
                                     CCheckableGroupBox::RadioButton, group, parent);
    w.fixed->setObjectName(prefix + QStringLiteral("Fixed"));
    w.fixed->setPartner(w.automatic);
    auto* form = formLayout(w.fixed);
    static const char* const kNames[] = {"Ip", "Subnet", "Gateway", "Dns"};
    for (int i = 0; i < labels.size(); ++i) {
        QLineEdit* edit = addressField(prefix + QLatin1String(kNames[i]), w.fixed);
        form->addRow(labels[i], edit);
        w.addresses.push_back(edit);
    }
    w.mac = new QLabel(parent);
    w.mac->setObjectName(prefix + QStringLiteral("Mac"));
    w.mac->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return w;
}

void showBlock(const AddressBlockWidgets& w, const AddressBlockState& state) {
    for (std::size_t i = 0; i < w.addresses.size() && i < state.addresses.size(); ++i)
        if (w.addresses[i]->text() != qs(state.addresses[i].text))
            w.addresses[i]->setText(qs(state.addresses[i].text));
    w.automatic->setChecked(state.automatic.checked);
    w.automatic->setEnabled(state.enabled);
    w.fixed->setEnabled(state.enabled);
    w.fixed->setCaptionChecked(state.fixed.checked);
    w.mac->setText(qs(state.macText));
    w.mac->setVisible(state.macVisible);
    w.mac->setEnabled(state.enabled);
}

void pullBlock(const AddressBlockWidgets& w, AddressBlockState& state) {
    state.automatic.checked = w.automatic->isChecked();
    state.fixed.checked = w.fixed->isCaptionChecked();
    state.addresses.resize(w.addresses.size());
    for (std::size_t i = 0; i < w.addresses.size(); ++i)
        state.addresses[i].text = w.addresses[i]->text().toStdString();
}

QWidget* blockControl(const AddressBlockWidgets& w, int index) {
    return index >= 0 && index < static_cast<int>(w.addresses.size())
               ? w.addresses[static_cast<std::size_t>(index)]
               : nullptr;
}

const QStringList kLanLabels{QStringLiteral("IP address"), QStringLiteral("Subnet mask"),
                             QStringLiteral("Default gateway")};
const QStringList kDanteLabels{QStringLiteral("IP address"), QStringLiteral("Subnet mask"),
                               QStringLiteral("Default gateway"), QStringLiteral("DNS server")};

} // namespace

QWidget* CSettingsPage::controlWidget(int) const { return nullptr; }

// ---- ID ----

CDevIdTab::CDevIdTab(CDevIdPage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page), m_id(numberField(QStringLiteral("deviceId"), this)),
      m_name(textField(QStringLiteral("deviceName"), CDevIdPage::kNameLength, this)) {
    auto* form = formLayout(this);
    form->addRow(QStringLiteral("ID"), m_id);
    form->addRow(QStringLiteral("Name"), m_name);
}

void CDevIdTab::showState() {
    showEdit(m_id, m_page.id);
    showEdit(m_name, m_page.name);
}

void CDevIdTab::pullState() {
    m_page.id.text = m_id->text().toStdString();
    m_page.name.text = m_name->text().toStdString();
}

QWidget* CDevIdTab::controlWidget(int control) const {
    return control == CDevIdPage::kName ? m_name : m_id;
}

// ---- Network ----

CDevLanTab::CDevLanTab(CDevLanPage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page),
      m_block(addressBlock(QStringLiteral("lan"), 0, kLanLabels, this)) {
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_block.automatic);
    box->addWidget(m_block.fixed);
    box->addWidget(m_block.mac);
    box->addStretch();
}

void CDevLanTab::showState() { showBlock(m_block, m_page.block); }
void CDevLanTab::pullState() { pullBlock(m_block, m_page.block); }
QWidget* CDevLanTab::controlWidget(int control) const { return blockControl(m_block, control - 1); }

// ---- Sample rate ----

CSRateTab::CSRateTab(CSampleRatePage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page), m_genRate(comboBox(QStringLiteral("genRate"), this)),
      m_adaptSource(comboBox(QStringLiteral("adaptSource"), this)),
      m_wordClock(comboBox(QStringLiteral("wordClockOut"), this)) {
    auto* form = formLayout(this);
    form->addRow(QStringLiteral("General sample rate"), m_genRate);
    form->addRow(QStringLiteral("Sample rate adaption source"), m_adaptSource);
    form->addRow(QStringLiteral("Word clock output sample rate"), m_wordClock);
}

void CSRateTab::showState() {
    showCombo(m_genRate, m_page.genRate);
    showCombo(m_adaptSource, m_page.adaptSource);
    showCombo(m_wordClock, m_page.wordClockOut);
}

void CSRateTab::pullState() {
    pullCombo(m_genRate, m_page.genRate);
    pullCombo(m_adaptSource, m_page.adaptSource);
    pullCombo(m_wordClock, m_page.wordClockOut);
}

// ---- Synchronization ----

CSyncPrioTab::CSyncPrioTab(CSyncPrioPage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page), m_list(new CListCtrlEx(this)),
      m_termination(new QCheckBox(QStringLiteral(" Word/Video sync input termination"), this)) {
    m_list->setObjectName(QStringLiteral("syncPriorities"));
    m_list->setShowGrid(true);
    m_list->addColumn(QStringLiteral("External source"));
    m_list->addColumn(QStringLiteral("Priority"));
    m_list->setColumnReadOnly(0, true);
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    auto* editor = new QLineEdit;
    editor->setObjectName(QStringLiteral("priorityEditor"));
    editor->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("-?[0-9]{0,4}")), editor));
    const int id = m_list->addEditor(
        editor,
        [](QWidget* w, int, int, const QString& text, qint64, CListCtrlEx&) {
            auto* e = static_cast<QLineEdit*>(w);
            e->setText(text);
            e->selectAll();
        },
        [](QWidget*, int, int, QString& text, qint64, CListCtrlEx&, bool commit) {
            if (!commit)
                return 0;
            text = qs(CSyncPrioPage::priorityAfterEdit(text.toStdString()));
            return 1;
        });
    m_list->setColumnEditor(1, id);
    m_termination->setObjectName(QStringLiteral("syncTermination"));

    auto* box = new QVBoxLayout(this);
    box->addWidget(m_list);
    box->addWidget(new QLabel(QStringLiteral("Priority: 0=disabled, 1..31(lowest)"), this));
    box->addWidget(m_termination);
}

void CSyncPrioTab::showState() {
    QList<QStringList> rows;
    for (const CSyncPrioPage::Row& r : m_page.rows)
        rows.append({qs(r.source), qs(r.priority)});
    m_list->setRows(rows);
    for (int i = 0; i < static_cast<int>(m_page.rows.size()); ++i)
        m_list->setRowUserData(i, m_page.rows[static_cast<std::size_t>(i)].sourceNumber);
    showCheck(m_termination, m_page.termination);
}

void CSyncPrioTab::pullState() {
    if (m_list->isEditing())
        m_list->endEdit(true);
    // Rows are matched by their source, whatever order a header click left them in.
    for (int i = 0; i < m_list->rowCount(); ++i) {
        const auto source = static_cast<int>(m_list->rowUserData(i));
        for (CSyncPrioPage::Row& r : m_page.rows)
            if (r.sourceNumber == source)
                r.priority = m_list->text(i, 1).toStdString();
    }
    m_page.termination.checked = m_termination->isChecked();
}

// ---- combo pages ----

CComboTab::CComboTab(std::vector<Field> fields, QWidget* parent)
    : CSettingsPage(parent), m_fields(std::move(fields)) {
    auto* form = formLayout(this);
    for (const Field& f : m_fields) {
        QComboBox* combo = comboBox(f.objectName, this);
        form->addRow(f.label, combo);
        m_combos.push_back(combo);
        if (f.changed)
            connect(combo, &QComboBox::currentIndexChanged, this, [this, changed = f.changed] {
                pullState();
                changed();
                showState();
            });
    }
}

void CComboTab::showState() {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        showCombo(m_combos[i], *m_fields[i].state);
}

void CComboTab::pullState() {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        pullCombo(m_combos[i], *m_fields[i].state);
}

// ---- Dante ----

CDanteTab::CDanteTab(CDantePage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page),
      m_name(textField(QStringLiteral("danteName"), CDantePage::kNameLength, this)),
      m_primary(addressBlock(QStringLiteral("dantePrimary"), 0, kDanteLabels, this)),
      m_secondary(addressBlock(QStringLiteral("danteSecondary"), 1, kDanteLabels, this)),
      m_switchMode(comboBox(QStringLiteral("danteSwitchMode"), this)),
      m_sampleRate(new QCheckBox(QStringLiteral("  Enable sample rate control from device"), this)),
      m_master(new QCheckBox(QStringLiteral("  Enable preferred master"), this)),
      m_latency(numberField(QStringLiteral("danteLatency"), this)) {
    m_sampleRate->setObjectName(QStringLiteral("danteSampleRate"));
    m_master->setObjectName(QStringLiteral("danteMaster"));

    auto* grid = new QGridLayout(this);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("Brooklyn II name"), this));
    nameRow->addWidget(m_name);
    nameRow->addStretch();
    grid->addLayout(nameRow, 0, 0, 1, 2);
    const auto column = [](const AddressBlockWidgets& w) {
        auto* box = new QVBoxLayout;
        box->addWidget(w.automatic);
        box->addWidget(w.fixed);
        box->addWidget(w.mac);
        return box;
    };
    grid->addLayout(column(m_primary), 1, 0);
    auto* right = column(m_secondary);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(new QLabel(QStringLiteral("Redundancy mode"), this));
    modeRow->addWidget(m_switchMode);
    modeRow->addStretch();
    right->insertLayout(0, modeRow);
    grid->addLayout(right, 1, 1);

    const auto group = [this](const QString& title, QWidget* content, QWidget* extra = nullptr) {
        auto* g = new QGroupBox(title, this);
        auto* row = new QHBoxLayout(g);
        row->addWidget(content);
        if (extra)
            row->addWidget(extra);
        row->addStretch();
        return g;
    };
    auto* options = new QHBoxLayout;
    options->addWidget(group(QStringLiteral(" Sample rate "), m_sampleRate));
    options->addWidget(group(QStringLiteral(" Clock "), m_master));
    options->addWidget(
        group(QStringLiteral(" Latency "), m_latency, new QLabel(QStringLiteral("usec"), this)));
    grid->addLayout(options, 2, 0, 1, 2);
    grid->setRowStretch(3, 1);

    connect(m_switchMode, &QComboBox::currentIndexChanged, this, [this] {
        pullState();
        m_page.switchModeChanged();
        showState();
    });
}

void CDanteTab::showState() {
    showEdit(m_name, m_page.name);
    showBlock(m_primary, m_page.primary);
    showBlock(m_secondary, m_page.secondary);
    showCombo(m_switchMode, m_page.switchMode);
    showCheck(m_sampleRate, m_page.sampleRateControl);
    showCheck(m_master, m_page.preferredMaster);
    showEdit(m_latency, m_page.latency);
}

void CDanteTab::pullState() {
    m_page.name.text = m_name->text().toStdString();
    pullBlock(m_primary, m_page.primary);
    pullBlock(m_secondary, m_page.secondary);
    pullCombo(m_switchMode, m_page.switchMode);
    m_page.sampleRateControl.checked = m_sampleRate->isChecked();
    m_page.preferredMaster.checked = m_master->isChecked();
    m_page.latency.text = m_latency->text().toStdString();
}

QWidget* CDanteTab::controlWidget(int control) const {
    switch (control) {
    case CDantePage::kName: return m_name;
    case CDantePage::kLatency: return m_latency;
    default: break;
    }
    if (control >= CDantePage::kSecondary * 10)
        return blockControl(m_secondary, control - CDantePage::kSecondary * 10);
    return blockControl(m_primary, control - CDantePage::kPrimary * 10);
}

// ---- Optional module ----

COptModTab::COptModTab(COptModPage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page),
      m_redundancy(comboBox(QStringLiteral("sfpRedundancy"), this)),
      m_redundancyMode(comboBox(QStringLiteral("sfpRedundancyMode"), this)) {
    auto* top = new QFormLayout;
    top->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    top->addRow(QStringLiteral("SFP redundancy"), m_redundancy);
    top->addRow(QStringLiteral("SFP redundancy mode"), m_redundancyMode);
    auto* groups = new QHBoxLayout;
    static const char* const kListNames[] = {"Input", "FrameRate", "ChannelStatus", "ChannelCount",
                                             "Dsd"};
    static const char* const kLabels[] = {"Input sample rate", "Output frame rate",
                                          "Output channel status", "Output channel count",
                                          "Output DSD mode"};
    for (std::size_t i = 0; i < m_sfp.size(); ++i) {
        SfpWidgets& w = m_sfp[i];
        const QString prefix = QStringLiteral("sfp%1").arg(i + 1);
        w.group = new QGroupBox(this);
        w.group->setObjectName(prefix);
        auto* form = formLayout(w.group);
        w.type = comboBox(prefix + QStringLiteral("Type"), w.group);
        form->addRow(QStringLiteral("Interface type"), w.type);
        for (std::size_t k = 0; k < w.lists.size(); ++k) {
            w.lists[k] = comboBox(prefix + QLatin1String(kListNames[k]), w.group);
            auto* label = new QLabel(QLatin1String(kLabels[k]), w.group);
            if (k == 0)
                w.inputLabel = label;
            form->addRow(label, w.lists[k]);
        }
        groups->addWidget(w.group);
        connect(w.type, &QComboBox::currentIndexChanged, this, [this, i] {
            pullState();
            m_page.typeChanged(static_cast<int>(i));
            showState();
        });
    }
    auto* box = new QVBoxLayout(this);
    box->addLayout(top);
    box->addLayout(groups);
    box->addStretch();
    connect(m_redundancy, &QComboBox::currentIndexChanged, this, [this] {
        pullState();
        m_page.redundancyChanged();
        showState();
    });
}

void COptModTab::showState() {
    showCombo(m_redundancy, m_page.redundancy);
    showCombo(m_redundancyMode, m_page.redundancyMode);
    for (std::size_t i = 0; i < m_sfp.size(); ++i) {
        SfpWidgets& w = m_sfp[i];
        const COptModPage::Sfp& s = m_page.sfp[i];
        w.group->setTitle(qs(s.title));
        w.group->setVisible(s.visible);
        showCombo(w.type, s.type);
        w.inputLabel->setText(qs(s.inputLabel));
        const std::array<const ComboState*, 5> states{&s.input, &s.frameRate, &s.channelStatus,
                                                      &s.channelCount, &s.dsdMode};
        for (std::size_t k = 0; k < w.lists.size(); ++k)
            showCombo(w.lists[k], *states[k]);
    }
}

void COptModTab::pullState() {
    pullCombo(m_redundancy, m_page.redundancy);
    pullCombo(m_redundancyMode, m_page.redundancyMode);
    for (std::size_t i = 0; i < m_sfp.size(); ++i) {
        SfpWidgets& w = m_sfp[i];
        COptModPage::Sfp& s = m_page.sfp[i];
        pullCombo(w.type, s.type);
        const std::array<ComboState*, 5> states{&s.input, &s.frameRate, &s.channelStatus,
                                                &s.channelCount, &s.dsdMode};
        for (std::size_t k = 0; k < w.lists.size(); ++k)
            pullCombo(w.lists[k], *states[k]);
    }
}

// ---- System delay, Alive time ----

CNumberTab::CNumberTab(CNumberPage& page, const QString& label, const QString& objectName,
                       QWidget* parent)
    : CSettingsPage(parent), m_page(page), m_value(numberField(objectName, this)) {
    auto* form = formLayout(this);
    form->addRow(label, m_value);
    m_value->setToolTip(QStringLiteral("%1 to %2").arg(page.low()).arg(page.high()));
}

void CNumberTab::showState() { showEdit(m_value, m_page.value); }
void CNumberTab::pullState() { m_page.value.text = m_value->text().toStdString(); }
QWidget* CNumberTab::controlWidget(int) const { return m_value; }

// ---- the hardware views ----

namespace {
void readOnlyList(CListCtrlEx* list, const QString& name) {
    list->setObjectName(name);
    list->setShowGrid(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
}
const QColor kFittedBackground(0, 255, 0);
} // namespace

CCardConfTab::CCardConfTab(CCardConfPage& page, QWidget* parent)
    : CSettingsPage(parent), m_page(page), m_slots(new CListCtrlEx(this)),
      m_parameters(new CListCtrlEx(this)) {
    readOnlyList(m_slots, QStringLiteral("cardSlots"));
    readOnlyList(m_parameters, QStringLiteral("cardParameters"));
    for (const char* title : {"Slot", "Type", "Description"})
        m_slots->addColumn(QLatin1String(title));
    for (const char* title : {"Channel", "Parameter", "Value"})
        m_parameters->addColumn(QLatin1String(title));
    for (int c = 0; c < 3; ++c)
        m_slots->setColumnReadOnly(c, true);
    m_parameters->setColumnReadOnly(0, true);
    m_parameters->setColumnReadOnly(1, true);
    m_slots->horizontalHeader()->setStretchLastSection(true);
    m_parameters->horizontalHeader()->setStretchLastSection(true);

    auto* values = new QComboBox;
    values->setObjectName(QStringLiteral("cardValueEditor"));
    const int editor = m_parameters->addEditor(
        values,
        [this](QWidget* w, int row, int, const QString&, qint64, CListCtrlEx&) {
            auto* combo = static_cast<QComboBox*>(w);
            const CCardConfPage::Editor e = m_page.editorFor(row);
            combo->clear();
            for (const std::string& entry : e.entries)
                combo->addItem(qs(entry));
            combo->setCurrentIndex(e.selected);
            combo->setEnabled(e.enabled);
        },
        [this](QWidget* w, int row, int, QString& text, qint64, CListCtrlEx&, bool commit) {
            auto* combo = static_cast<QComboBox*>(w);
            if (!commit || !combo->isEnabled() || combo->currentIndex() < 0)
                return 0;
            text = combo->currentText();
            m_page.commitValue(row, text.toStdString());
            // A new interface type changes which rows can be edited.
            QTimer::singleShot(0, this, [this] { showParameters(); });
            return 1;
        });
    m_parameters->setColumnEditor(2, editor);

    // A click (left or right) picks the slot; moving with the keys does not.
    connect(m_slots, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
        m_page.selectSlot(index.row());
        showState();
    });

    auto* box = new QHBoxLayout(this);
    box->addWidget(m_slots, 2);
    box->addWidget(m_parameters, 3);
}

void CCardConfTab::showState() {
    QList<QStringList> rows;
    for (const CardSlotRow& r : m_page.slots)
        rows.append({qs(r.slot), qs(r.type), qs(r.description)});
    m_slots->setRows(rows);
    if (m_page.highlightedRow() >= 0)
        m_slots->setRowColours(m_page.highlightedRow(), Qt::black, kFittedBackground);
    m_slots->setEnabled(m_page.slotsEnabled);
    // The numbers and part numbers are short: the room goes to the board's name.
    m_slots->resizeColumnToContents(0);
    m_slots->resizeColumnToContents(1);
    showParameters();
}

void CCardConfTab::showParameters() {
    if (m_parameters->isEditing())
        return;
    QList<QStringList> rows;
    for (const CardParamRow& r : m_page.params)
        rows.append({qs(r.channel), qs(r.parameter), qs(r.value)});
    m_parameters->setRows(rows);
    for (int row = 0; row < static_cast<int>(m_page.params.size()); ++row)
        m_parameters->setCellReadOnly(row, 2, !m_page.editorFor(row).enabled);
    m_parameters->setEnabled(m_page.paramsEnabled);
    if (!rows.isEmpty()) {
        m_parameters->resizeColumnToContents(0);
        m_parameters->resizeColumnToContents(1);
    }
}

void CCardConfTab::pullState() {
    // Every accepted choice is already in the page; an edit still open is taken.
    if (m_parameters->isEditing())
        m_parameters->endEdit(true);
}

CHWConfTab::CHWConfTab(const std::vector<HwRow>& rows, QWidget* parent)
    : CSettingsPage(parent), m_rows(rows), m_list(new CListCtrlEx(this)) {
    readOnlyList(m_list, QStringLiteral("hwConfiguration"));
    for (const char* title : {"Module", "Type and version", "Serial number", "SW versions"})
        m_list->addColumn(QLatin1String(title));
    for (int c = 0; c < 4; ++c)
        m_list->setColumnReadOnly(c, true);
    m_list->horizontalHeader()->setStretchLastSection(true);
    auto* box = new QVBoxLayout(this);
    box->addWidget(m_list);
}

void CHWConfTab::showState() {
    QList<QStringList> rows;
    for (const HwRow& r : m_rows)
        rows.append({qs(r.module), qs(r.typeAndVersion), qs(r.serialNumber), qs(r.swVersions)});
    m_list->setRows(rows);
    for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) {
        const HwRow& r = m_rows[static_cast<std::size_t>(i)];
        m_list->setRowUserData(i, r.entry);
        if (r.fitted)
            m_list->setRowColours(i, Qt::black, kFittedBackground);
    }
    m_list->resizeColumnsToContents();
}

} // namespace velmar
