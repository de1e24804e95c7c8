#include "protocol/ResponseDecoder.h"

#include "protocol/CommandTable.h"

#include <algorithm>
#include <cstring>

namespace velmar {

namespace {

constexpr std::string_view kLineStarts = "!%&:?";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// An optional "-" and 1..maxDigits digits forming the whole token, with a
// magnitude of at most maxMagnitude.
bool parseSigned(std::string_view token, std::size_t maxDigits, std::int64_t maxMagnitude,
                 std::int64_t& out) {
    bool negative = false;
    if (!token.empty() && token.front() == '-') {
        negative = true;
        token.remove_prefix(1);
    }
    if (token.empty() || token.size() > maxDigits)
        return false;
    std::int64_t value = 0;
    for (char c : token) {
        if (!isDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > maxMagnitude)
        return false;
    out = negative ? -value : value;
    return true;
}

// The characters after the token's first single quote, up to the next one or the
// token's end; no quote at all gives an empty text.
std::string_view quotedText(std::string_view token) {
    const std::size_t open = token.find('\'');
    if (open == std::string_view::npos)
        return {};
    token.remove_prefix(open + 1);
    const std::size_t close = token.find('\'');
    return close == std::string_view::npos ? token : token.substr(0, close);
}

template <std::size_t N>
void storeText(std::array<char, N>& field, std::string_view text) {
    field.fill('\0');
    const std::size_t n = std::min(text.size(), N - 1);
    if (n > 0) // an empty view may carry no pointer at all
        std::memcpy(field.data(), text.data(), n);
}

} // namespace

bool hwConfCarriesRecord(std::int32_t module) {
    return module == 2 || module == 3 || (module >= 9 && module <= 20);
}

namespace {

constexpr ListSpec kListSpecs[] = {
    {CommandId::lcross, ListTable::Crosspoints, 2, CResponseDecoder::kCrosspointEntries},
    {CommandId::lccross, ListTable::Crosspoints, 3, CResponseDecoder::kCrosspointEntries},
    {CommandId::lsyncprio, ListTable::SyncPriorities, 2, CResponseDecoder::kSyncPriorityEntries},
    {CommandId::lmaininpstatus, ListTable::InputStatus, 2, CResponseDecoder::kInputStatusEntries},
    {CommandId::lmaininprate, ListTable::InputRates, 2, CResponseDecoder::kInputRateEntries},
    {CommandId::llabel, ListTable::Labels, 3, CResponseDecoder::kLabelEntries},
    {CommandId::llevdetstate, ListTable::LevelDetectors, 3,
     CResponseDecoder::kLevelDetectorEntries},
    {CommandId::llevdetstatus, ListTable::LevelDetectors, 3,
     CResponseDecoder::kLevelDetectorEntries},
    {CommandId::lcdelay, ListTable::Delays, 3, CResponseDecoder::kDelayEntries},
    {CommandId::lppmid, ListTable::PpmIds, 0, CResponseDecoder::kPpmIdEntries},
};

} // namespace

const ListSpec* listSpecOf(CommandId id) {
    for (const ListSpec& s : kListSpecs)
        if (s.command == id)
            return &s;
    return nullptr;
}

bool parseIntToken(std::string_view token, std::int32_t& out) {
    std::int64_t v = 0;
    if (!parseSigned(token, 7, 9999999, v))
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool parseUnsignedToken(std::string_view token, std::uint32_t& out) {
    if (token.empty() || token.front() == '-')
        return false;
    std::int64_t v = 0;
    if (!parseSigned(token, 10, 4294967295LL, v))
        return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

bool parseDecimalToken(std::string_view token, DecimalValue& out) {
    const std::size_t dot = token.find('.');
    if (dot == std::string_view::npos)
        return false;
    std::int64_t whole = 0;
    std::int64_t hundredths = 0;
    const std::string_view fraction = token.substr(dot + 1);
    if (!parseSigned(token.substr(0, dot), 5, 32767, whole))
        return false;
    if (fraction.empty() || fraction.front() == '-' || !parseSigned(fraction, 2, 99, hundredths))
        return false;
    out.negative = token.front() == '-';
    out.whole = static_cast<std::int16_t>(whole < 0 ? -whole : whole);
    out.hundredths = static_cast<std::int16_t>(hundredths);
    return true;
}

std::string_view CResponseDecoder::InputStatusEntry::view() const {
    return {text.data(), strnlen(text.data(), text.size())};
}

std::string_view CResponseDecoder::LabelEntry::view() const {
    return {text.data(), strnlen(text.data(), text.size())};
}

DecodeResult CResponseDecoder::decode(std::string_view bytes, DeviceMessage& m, Column column) {
    // Framing: the line starts at the first start character and ends at the
    // first carriage return behind it. Anything in front of the start is noise.
    const std::size_t start = bytes.find_first_of(kLineStarts);
    if (start == std::string_view::npos)
        return {0, false};
    const std::size_t end = bytes.find('\r', start);
    if (end == std::string_view::npos)
        return {start, false};
    const DecodeResult done{end + 1, true};

    const char prefix = bytes[start];
    std::string_view content = bytes.substr(start + 1, end - start - 1);
    // The line is text: a NUL ends it, as it ends a C string.
    content = content.substr(0, std::min(content.size(), content.find('\0')));

    if (!tokenise(content, prefix))
        return {done.consumed, false};

    m = DeviceMessage{};
    m.command = commandOf(m_keyword);
    switch (prefix) {
    case '?':
    case '&': m.flags = FlagRequest; break;
    case ':': m.flags = FlagReply; break;
    default: m.flags = 0; break;
    }

    const auto invalid = [&m, done]() {
        m.setI(2, toIndex(m.command));
        m.command = CommandId::InvalidReply;
        m.setI(1, 1);
        m.tag = 0;
        return done;
    };

    if (m.command == CommandId::InvalidReply)
        return invalid();

    if (m_hasStatus) {
        std::int64_t status = 0;
        if (!parseSigned(m_status, 5, 32767, status))
            return invalid();
        m.status = static_cast<std::int32_t>(status);
        m.size = static_cast<std::uint16_t>(m.status);
    }
    if (m.command == CommandId::aliverequest) {
        m.flags |= FlagAlive;
        m.status = 0;
        m.size = 0;
    }

    if (!readArguments(m, column))
        return invalid();
    readTag(m);
    return done;
}

bool CResponseDecoder::tokenise(std::string_view content, char prefix) {
    // Runs of commas count as one separator and there are no empty tokens.
    m_keyword = {};
    m_status = {};
    m_hasStatus = false;
    m_argCount = 0;
    const bool withStatus = prefix == ':' || prefix == '!';
    int index = 0;
    std::size_t pos = 0;
    while (pos < content.size()) {
        if (content[pos] == ',') {
            ++pos;
            continue;
        }
        std::size_t stop = content.find(',', pos);
        if (stop == std::string_view::npos)
            stop = content.size();
        const std::string_view token = content.substr(pos, stop - pos);
        pos = stop;
        if (index == 0) {
            m_keyword = token;
        } else if (index == 1 && withStatus) {
            m_status = token;
            m_hasStatus = true;
        } else {
            if (m_argCount == kMaxArguments)
                return false;
            m_args[static_cast<std::size_t>(m_argCount++)] = token;
        }
        ++index;
    }
    return !m_keyword.empty() && m_keyword.size() <= kMaxKeyword;
}

bool CResponseDecoder::readValue(DeviceMessage& m, const ArgSpec& arg,
                                 std::string_view token) const {
    switch (arg.kind) {
    case ValueKind::Int: {
        std::int32_t v = 0;
        if (!parseIntToken(token, v))
            return false;
        m.setI(arg.slot(), v);
        return true;
    }
    case ValueKind::Unsigned: {
        std::uint32_t v = 0;
        if (!parseUnsignedToken(token, v))
            return false;
        m.setU(arg.slot(), v);
        return true;
    }
    case ValueKind::Decimal: {
        DecimalValue v;
        if (!parseDecimalToken(token, v))
            return false;
        m.setDecimal(arg.slot(), v);
        return true;
    }
    case ValueKind::Text:
        m.setText(TextField{arg.offset, arg.capacity}, quotedText(token));
        return true;
    case ValueKind::Raw: m.setText(TextField{arg.offset, arg.capacity}, token); return true;
    }
    return false;
}

bool CResponseDecoder::readArguments(DeviceMessage& m, Column column) {
    const CommandLayout& layout = layoutOf(m.command);
    const bool reply = column == Column::Reply;
    const ArgLayout& args = reply ? layout.reply : layout.request;
    const auto carried = reply ? args.carried(m.status) : args.all();

    for (std::size_t k = 0; k < carried.size(); ++k) {
        if (static_cast<int>(k) >= m_argCount || !readValue(m, carried[k], m_args[k]))
            return false;
        if (reply && layout.special == LayoutSpecial::HwConf && k == 0 &&
            !hwConfCarriesRecord(m.i(1)))
            return true; // other modules carry the number only
    }
    if (!reply)
        return true;

    if (layout.special == LayoutSpecial::SwVer) {
        const int pairs = std::min((m_argCount - 1) / 2, fields::kSwVerPairs);
        for (int k = 0; k < pairs; ++k) {
            m.setText(fields::swVerFirst(k),
                      quotedText(m_args[static_cast<std::size_t>(1 + 2 * k)]));
            m.setText(fields::swVerSecond(k),
                      quotedText(m_args[static_cast<std::size_t>(2 + 2 * k)]));
        }
    }
    if (layout.special == LayoutSpecial::List && m.status == 0)
        return readList(m, static_cast<int>(carried.size()));
    return true;
}

bool CResponseDecoder::readList(DeviceMessage& m, int fixedCount) {
    const ListSpec* spec = listSpecOf(m.command);
    if (spec == nullptr)
        return true; // lgain, lsumcross ... echo their request only

    const auto item = [this, fixedCount](int i) {
        return m_args[static_cast<std::size_t>(fixedCount + i)];
    };

    if (spec->table == ListTable::PpmIds) {
        // Every reply replaces the whole table: an empty list means the frame
        // has no streams left, and a list that does not read leaves no ids
        // behind that somebody could still ask about.
        m_ppmIds.fill(0);
        if (m_argCount > kPpmIdEntries + 1)
            return false;
        for (int i = 0; i < m_argCount && i < kPpmIdEntries; ++i) {
            const std::string_view token = m_args[static_cast<std::size_t>(i)];
            if (!token.empty() && token.front() == '*')
                break;
            if (!parseUnsignedToken(token, m_ppmIds[static_cast<std::size_t>(i)])) {
                m_ppmIds.fill(0);
                return false;
            }
        }
        return true;
    }

    const std::int32_t count = m.i(spec->countSlot);
    if (count > spec->limit)
        return false;
    const std::int32_t first = m.i(1);
    if ((spec->table == ListTable::InputStatus || spec->table == ListTable::InputRates) &&
        first + count > spec->limit + 1)
        return false;
    if (count > m_argCount - fixedCount)
        return false; // a missing item

    const auto readInts = [&](std::span<std::int32_t> table) {
        std::fill(table.begin(), table.end(), 0);
        for (int i = 0; i < count; ++i)
            if (!parseIntToken(item(i), table[static_cast<std::size_t>(i)]))
                return false;
        return true;
    };

    switch (spec->table) {
    case ListTable::Crosspoints: return readInts(m_crosspoints);
    case ListTable::SyncPriorities: return readInts(m_syncPriorities);
    case ListTable::InputRates: return readInts(m_inputRates);
    case ListTable::LevelDetectors: return readInts(m_levelDetectors);
    case ListTable::Delays: return readInts(m_delays);
    case ListTable::InputStatus:
        m_inputStatus.fill({});
        for (int i = 0; i < count; ++i) {
            InputStatusEntry& e = m_inputStatus[static_cast<std::size_t>(i)];
            e.channel = first + i;
            storeText(e.text, item(i));
        }
        return true;
    case ListTable::Labels:
        m_labels.fill({});
        for (int i = 0; i < count; ++i) {
            LabelEntry& e = m_labels[static_cast<std::size_t>(i)];
            e.direction = m.i(1);
            e.channel = m.i(2) + i;
            storeText(e.text, quotedText(item(i)));
        }
        return true;
    case ListTable::PpmIds: break;
    }
    return true;
}

void CResponseDecoder::readTag(DeviceMessage& m) const {
    if (m_argCount == 0)
        return;
    const std::string_view last = m_args[static_cast<std::size_t>(m_argCount - 1)];
    std::int64_t tag = 0;
    if (last.front() == '*' && parseSigned(last.substr(1), 5, 65535, tag) && tag > 0)
        m.tag = static_cast<std::uint16_t>(tag);
}

namespace {
template <typename T, std::size_t N>
bool copyTable(std::int32_t count, int limit, std::span<const T, N> table, std::span<T, N> out) {
    if (count > limit)
        return false;
    std::copy(table.begin(), table.end(), out.begin());
    return true;
}
} // namespace

bool CResponseDecoder::copyCrosspointList(std::int32_t count,
                                          std::span<std::int32_t, kCrosspointEntries> out) const {
    return copyTable(count, kCrosspointEntries, crosspointList(), out);
}
bool CResponseDecoder::copySyncPriorityList(
    std::int32_t count, std::span<std::int32_t, kSyncPriorityEntries> out) const {
    return copyTable(count, kSyncPriorityEntries, syncPriorityList(), out);
}
bool CResponseDecoder::copyInputStatusList(
    std::int32_t count, std::span<InputStatusEntry, kInputStatusEntries> out) const {
    return copyTable(count, kInputStatusEntries, inputStatusList(), out);
}
bool CResponseDecoder::copyLabelList(std::int32_t count,
                                     std::span<LabelEntry, kLabelEntries> out) const {
    return copyTable(count, kLabelEntries, labelList(), out);
}
bool CResponseDecoder::copyLevelDetectorList(
    std::int32_t count, std::span<std::int32_t, kLevelDetectorEntries> out) const {
    return copyTable(count, kLevelDetectorEntries, levelDetectorList(), out);
}
bool CResponseDecoder::copyPpmIdList(std::int32_t count,
                                     std::span<std::uint32_t, kPpmIdEntries> out) const {
    return copyTable(count, kPpmIdEntries, ppmIdList(), out);
}

} // namespace velmar
