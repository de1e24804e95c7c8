#include "controls/CCheckableGroupBox.h"

#include <QCheckBox>
#include <QChildEvent>
#include <QRadioButton>
#include <algorithm>

namespace velmar {

CCheckableGroupBox::CCheckableGroupBox(const QString& title, Caption caption, int group,
                                       QWidget* parent)
    : QGroupBox(parent), m_kind(caption), m_group(group) {
    // The caption button carries the title; the frame's own title stays empty
    // so it is not drawn twice.
    const QString text = title.isEmpty() ? QStringLiteral("Use the following IP address") : title;
    if (caption == RadioButton) {
        auto* radio = new QRadioButton(text, this);
        // Exclusivity follows the group number, not the parent widget.
        radio->setAutoExclusive(false);
        m_caption = radio;
    } else {
        m_caption = new QCheckBox(text, this);
    }
    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setFont(font());
    connect(m_caption, &QAbstractButton::clicked, this, &CCheckableGroupBox::onCaptionClicked);
    QMargins margins = contentsMargins();
    margins.setTop(m_caption->sizeHint().height() + 2);
    setContentsMargins(margins);
    placeCaption();
    applyToContent();
}

bool CCheckableGroupBox::isCaptionChecked() const { return m_caption->isChecked(); }

void CCheckableGroupBox::setCaptionChecked(bool checked) {
    m_caption->setChecked(checked);
    applyToContent();
}

void CCheckableGroupBox::setPartner(QAbstractButton* partner) {
    m_partner = partner;
    if (partner)
        connect(partner, &QAbstractButton::clicked, this, [this](bool checked) {
            if (checked)
                setCaptionChecked(false);
        });
}

void CCheckableGroupBox::onCaptionClicked(bool checked) {
    if (m_kind == RadioButton) {
        // A radio caption cannot be unchecked by clicking it again.
        checked = true;
        m_caption->setChecked(true);
        if (parentWidget())
            for (auto* other : parentWidget()->findChildren<CCheckableGroupBox*>(
                     QString(), Qt::FindDirectChildrenOnly))
                if (other != this && other->m_kind == RadioButton && other->m_group == m_group)
                    other->setCaptionChecked(false);
    }
    if (checked && m_partner)
        m_partner->setChecked(false);
    applyToContent();
    Q_EMIT captionClicked(checked);
}

void CCheckableGroupBox::applyToContent() {
    const bool on = m_caption->isChecked();
    for (auto* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child != m_caption)
            child->setEnabled(on);
}

void CCheckableGroupBox::childEvent(QChildEvent* event) {
    QGroupBox::childEvent(event);
    // Content added later follows the caption too.
    if (event->type() == QEvent::ChildPolished && m_caption && event->child() != m_caption &&
        event->child()->isWidgetType())
        static_cast<QWidget*>(event->child())->setEnabled(m_caption->isChecked());
}

void CCheckableGroupBox::placeCaption() {
    const QSize hint = m_caption->sizeHint();
    m_caption->setGeometry(18, 0, std::min(hint.width(), std::max(0, width() - 18)), hint.height());
}

void CCheckableGroupBox::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    placeCaption();
}

} // namespace velmar
