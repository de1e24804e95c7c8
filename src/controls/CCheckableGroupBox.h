#pragma once

#include <QGroupBox>
#include <QPointer>

class QAbstractButton;

namespace velmar {

// A group box whose caption is a check box or a radio button: checking it
// enables everything inside the box, unchecking disables it. A radio caption
// also unchecks the plain radio button it pairs with (for example "Obtain an
// IP address automatically") and every other radio-caption box with the same
// group number under the same parent, so two address blocks can be either
// independent (different numbers) or exclusive (the same number).
class CCheckableGroupBox : public QGroupBox {
    Q_OBJECT
public:
    enum Caption { CheckBox, RadioButton };

    explicit CCheckableGroupBox(const QString& title, Caption caption = CheckBox, int group = 0,
                                QWidget* parent = nullptr);

    QAbstractButton* captionButton() const { return m_caption; }
    Caption captionKind() const { return m_kind; }
    int group() const { return m_group; }

    bool isCaptionChecked() const;
    // Sets the caption's state and enables or disables the content to match.
    void setCaptionChecked(bool checked);

    // The plain radio button of the same address block: checking the caption
    // unchecks it, and clicking it unchecks the caption.
    void setPartner(QAbstractButton* partner);

Q_SIGNALS:
    // The user clicked the caption.
    void captionClicked(bool checked);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void applyToContent();
    void onCaptionClicked(bool checked);
    void placeCaption();

    QAbstractButton* m_caption = nullptr;
    QPointer<QAbstractButton> m_partner;
    Caption m_kind;
    int m_group;
};

} // namespace velmar
