#include "link/CQtProfileStore.h"

namespace velmar {

QString CQtProfileStore::path(std::string_view section, std::string_view key) {
    return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) +
           QLatin1Char('/') + QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

int CQtProfileStore::readInt(std::string_view section, std::string_view key) {
    bool ok = false;
    const int value = m_settings.value(path(section, key)).toInt(&ok);
    return ok ? value : 0;
}

std::string CQtProfileStore::readString(std::string_view section, std::string_view key) {
    return m_settings.value(path(section, key)).toString().toStdString();
}

bool CQtProfileStore::writable() {
    return m_settings.isWritable() && m_settings.status() == QSettings::NoError;
}

bool CQtProfileStore::writeInt(std::string_view section, std::string_view key, int value) {
    if (!writable())
        return false;
    m_settings.setValue(path(section, key), value);
    return true;
}

bool CQtProfileStore::writeString(std::string_view section, std::string_view key,
                                  std::string_view value) {
    if (!writable())
        return false;
    m_settings.setValue(path(section, key),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    return true;
}

} // namespace velmar
