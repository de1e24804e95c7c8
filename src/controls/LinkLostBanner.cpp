#include "controls/LinkLostBanner.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <array>

namespace velmar {

namespace {

constexpr char kMarkName[] = "linkLostMark";
constexpr char kLineName[] = "linkLostLine";

// Buttons that close the dialog or act only on this computer, by their text
// without mnemonic and trailing dots.
constexpr std::array<const char*, 7> kLocalButtons = {
    "Close", "Cancel", "Help", "Save to file", "Load from file", "Export CSV", "Copy",
};

QString bareText(QString text) {
    text.remove(QLatin1Char('&'));
    while (text.endsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text.trimmed();
}

// What showLinkLost changed, so clearLinkLost can put it back.
class CLinkLostMark final : public QObject {
public:
    explicit CLinkLostMark(QDialog* dialog) : QObject(dialog) { setObjectName(kMarkName); }
    QPointer<QLabel> line;
    QList<QPointer<QWidget>> disabled;
};

CLinkLostMark* markOf(const QDialog* dialog) {
    return dialog->findChild<CLinkLostMark*>(QLatin1String(kMarkName), Qt::FindDirectChildrenOnly);
}

void placeAtTop(QDialog* dialog, QLabel* line) {
    QLayout* layout = dialog->layout();
    if (layout != nullptr && layout->menuBar() == nullptr) {
        // Above every layout kind, without knowing how the dialog is built.
        layout->setMenuBar(line);
    } else if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        box->insertWidget(0, line);
    } else {
        line->setGeometry(0, 0, dialog->width(), line->sizeHint().height());
        line->raise();
    }
    line->show();
}

} // namespace

bool sendsToFrame(const QWidget* widget) {
    const QVariant marked = widget->property(kSendsToFrameProperty);
    if (marked.isValid())
        return marked.toBool();
    const auto* button = qobject_cast<const QPushButton*>(widget);
    if (button == nullptr)
        return false;
    if (auto* box = qobject_cast<const QDialogButtonBox*>(button->parentWidget())) {
        const QDialogButtonBox::ButtonRole role = box->buttonRole(const_cast<QPushButton*>(button));
        if (role == QDialogButtonBox::RejectRole || role == QDialogButtonBox::HelpRole)
            return false;
    }
    const QString text = bareText(button->text());
    for (const char* local : kLocalButtons)
        if (text.compare(QLatin1String(local), Qt::CaseInsensitive) == 0)
            return false;
    return true;
}

void showLinkLost(QDialog* dialog, const QString& text) {
    if (dialog == nullptr)
        return;
    CLinkLostMark* mark = markOf(dialog);
    if (mark == nullptr)
        mark = new CLinkLostMark(dialog);
    if (mark->line == nullptr) {
        auto* line = new QLabel(dialog);
        line->setObjectName(kLineName);
        line->setWordWrap(true);
        line->setTextFormat(Qt::PlainText);
        // Dark brown on pale amber: readable in light and dark desktop themes.
        line->setStyleSheet(QStringLiteral("QLabel { background: #fff1c2; color: #4a2f00;"
                                           " border-bottom: 1px solid #c9a227; padding: 6px; }"));
        mark->line = line;
        placeAtTop(dialog, line);
    }
    mark->line->setText(text);
    const QList<QWidget*> widgets = dialog->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        // A dialog opened from this one is a window of its own, with its own line.
        if (w->window() != dialog || !w->isEnabled() || !sendsToFrame(w))
            continue;
        w->setEnabled(false);
        mark->disabled.append(w);
    }
}

void clearLinkLost(QDialog* dialog) {
    CLinkLostMark* mark = dialog ? markOf(dialog) : nullptr;
    if (mark == nullptr)
        return;
    for (const QPointer<QWidget>& w : mark->disabled)
        if (w)
            w->setEnabled(true);
    if (mark->line) {
        if (QLayout* layout = dialog->layout(); layout && layout->menuBar() == mark->line)
            layout->setMenuBar(nullptr);
        delete mark->line;
    }
    delete mark;
}

QWidget* linkLostLine(const QDialog* dialog) {
    const CLinkLostMark* mark = dialog ? markOf(dialog) : nullptr;
    return mark ? mark->line.data() : nullptr;
}

} // namespace velmar
