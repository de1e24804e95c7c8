#include "panel/C450DornDlg.h"

#include "controls/CListCtrlEx.h"
#include "controls/LinkLostBanner.h"
#include "link/QtText.h"
#include "engine/PollingEngine.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

namespace velmar {

namespace {

QLineEdit* field(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaximumWidth(90);
    return edit;
}

QPushButton* button(QWidget* parent, const QString& text, const char* name) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

CListCtrlEx* list(QWidget* parent, const char* name, std::initializer_list<const char*> columns) {
    auto* l = new CListCtrlEx(parent);
    l->setObjectName(QLatin1String(name));
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setSelectionBehavior(QAbstractItemView::SelectRows);
    int c = 0;
    for (const char* title : columns) {
        l->addColumn(QLatin1String(title));
        l->setColumnReadOnly(c++, true);
    }
    l->horizontalHeader()->setStretchLastSection(true);
    return l;
}

QStringList texts(const std::vector<std::string>& cells) {
    QStringList out;
    for (const std::string& c : cells)
        out.append(qs(c));
    return out;
}

} // namespace

C450DornDlg::C450DornDlg(CPanelUnitLogic& logic, QWidget* parent)
    : QDialog(parent), m_logic(logic),
      m_keys(list(this, "keyList", {"Key", "Mode", "Value", "State", "LED"})),
      m_ring(list(this, "ringList", {"Led", "State"})), m_mode(field(this, "keyMode")),
      m_value(field(this, "keyValue")), m_state(field(this, "keyState")),
      m_intensity(field(this, "ledIntensity")), m_rotary(field(this, "rotaryCount")),
      m_ledOff(new QRadioButton(QStringLiteral(" Off"), this)),
      m_ledOn(new QRadioButton(QStringLiteral(" On"), this)),
      m_master(new QCheckBox(QStringLiteral(" Master"), this)), m_notice(new QLabel(this)) {
    setWindowTitle(qs(CPanelUnitLogic::kTitle));
    setObjectName(QStringLiteral("panelUnitDialog"));
    m_rotary->setReadOnly(true);
    m_ledOff->setObjectName(QStringLiteral("ledOff"));
    m_ledOn->setObjectName(QStringLiteral("ledOn"));
    m_master->setObjectName(QStringLiteral("master"));
    m_notice->setObjectName(QStringLiteral("panelNotice"));
    m_notice->setWordWrap(true);
    auto* radios = new QButtonGroup(this);
    radios->addButton(m_ledOff);
    radios->addButton(m_ledOn);

    QList<QStringList> keyRows;
    for (int k = 1; k <= kPanelKeys; ++k)
        keyRows.append(texts(m_logic.keyRow(k)));
    m_keys->setRows(keyRows);
    QList<QStringList> ringRows;
    for (int k = 1; k <= kPanelRingLeds; ++k)
        ringRows.append(texts(m_logic.ringRow(k)));
    m_ring->setRows(ringRows);
    m_ring->setContextMenuPolicy(Qt::CustomContextMenu);
    m_keys->setMinimumSize(300, 260);
    m_ring->setMinimumWidth(140);

    // Rows are chosen by click or keyboard alike: the current row is the choice.
    connect(m_keys->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { chooseKey(current.row() + 1); });
    // A click on the row already chosen brings its values back too.
    connect(m_keys, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { chooseKey(index.row() + 1); });
    m_keys->installEventFilter(this);
    // The columns are shared out when a list's own viewport gets its size: at
    // the dialog's first resize the lists are not laid out yet, and shares of
    // that stale width cut every number to "...".
    m_keys->viewport()->installEventFilter(this);
    m_ring->viewport()->installEventFilter(this);
    connect(m_ring->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { m_logic.selectRingLed(current.row() + 1); });
    connect(m_ring, &QWidget::customContextMenuRequested, this, &C450DornDlg::showRingMenu);

    auto* setMode = button(this, QStringLiteral("Set"), "setKeyMode");
    auto* setState = button(this, QStringLiteral("Set"), "setKeyState");
    auto* setIntensity = button(this, QStringLiteral("Set"), "setLedIntensity");
    auto* clear = button(this, QStringLiteral("Clear all Leds"), "clearLeds");
    auto* identify = button(this, QStringLiteral("Identify"), "identify");
    auto* close = button(this, QStringLiteral("Close"), "close");
    connect(setMode, &QPushButton::clicked, this, [this] {
        const bool reload = fieldNumber(m_mode->text().toStdString(), 0, 0).has_value();
        m_logic.keyModeSetPressed(m_mode->text().toStdString(), m_value->text().toStdString());
        if (reload)
            m_shown = {}; // mode 0 puts back the key's values, even unchanged ones
        after();
    });
    connect(setState, &QPushButton::clicked, this, [this] {
        m_logic.keyStateSetPressed(m_state->text().toStdString());
        after();
    });
    connect(setIntensity, &QPushButton::clicked, this, [this] {
        m_logic.intensitySetPressed(m_intensity->text().toStdString());
        after();
    });
    // clicked, not toggled: only the operator's own changes send anything.
    connect(m_ledOff, &QRadioButton::clicked, this, [this] {
        m_logic.ledChosen(LedChoice::Off);
        after();
    });
    connect(m_ledOn, &QRadioButton::clicked, this, [this] {
        m_logic.ledChosen(LedChoice::On);
        after();
    });
    connect(m_master, &QCheckBox::clicked, this, [this](bool ticked) {
        m_logic.masterToggled(ticked);
        after();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        m_logic.clearAllLedsPressed();
        after();
    });
    connect(identify, &QPushButton::clicked, this, [this] { m_logic.identifyPressed(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* keysBox = new QGroupBox(QStringLiteral(" Key and LED's "), this);
    (new QVBoxLayout(keysBox))->addWidget(m_keys);
    auto* modeBox = new QGroupBox(QStringLiteral("Key mode"), this);
    auto* modeGrid = new QGridLayout(modeBox);
    modeGrid->addWidget(new QLabel(QStringLiteral("Mode"), modeBox), 0, 0);
    modeGrid->addWidget(m_mode, 0, 1);
    modeGrid->addWidget(new QLabel(QStringLiteral("Value"), modeBox), 1, 0);
    modeGrid->addWidget(m_value, 1, 1);
    modeGrid->addWidget(setMode, 2, 1);
    auto* stateBox = new QGroupBox(QStringLiteral("Key state"), this);
    auto* stateGrid = new QGridLayout(stateBox);
    stateGrid->addWidget(new QLabel(QStringLiteral("State"), stateBox), 0, 0);
    stateGrid->addWidget(m_state, 0, 1);
    stateGrid->addWidget(setState, 1, 1);
    auto* ledBox = new QGroupBox(QStringLiteral("Led state"), this);
    auto* ledRow = new QHBoxLayout(ledBox);
    ledRow->addWidget(m_ledOff);
    ledRow->addWidget(m_ledOn);
    auto* rotaryBox = new QGroupBox(QStringLiteral(" Rotary count "), this);
    (new QVBoxLayout(rotaryBox))->addWidget(m_rotary);
    auto* intensityBox = new QGroupBox(QStringLiteral(" Led intensity"), this);
    auto* intensityRow = new QHBoxLayout(intensityBox);
    intensityRow->addWidget(m_intensity);
    intensityRow->addWidget(setIntensity);
    auto* ringBox = new QGroupBox(QStringLiteral("Ring LED's "), this);
    (new QVBoxLayout(ringBox))->addWidget(m_ring);

    auto* edits = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(modeBox), static_cast<QWidget*>(stateBox),
                       static_cast<QWidget*>(ledBox), static_cast<QWidget*>(rotaryBox),
                       static_cast<QWidget*>(intensityBox), static_cast<QWidget*>(m_master)})
        edits->addWidget(w);
    edits->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(keysBox, 3);
    top->addLayout(edits);
    top->addWidget(ringBox, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear);
    buttons->addWidget(identify);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addLayout(top);
    box->addWidget(m_notice);
    box->addLayout(buttons);
    close->setDefault(true);

    // What sends at once, besides the buttons: the link's end disables it.
    for (QWidget* w : {static_cast<QWidget*>(m_master), static_cast<QWidget*>(m_ledOff),
                       static_cast<QWidget*>(m_ledOn), static_cast<QWidget*>(m_ring)})
        w->setProperty(kSendsToFrameProperty, true);

    m_logic.takeChanged();
    showState();
}

void C450DornDlg::chooseKey(int key) {
    m_logic.selectKey(key);
    m_shown = {};
    after();
}

bool C450DornDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize &&
        (watched == m_keys->viewport() || watched == m_ring->viewport()))
        sizeColumns();
    if (watched == m_keys && event->type() == QEvent::KeyPress) {
        // The unit's own list keys: pages of 31 rows, Home and End to the
        // first and last key (the table would move between columns).
        static constexpr std::pair<int, KeyListMove> kMoves[] = {
            {Qt::Key_PageUp, KeyListMove::PageUp},
            {Qt::Key_PageDown, KeyListMove::PageDown},
            {Qt::Key_Home, KeyListMove::Home},
            {Qt::Key_End, KeyListMove::End},
        };
        const int pressed = static_cast<QKeyEvent*>(event)->key();
        for (const auto& [key, move] : kMoves) {
            if (key != pressed)
                continue;
            const int current =
                m_keys->currentIndex().isValid() ? m_keys->currentIndex().row() + 1 : 0;
            const int next = movedKey(current, move);
            m_keys->setCurrentIndex(m_keys->model()->index(next - 1, 0));
            m_keys->selectRow(next - 1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void C450DornDlg::onDeviceMessage(const DeviceMessage& message, bool isReply,
                                  const CResponseDecoder& decoder) {
    m_logic.onDeviceMessage(message, isReply, decoder);
    after();
}

void C450DornDlg::after() {
    if (m_logic.takeChanged())
        showState();
}

void C450DornDlg::setField(QLineEdit* edit, const std::string& text, std::string& shown) {
    if (text == shown)
        return;
    shown = text;
    edit->setText(qs(text));
}

void C450DornDlg::showState() {
    for (int k = 1; k <= kPanelKeys; ++k) {
        const auto cells = m_logic.keyRow(k);
        for (int c = 1; c < static_cast<int>(cells.size()); ++c)
            if (m_keys->text(k - 1, c) != qs(cells[static_cast<std::size_t>(c)]))
                m_keys->setText(k - 1, c, qs(cells[static_cast<std::size_t>(c)]));
    }
    for (int k = 1; k <= kPanelRingLeds; ++k) {
        const QString state = qs(m_logic.ringRow(k)[1]);
        if (m_ring->text(k - 1, 1) != state)
            m_ring->setText(k - 1, 1, state);
    }
    setField(m_mode, m_logic.modeField(), m_shown[0]);
    setField(m_value, m_logic.valueField(), m_shown[1]);
    setField(m_state, m_logic.stateField(), m_shown[2]);
    setField(m_intensity, m_logic.intensityField(), m_shown[3]);
    m_rotary->setText(QString::number(m_logic.rotaryCount()));
    m_master->setChecked(m_logic.master());

    // Neither radio button is on until a key with an LED is chosen.
    auto* group = m_ledOn->group();
    group->setExclusive(false);
    m_ledOff->setChecked(m_logic.ledChoice() == LedChoice::Off);
    m_ledOn->setChecked(m_logic.ledChoice() == LedChoice::On);
    group->setExclusive(true);
    m_ledOff->setEnabled(m_logic.ledRadioEnabled());
    m_ledOn->setEnabled(m_logic.ledRadioEnabled());

    m_notice->setText(qs(m_logic.notice()));
    m_notice->setVisible(!m_logic.notice().empty());
}

void C450DornDlg::sizeColumns() {
    // Equal shares of the client width, the number column 20 narrower.
    const int key = m_keys->viewport()->width() / 5;
    m_keys->setColumnWidth(0, key - 20);
    for (int c = 1; c < 5; ++c)
        m_keys->setColumnWidth(c, key);
    const int ring = m_ring->viewport()->width() / 2;
    m_ring->setColumnWidth(0, ring - 20);
    m_ring->setColumnWidth(1, ring);
}

void C450DornDlg::showRingMenu(const QPoint& pos) {
    const QModelIndex index = m_ring->indexAt(pos);
    if (!index.isValid())
        return;
    m_ring->selectRow(index.row());
    m_logic.selectRingLed(index.row() + 1);
    QMenu menu(this);
    for (int state = 0; state < kPanelRingStates; ++state)
        menu.addAction(QString::number(state), this, [this, state] {
            m_logic.ringLedChosen(state);
            after();
        });
    menu.exec(m_ring->viewport()->mapToGlobal(pos));
}

void runPanelUnitDialog(CPollingEngine& engine, IQuestions& questions, QWidget* parent) {
    CPanelUnitLogic logic(engine, questions);
    C450DornDlg dialog(logic, parent);
    // Registered before the first request, so no reply slips past.
    const CScopedDialogSlot registered(engine.dialogs().controlPanelUnit, &dialog);
    logic.start();
    dialog.exec();
}

} // namespace velmar
