#include "engine/CodeTables.h"

#include <span>

namespace velmar {

namespace {

std::string_view nameOf(std::span<const CodeName> table, int code) {
    for (const CodeName& row : table)
        if (row.code == code)
            return row.name;
    return kUnknownCode;
}

} // namespace

std::string_view sampleRateName(int code) { return nameOf(kSampleRates, code); }

std::string_view syncSourceName(int code) { return nameOf(kSyncSources, code); }

int cardTypeFromBoardCode(std::string_view boardCode) {
    const std::string_view prefix = boardCode.substr(0, 6);
    for (const CardTypeCode& row : kCardTypes)
        if (prefix == row.boardCode)
            return row.cardType;
    return kCardTypeNone;
}

} // namespace velmar
