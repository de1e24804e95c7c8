#pragma once

#include <QString>
#include <string_view>

namespace velmar {

// Core texts are UTF-8 in standard strings; Qt wants QString.
inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace velmar
