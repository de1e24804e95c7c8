#include "ctl/MessageText.h"

#include "protocol/JsonWriter.h"
#include "session/Reports.h"
#include "engine/CodeTables.h"
#include "protocol/ArgumentLayout.h"
#include "protocol/ChannelNames.h"
#include "protocol/CommandTable.h"
#include "protocol/TerminalText.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

namespace velmar {

namespace {

// ---- what a decoded message carries -----------------------------------------

struct Value {
    ValueKind kind = ValueKind::Int;
    std::int64_t number = 0;
    DecimalValue decimal{};
    std::string_view text;
};

enum class ItemKind { None, Numbers, Labels, InputStatus };

// A message taken apart for showing. Texts are views into the message and the
// decoder's tables.
struct Content {
    std::vector<Value> args;
    std::vector<std::pair<std::string_view, std::string_view>> pairs; // "gswver"
    ItemKind items = ItemKind::None;
    std::vector<std::int64_t> numbers;
    std::span<const CResponseDecoder::LabelEntry> labels;
    std::span<const CResponseDecoder::InputStatusEntry> inputs;
};

Value valueOf(const DeviceMessage& m, const ArgSpec& arg) {
    Value v;
    v.kind = arg.kind;
    switch (arg.kind) {
    case ValueKind::Int: v.number = m.i(arg.slot()); break;
    case ValueKind::Unsigned: v.number = m.u(arg.slot()); break;
    case ValueKind::Decimal: v.decimal = m.decimal(arg.slot()); break;
    case ValueKind::Text:
    case ValueKind::Raw: v.text = m.text(TextField{arg.offset, arg.capacity}); break;
    }
    return v;
}

// The first `count` entries of a table; a count beyond the table gives the
// whole table, a negative one nothing.
template <typename T, std::size_t N>
std::span<const T> firstItems(std::span<const T, N> table, std::int32_t count) {
    const auto n = static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, N));
    return std::span<const T>(table).first(n);
}

template <typename T, std::size_t N>
void takeNumbers(Content& c, std::span<const T, N> table, std::int32_t count) {
    c.items = ItemKind::Numbers;
    for (const T& v : firstItems(table, count))
        c.numbers.push_back(v);
}

void takeItems(Content& c, const DeviceMessage& m, const CResponseDecoder& d) {
    const ListSpec* source = listSpecOf(m.command);
    if (source == nullptr)
        return;
    const std::int32_t count = source->countSlot > 0 ? m.i(source->countSlot) : 0;
    switch (source->table) {
    case ListTable::Crosspoints: takeNumbers(c, d.crosspointList(), count); break;
    case ListTable::SyncPriorities: takeNumbers(c, d.syncPriorityList(), count); break;
    case ListTable::InputRates: takeNumbers(c, d.inputRateList(), count); break;
    case ListTable::LevelDetectors: takeNumbers(c, d.levelDetectorList(), count); break;
    case ListTable::Delays: takeNumbers(c, d.delayList(), count); break;
    case ListTable::PpmIds:
        // No count on the line: the table holds the ids in front and 0 behind.
        c.items = ItemKind::Numbers;
        for (const std::uint32_t id : d.ppmIdList())
            if (id != 0)
                c.numbers.push_back(id);
        break;
    case ListTable::Labels:
        c.items = ItemKind::Labels;
        c.labels = firstItems(d.labelList(), count);
        break;
    case ListTable::InputStatus:
        c.items = ItemKind::InputStatus;
        c.inputs = firstItems(d.inputStatusList(), count);
        break;
    }
}

Content contentOf(const DeviceMessage& m, const CResponseDecoder& d) {
    Content c;
    const CommandLayout& layout = layoutOf(m.command);
    if (messageKindOf(m) == MessageKind::Request) {
        for (const ArgSpec& arg : layout.request.all())
            c.args.push_back(valueOf(m, arg));
        return c;
    }
    std::span<const ArgSpec> args = layout.reply.carried(m.status);
    if (layout.special == LayoutSpecial::HwConf && !args.empty() &&
        !hwConfCarriesRecord(m.i(args.front().slot())))
        args = args.first(1);
    for (const ArgSpec& arg : args)
        c.args.push_back(valueOf(m, arg));

    if (layout.special == LayoutSpecial::SwVer) {
        for (int k = 0; k < fields::kSwVerPairs; ++k) {
            const std::string_view first = m.text(fields::swVerFirst(k));
            const std::string_view second = m.text(fields::swVerSecond(k));
            if (!first.empty() || !second.empty())
                c.pairs.emplace_back(first, second);
        }
    }
    // An error reply stops before the items; the decoder does not read them.
    if (layout.special == LayoutSpecial::List && m.status == 0)
        takeItems(c, m, d);
    return c;
}

// ---- text -------------------------------------------------------------------

// A text in single quotes that is safe to print on a terminal.
void appendQuoted(std::string& out, std::string_view text) {
    out += '\'';
    appendTerminalSafe(out, text, "'");
    out += '\'';
}

// "-0.75": the sign belongs to the whole value.
std::string decimalText(DecimalValue d) {
    const int whole = std::abs(static_cast<int>(d.whole));
    const int hundredths = std::abs(static_cast<int>(d.hundredths));
    std::string s = d.negative ? "-" : "";
    s += std::to_string(whole);
    s += hundredths < 10 ? ".0" : ".";
    s += std::to_string(hundredths);
    return s;
}

void appendValue(std::string& out, const Value& v) {
    switch (v.kind) {
    case ValueKind::Int:
    case ValueKind::Unsigned: out += std::to_string(v.number); break;
    case ValueKind::Decimal: out += decimalText(v.decimal); break;
    case ValueKind::Text:
    case ValueKind::Raw: appendQuoted(out, v.text); break;
    }
}

// Appends the pieces, ", " between them.
template <typename Range, typename Append>
void appendJoined(std::string& out, const Range& range, Append append) {
    bool first = true;
    for (const auto& piece : range) {
        if (!first)
            out += ", ";
        first = false;
        append(piece);
    }
}

void appendItems(std::string& out, const Content& c) {
    const bool none = c.numbers.empty() && c.labels.empty() && c.inputs.empty();
    if (none) {
        out += "; no items";
        return;
    }
    out += "; items: ";
    switch (c.items) {
    case ItemKind::None: break;
    case ItemKind::Numbers:
        appendJoined(out, c.numbers, [&](std::int64_t n) { out += std::to_string(n); });
        break;
    case ItemKind::Labels:
        appendJoined(out, c.labels, [&](const CResponseDecoder::LabelEntry& e) {
            out += std::to_string(e.channel) + ' ';
            appendQuoted(out, e.view());
        });
        break;
    case ItemKind::InputStatus:
        appendJoined(out, c.inputs, [&](const CResponseDecoder::InputStatusEntry& e) {
            out += std::to_string(e.channel) + ' ';
            appendQuoted(out, e.view());
        });
        break;
    }
}

void writeJsonValue(CJsonWriter& out, const Value& v) {
    switch (v.kind) {
    case ValueKind::Int:
    case ValueKind::Unsigned: out.value(v.number); break;
    case ValueKind::Decimal: out.rawNumber(decimalText(v.decimal)); break;
    case ValueKind::Text:
    case ValueKind::Raw: out.value(v.text); break;
    }
}

void writeJsonItems(CJsonWriter& out, const Content& c) {
    out.key("items").beginArray();
    for (const std::int64_t n : c.numbers)
        out.value(n);
    for (const CResponseDecoder::LabelEntry& e : c.labels) {
        out.beginObject()
            .field("direction", e.direction)
            .field("channel", e.channel)
            .field("text", e.view())
            .endObject();
    }
    for (const CResponseDecoder::InputStatusEntry& e : c.inputs)
        out.beginObject().field("channel", e.channel).field("text", e.view()).endObject();
    out.endArray();
}

// The command that a line which did not decode was about; empty when even its
// keyword was unknown.
std::string_view undecodedKeyword(const DeviceMessage& m) {
    const std::int32_t was = m.i(2);
    if (was < 0 || was >= kCommandCount)
        return {};
    return keywordOf(static_cast<CommandId>(was));
}

// ---- request lines ----------------------------------------------------------

constexpr std::string_view kBlanks = " \t\r\n";

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

// A piece of the user's line quoted for an error message, cut when long.
std::string shown(std::string_view text) {
    constexpr std::size_t kLongest = 40;
    std::string s = "\"";
    s += text.size() > kLongest ? std::string(text.substr(0, kLongest - 3)) + "..."
                                : std::string(text);
    return s + '"';
}

ParsedRequest failed(std::string error) { return {std::nullopt, std::move(error)}; }

std::string wrongArguments(CommandId id, std::string_view detail) {
    const std::string keyword(keywordOf(id));
    const std::string signature = requestSignature(id);
    std::string s = "wrong arguments for \"" + keyword + "\": ";
    s += detail;
    s += "; " + keyword;
    s += signature.empty() ? " takes no arguments" : " takes: " + signature;
    return s;
}

// Splits the arguments as the decoder does (commas separate, runs of commas
// count as one), except that a token starting with a quote runs to the quote
// that ends a token. So "'a,b'" stays one token and its comma can be named as
// the problem, rather than showing up as an argument too many.
std::vector<std::string_view> splitArguments(std::string_view s) {
    std::vector<std::string_view> tokens;
    std::size_t pos = 0;
    while (pos < s.size()) {
        if (s[pos] == ',') {
            ++pos;
            continue;
        }
        std::size_t stop = std::string_view::npos;
        if (s[pos] == '\'') {
            for (std::size_t q = s.find('\'', pos + 1); q != std::string_view::npos;
                 q = s.find('\'', q + 1)) {
                if (q + 1 == s.size() || s[q + 1] == ',') {
                    stop = q + 1;
                    break;
                }
            }
        }
        if (stop == std::string_view::npos)
            stop = std::min(s.find(',', pos), s.size());
        tokens.push_back(s.substr(pos, stop - pos));
        pos = stop;
    }
    return tokens;
}

// "*N" with 1..5 digits and 1 <= N <= 65535, as the decoder takes a tag.
bool isTag(std::string_view token) {
    if (token.size() < 2 || token.size() > 6 || token.front() != '*')
        return false;
    std::int32_t n = 0;
    for (const char c : token.substr(1)) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= 65535;
}

std::string lengthProblem(std::string_view text, std::uint16_t capacity) {
    const std::size_t most = capacity > 0 ? capacity - 1U : 0U;
    if (text.size() <= most)
        return {};
    return "the text " + shown(text) + " is longer than " + std::to_string(most) + " characters";
}

// Why `token` cannot stand for `arg`; empty when it can. The checks refuse
// what the decoder would read differently from what was typed.
std::string argumentProblem(const ArgSpec& arg, std::string_view token) {
    switch (arg.kind) {
    case ValueKind::Int: {
        std::int32_t v = 0;
        return parseIntToken(token, v) ? std::string()
                                       : shown(token) + " is not an int (up to 7 digits)";
    }
    case ValueKind::Unsigned: {
        std::uint32_t v = 0;
        return parseUnsignedToken(token, v)
                   ? std::string()
                   : shown(token) + " is not an unsigned number (0 to 4294967295)";
    }
    case ValueKind::Decimal: {
        // One digit after the point would be read as hundredths ("0.5" is
        // 0.05), so only the two-digit form is taken.
        DecimalValue v;
        const std::size_t dot = token.find('.');
        if (!parseDecimalToken(token, v) || token.size() - dot != 3)
            return shown(token) + " is not a decimal with two digits after the point, as -0.75";
        return {};
    }
    case ValueKind::Text: {
        if (token.size() < 2 || token.front() != '\'' || token.back() != '\'')
            return shown(token) + " is not a text in single quotes, as 'Studio A'";
        const std::string_view inner = token.substr(1, token.size() - 2);
        if (inner.find(',') != std::string_view::npos)
            return "the text " + shown(inner) + " holds a comma, which a request line cannot carry";
        if (inner.find('\'') != std::string_view::npos)
            return "the text " + shown(inner) +
                   " holds a single quote, which a request line cannot carry";
        return lengthProblem(inner, arg.capacity);
    }
    case ValueKind::Raw:
        if (token.find(',') != std::string_view::npos)
            return "the text " + shown(token) + " holds a comma, which a request line cannot carry";
        return lengthProblem(token, arg.capacity);
    }
    return {};
}

std::string kindText(const ArgSpec& arg) {
    const std::string most = std::to_string(arg.capacity > 0 ? arg.capacity - 1 : 0);
    switch (arg.kind) {
    case ValueKind::Int: return "int";
    case ValueKind::Unsigned: return "unsigned";
    case ValueKind::Decimal: return "decimal";
    case ValueKind::Text: return "text(" + most + ")";
    case ValueKind::Raw: return "raw(" + most + ")";
    }
    return {};
}

} // namespace

MessageKind messageKindOf(const DeviceMessage& message) {
    if (message.isReply())
        return MessageKind::Reply;
    if (message.isRequest())
        return MessageKind::Request;
    return MessageKind::Message;
}

std::string_view messageKindName(MessageKind kind) {
    switch (kind) {
    case MessageKind::Reply: return "reply";
    case MessageKind::Message: return "message";
    case MessageKind::Request: return "request";
    }
    return {};
}

std::string messageText(const DeviceMessage& message, const CResponseDecoder& decoder) {
    const MessageKind kind = messageKindOf(message);
    std::string out(messageKindName(kind));
    if (message.command == CommandId::InvalidReply) {
        const std::string_view was = undecodedKeyword(message);
        if (was.empty())
            return out + " (unknown command, does not decode)";
        return out + ' ' + std::string(was) + " (does not decode)";
    }
    const std::string_view keyword = keywordOf(message.command);
    out += ' ';
    // Appended piecewise: GCC 12 at -O3 reports a false -Wrestrict for
    // "#" + std::string here.
    if (keyword.empty()) {
        out += '#';
        out += std::to_string(toIndex(message.command));
    } else {
        out += keyword;
    }
    if (kind != MessageKind::Request) {
        out += " status " + std::to_string(message.status);
        if (message.status != 0)
            out += " (refused)";
    }

    const Content c = contentOf(message, decoder);
    if (!c.args.empty()) {
        out += ": ";
        appendJoined(out, c.args, [&](const Value& v) { appendValue(out, v); });
    }
    if (!c.pairs.empty()) {
        out += "; pairs: ";
        appendJoined(out, c.pairs, [&](const auto& pair) {
            appendQuoted(out, pair.first);
            out += ' ';
            appendQuoted(out, pair.second);
        });
    }
    if (c.items != ItemKind::None)
        appendItems(out, c);
    if (message.tag != 0)
        out += " tag " + std::to_string(message.tag);
    return out;
}

namespace {

struct NamedChannel {
    std::string_view direction; // "output" or "input"
    int channel = 0;            // 0: no input
};

// The channels a message names, by the layout of its command.
std::vector<NamedChannel> namedChannels(const DeviceMessage& m) {
    using C = CommandId;
    if (m.command == C::InvalidReply || m.status != 0)
        return {};
    switch (m.command) {
    case C::gcross:
    case C::scross: return {{"output", m.i(1)}, {"input", m.i(2)}};
    case C::glabel:
    case C::slabel:
    case C::ggain:
    case C::sgain:
    case C::glevdetthres:
    case C::slevdetthres:
    case C::glevdetstate:
    case C::slevdetstate:
    case C::glevdetstatus: return {{m.i(1) != 0 ? "output" : "input", m.i(2)}};
    default: return {};
    }
}

// The kind of card that carries a card channel (both banks), when the frame
// has reported one in that slot.
std::string_view cardKindOf(int channel, const DeviceState* state) {
    constexpr int kChannelsPerCard = 64;
    constexpr int kSecondBank = 1025;
    if (state == nullptr || channel < 1 || channel > kMaxCrosspoints)
        return {};
    const int first = channel >= kSecondBank ? kSecondBank : 1;
    const int slot = (channel - first) / kChannelsPerCard + 1;
    if (slot > kCardSlots || state->cardType(slot) == kCardTypeNone)
        return {};
    return cardTypeName(state->cardType(slot));
}

bool nameable(int channel) { return channel >= 1 && channel <= kMaxCrosspoints; }

} // namespace

std::string channelNote(const DeviceMessage& message, const DeviceState* state) {
    std::string out;
    for (const NamedChannel& n : namedChannels(message)) {
        if (n.channel != 0 && !nameable(n.channel))
            continue;
        if (!out.empty())
            out += ", ";
        out += std::string(n.direction) + " ";
        if (n.channel == 0) {
            out += "none";
            continue;
        }
        out += std::to_string(n.channel) + " = " + channelDisplayName(n.channel);
        if (const std::string_view kind = cardKindOf(n.channel, state); !kind.empty())
            out += " (" + std::string(kind) + ")";
    }
    return out;
}

void writeMessageJson(CJsonWriter& out, const DeviceMessage& message,
                      const CResponseDecoder& decoder, const DeviceState* state) {
    const MessageKind kind = messageKindOf(message);
    out.beginObject().field("kind", messageKindName(kind));

    const bool invalid = message.command == CommandId::InvalidReply;
    const std::string_view keyword =
        invalid ? undecodedKeyword(message) : keywordOf(message.command);
    out.key("command");
    if (keyword.empty())
        out.null();
    else
        out.value(keyword);
    if (invalid) {
        out.field("invalid", true).endObject();
        return;
    }
    if (kind != MessageKind::Request)
        out.field("status", message.status);

    const Content c = contentOf(message, decoder);
    out.key("args").beginArray();
    for (const Value& v : c.args)
        writeJsonValue(out, v);
    out.endArray();
    if (!c.pairs.empty()) {
        out.key("pairs").beginArray();
        for (const auto& [first, second] : c.pairs)
            out.beginArray().value(first).value(second).endArray();
        out.endArray();
    }
    if (c.items != ItemKind::None)
        writeJsonItems(out, c);
    if (message.tag != 0)
        out.field("tag", static_cast<int>(message.tag));
    if (const std::vector<NamedChannel> named = namedChannels(message);
        state != nullptr && !named.empty()) {
        out.key("channels").beginArray();
        for (const NamedChannel& n : named) {
            if (!nameable(n.channel))
                continue;
            out.beginObject().field("direction", n.direction).field("channel", n.channel);
            out.field("name", std::string_view(channelDisplayName(n.channel)));
            if (const std::string_view kind = cardKindOf(n.channel, state); !kind.empty())
                out.field("card", kind);
            out.endObject();
        }
        out.endArray();
    }
    out.endObject();
}

ParsedRequest parseRequestLine(std::string_view line) {
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return failed("empty line");
    line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
    for (const char c : line)
        if (isControl(static_cast<unsigned char>(c)))
            return failed("control character " + terminalSafe(std::string_view(&c, 1)) +
                          " inside the line");

    char prefix = '\0';
    switch (line.front()) {
    case ':': return failed("a line starting with ':' is a reply, not a request");
    case '!': return failed("a line starting with '!' is a message from a frame, not a request");
    case '?':
    case '&':
    case '%':
        prefix = line.front();
        line.remove_prefix(1);
        break;
    default: break;
    }

    const std::size_t start = line.find_first_not_of(',');
    if (start == std::string_view::npos)
        return failed(prefix != '\0' ? std::string("no command after '") + prefix + "'"
                                     : std::string("no command in the line"));
    std::string_view head = line.substr(start);

    // "sprog" step 1 carries its programming line behind "#", outside the
    // comma-separated arguments.
    std::string_view program;
    bool hasProgram = false;
    if (head.substr(0, head.find_first_of(",#")) == "sprog") {
        if (const std::size_t hash = head.find('#'); hash != std::string_view::npos) {
            program = head.substr(hash + 1);
            head = head.substr(0, hash);
            hasProgram = true;
        }
    }

    const std::size_t comma = head.find(',');
    const std::string_view keyword = head.substr(0, comma);
    const CommandId id = commandOf(keyword);
    if (id == CommandId::InvalidReply)
        return failed("unknown command " + shown(keyword));

    std::vector<std::string_view> tokens =
        splitArguments(comma == std::string_view::npos ? std::string_view() : head.substr(comma));
    if (!tokens.empty() && tokens.back().front() == '*') {
        if (!isTag(tokens.back()))
            return failed(
                wrongArguments(id, shown(tokens.back()) + " is no tag: a tag is *1 to *65535"));
        tokens.pop_back();
    }

    const std::span<const ArgSpec> args = layoutOf(id).request.all();
    if (tokens.size() != args.size()) {
        const std::string expected = args.empty() ? "none" : std::to_string(args.size());
        return failed(wrongArguments(id, std::to_string(tokens.size()) + " given, " + expected +
                                             " expected"));
    }
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string problem = argumentProblem(args[k], tokens[k]);
        if (!problem.empty())
            return failed(wrongArguments(id, "argument " + std::to_string(k + 1) + ": " + problem));
    }

    // The decoder reads the values, by the same rules as a frame reads them.
    std::string bytes(1, prefix != '\0' ? prefix : (keyword.front() == 's' ? '&' : '?'));
    bytes.append(head);
    bytes += '\r';
    CResponseDecoder decoder;
    DeviceMessage decoded;
    const DecodeResult r = decoder.decode(bytes, decoded, CResponseDecoder::Column::Request);
    if (!r.delivered || decoded.command != id)
        return failed(wrongArguments(id, "the line does not read as a request"));

    if (id == CommandId::sprog) {
        if (hasProgram && decoded.i(1) != 1)
            return failed("only step 1 of sprog carries a programming line after '#'");
        const std::size_t most = fields::kProgramLine.capacity - 1U;
        if (program.size() > most)
            return failed("the programming line is longer than " + std::to_string(most) +
                          " characters");
        decoded.setText(fields::kProgramLine, program);
    }

    // Sized as the program's own requests are.
    DeviceMessage request = DeviceMessage::request(id);
    request.flags = decoded.flags;
    request.tag = decoded.tag;
    request.payload = decoded.payload;
    return {request, {}};
}

std::string requestSignature(CommandId id) {
    if (keywordOf(id).empty())
        return {};
    const CommandLayout& layout = layoutOf(id);
    std::string s;
    for (const ArgSpec& arg : layout.request.all()) {
        if (!s.empty())
            s += ", ";
        s += kindText(arg);
    }
    if (layout.special == LayoutSpecial::Sprog)
        s += " [#line(" + std::to_string(fields::kProgramLine.capacity - 1) + ") at step 1]";
    return s;
}

} // namespace velmar
