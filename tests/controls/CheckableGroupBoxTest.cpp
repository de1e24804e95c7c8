#include "controls/CCheckableGroupBox.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(CheckableGroupBoxTest, CaptionEnablesAndDisablesTheContent) {
    QWidget page;
    auto* box = new CCheckableGroupBox(QString(), CCheckableGroupBox::CheckBox, 0, &page);
    auto* address = new QLineEdit(box);
    EXPECT_EQ(box->captionButton()->text(), QStringLiteral("Use the following IP address"));
    box->setCaptionChecked(false);
    EXPECT_FALSE(address->isEnabled());
    box->setCaptionChecked(true);
    EXPECT_TRUE(address->isEnabled());
    EXPECT_TRUE(box->captionButton()->isEnabled());

    page.show();
    QTest::mouseClick(box->captionButton(), Qt::LeftButton);
    EXPECT_FALSE(box->isCaptionChecked());
    EXPECT_FALSE(address->isEnabled());
}

TEST(CheckableGroupBoxTest, RadioCaptionUnchecksItsPartnerAndItsGroup) {
    QWidget page;
    auto* dhcp = new QRadioButton(QStringLiteral("Obtain an IP address automatically"), &page);
    auto* first = new CCheckableGroupBox(QStringLiteral("Primary"), CCheckableGroupBox::RadioButton,
                                         0, &page);
    auto* second = new CCheckableGroupBox(QStringLiteral("Secondary"),
                                          CCheckableGroupBox::RadioButton, 0, &page);
    auto* other =
        new CCheckableGroupBox(QStringLiteral("Other"), CCheckableGroupBox::RadioButton, 1, &page);
    auto* firstAddress = new QLineEdit(first);
    first->setPartner(dhcp);
    auto* layout = new QVBoxLayout(&page);
    for (QWidget* w : {static_cast<QWidget*>(dhcp), static_cast<QWidget*>(first),
                       static_cast<QWidget*>(second), static_cast<QWidget*>(other)})
        layout->addWidget(w);
    dhcp->setChecked(true);
    second->setCaptionChecked(true);
    other->setCaptionChecked(true);
    page.show();

    QTest::mouseClick(first->captionButton(), Qt::LeftButton);
    EXPECT_TRUE(first->isCaptionChecked());
    EXPECT_TRUE(firstAddress->isEnabled());
    EXPECT_FALSE(dhcp->isChecked());
    EXPECT_FALSE(second->isCaptionChecked()); // same group number
    EXPECT_TRUE(other->isCaptionChecked());   // a group of its own

    // Clicking the checked radio caption again keeps it checked.
    QTest::mouseClick(first->captionButton(), Qt::LeftButton);
    EXPECT_TRUE(first->isCaptionChecked());

    QTest::mouseClick(dhcp, Qt::LeftButton);
    EXPECT_FALSE(first->isCaptionChecked());
    EXPECT_FALSE(firstAddress->isEnabled());
}

} // namespace
} // namespace velmar
