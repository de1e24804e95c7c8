#pragma once

#include "IntegrationSupport.h"
#include "window/CZarvoDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

namespace velmar::test {

// Window tests keep the window's profile in a temporary folder of their own,
// so they never read or write the operator's saved addresses.
class WindowProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("profile.ini")),
                                               QSettings::IniFormat);
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
};

// Connects the window to the first frame its search lists, as a double click
// would; true once that frame has been read completely.
inline bool connectToFirstRow(CZarvoDlg& window) {
    if (!waitUntil([&] { return !window.deviceList().rows().empty(); }))
        return false;
    window.connectToRow(0);
    return waitUntil([&] { return window.engine().settingsEnabled(); });
}

// Answers every message box that shows, and keeps what each said and under
// which caption. The button is chosen by the box's text (Yes unless told
// otherwise); a box without that button gets its first one.
class MessageBoxAnswerer : public QObject {
public:
    QStringList texts;
    QStringList titles;

    MessageBoxAnswerer() {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const auto widgets = QApplication::topLevelWidgets();
            for (QWidget* w : widgets) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible())
                    continue;
                texts << box->text();
                titles << box->windowTitle();
                QAbstractButton* button = box->button(m_answer(box->text()));
                (button ? button : box->buttons().value(0))->click();
            }
        });
        m_timer.start(10);
    }
    void setAnswer(QMessageBox::StandardButton button) {
        m_answer = [button](const QString&) { return button; };
    }
    void answerBy(std::function<QMessageBox::StandardButton(const QString& text)> choose) {
        m_answer = std::move(choose);
    }

private:
    std::function<QMessageBox::StandardButton(const QString&)> m_answer = [](const QString&) {
        return QMessageBox::Yes;
    };
    QTimer m_timer;
};

} // namespace velmar::test
