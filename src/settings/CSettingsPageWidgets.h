#pragma once

#include "settings/SettingsPages.h"

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace velmar {

class CCheckableGroupBox;
class CListCtrlEx;

// The widgets of one settings page. A page shows its core page's control
// states (showState) and copies what the operator did back into them
// (pullState); the rules themselves are the core page's.
class CSettingsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void showState() = 0;
    virtual void pullState() {}
    // The field a validation message is about, to give it the focus.
    virtual QWidget* controlWidget(int control) const;
};

// The widgets of an address block: the "automatic" radio button, the group box
// whose caption radio chooses the fixed address, its fields and the MAC text.
struct AddressBlockWidgets {
    QRadioButton* automatic = nullptr;
    CCheckableGroupBox* fixed = nullptr;
    std::vector<QLineEdit*> addresses;
    QLabel* mac = nullptr;
};

class CDevIdTab final : public CSettingsPage {
public:
    CDevIdTab(CDevIdPage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;
    QWidget* controlWidget(int control) const override;

private:
    CDevIdPage& m_page;
    QLineEdit* m_id;
    QLineEdit* m_name;
};

class CDevLanTab final : public CSettingsPage {
public:
    CDevLanTab(CDevLanPage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;
    QWidget* controlWidget(int control) const override;

private:
    CDevLanPage& m_page;
    AddressBlockWidgets m_block;
};

class CSRateTab final : public CSettingsPage {
public:
    CSRateTab(CSampleRatePage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;

private:
    CSampleRatePage& m_page;
    QComboBox* m_genRate;
    QComboBox* m_adaptSource;
    QComboBox* m_wordClock;
};

class CSyncPrioTab final : public CSettingsPage {
public:
    CSyncPrioTab(CSyncPrioPage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;

private:
    CSyncPrioPage& m_page;
    CListCtrlEx* m_list;
    QCheckBox* m_termination;
};

// A page of combo boxes only (AES, MADI, PHD).
class CComboTab final : public CSettingsPage {
public:
    struct Field {
        QString label;
        ComboState* state;
        QString objectName;
        std::function<void()> changed = {}; // the page's rule for an operator's choice
    };
    CComboTab(std::vector<Field> fields, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;
    QComboBox* combo(int i) const { return m_combos[static_cast<std::size_t>(i)]; }

private:
    std::vector<Field> m_fields;
    std::vector<QComboBox*> m_combos;
};

class CDanteTab final : public CSettingsPage {
public:
    CDanteTab(CDantePage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;
    QWidget* controlWidget(int control) const override;

private:
    CDantePage& m_page;
    QLineEdit* m_name;
    AddressBlockWidgets m_primary;
    AddressBlockWidgets m_secondary;
    QComboBox* m_switchMode;
    QCheckBox* m_sampleRate;
    QCheckBox* m_master;
    QLineEdit* m_latency;
};

class COptModTab final : public CSettingsPage {
public:
    COptModTab(COptModPage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;

private:
    struct SfpWidgets {
        QGroupBox* group = nullptr;
        QComboBox* type = nullptr;
        QLabel* inputLabel = nullptr;
        std::array<QComboBox*, 5> lists{}; // input, frame rate, channel status, count, DSD
    };
    COptModPage& m_page;
    QComboBox* m_redundancy;
    QComboBox* m_redundancyMode;
    std::array<SfpWidgets, 2> m_sfp;
};

class CNumberTab final : public CSettingsPage {
public:
    CNumberTab(CNumberPage& page, const QString& label, const QString& objectName,
               QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;
    QWidget* controlWidget(int control) const override;

private:
    CNumberPage& m_page;
    QLineEdit* m_value;
};

// The card slots and the selected card's parameters, edited in place with a
// drop-down list of the values the card takes.
class CCardConfTab final : public CSettingsPage {
public:
    CCardConfTab(CCardConfPage& page, QWidget* parent = nullptr);
    void showState() override;
    void pullState() override;

private:
    void showParameters();

    CCardConfPage& m_page;
    CListCtrlEx* m_slots;
    CListCtrlEx* m_parameters;
};

class CHWConfTab final : public CSettingsPage {
public:
    CHWConfTab(const std::vector<HwRow>& rows, QWidget* parent = nullptr);
    void showState() override;

private:
    const std::vector<HwRow>& m_rows;
    CListCtrlEx* m_list;
};

} // namespace velmar
