#pragma once

#include "IntegrationSupport.h"
#include "main/CZarvoDlg.h"

#include <QSettings>
#include <QTemporaryDir>
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

} // namespace velmar::test
