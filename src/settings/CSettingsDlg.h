#pragma once

#include "settings/SettingsPages.h"

#include <QDialog>
#include <array>
#include <functional>

class QLabel;
class QListWidget;
class QTabWidget;

namespace velmar {

class CPollingEngine;
class CSettingsPage;

// The device settings dialog: thirteen pages over a copy of the frame's
// settings. It never talks to the frame; "Save changes" ends it with the
// operator's Yes, and its owner then applies the copy.
class CSettingsDlg : public QDialog {
    Q_OBJECT
public:
    CSettingsDlg(CSettingsDialogLogic& logic, QWidget* parent = nullptr);

    // True when the dialog ended through "Save changes" and Yes.
    bool confirmed() const { return m_confirmed; }
    // Asked before a confirmed end: without a link nothing could be sent.
    void setLinkCheck(std::function<bool()> linkUp) { m_linkUp = std::move(linkUp); }

    // The buttons' work, with a path as the file dialogs hand it over.
    void saveChanges();
    void saveToFile();
    void saveToFileAt(const QString& path);
    void loadFromFile();
    void loadFromFileAt(const QString& path);

    // The line under the pages that says what the last file action did.
    QString statusText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pageChanged(int index);
    void showPages();
    bool storeFailed(int page, const PageError& error);
    void tell(const QString& text, bool warning);
    void setStatus(const QString& text);
    // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PageDown, Ctrl+PageUp: +1 or -1, else 0.
    static int pageStep(const class QKeyEvent& key);

    CSettingsDialogLogic& m_logic;
    QTabWidget* m_tabs;
    QListWidget* m_pageList; // the pages' captions, at the side
    QLabel* m_status;
    std::array<CSettingsPage*, CSettingsDialogLogic::kPageCount> m_pages{};
    int m_current = 0;
    bool m_switchingBack = false;
    bool m_confirmed = false;
    std::function<bool()> m_linkUp;
};

// Opens the dialog on the engine's settings and applies a confirmed result.
void runSettingsDialog(CPollingEngine& engine, QWidget* parent);

} // namespace velmar
