#pragma once

#include "link/DeviceList.h"

#include <QSettings>

namespace velmar {

// The application profile over QSettings.
class CQtProfileStore : public IProfileStore {
public:
    explicit CQtProfileStore(QSettings& settings) : m_settings(settings) {}

    int readInt(std::string_view section, std::string_view key) override;
    std::string readString(std::string_view section, std::string_view key) override;
    bool writeInt(std::string_view section, std::string_view key, int value) override;
    bool writeString(std::string_view section, std::string_view key,
                     std::string_view value) override;

private:
    static QString path(std::string_view section, std::string_view key);
    bool writable();
    QSettings& m_settings;
};

} // namespace velmar
