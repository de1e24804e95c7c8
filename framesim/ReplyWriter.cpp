#include "ReplyWriter.h"

#include "protocol/ArgumentLayout.h"
#include "protocol/CommandTable.h"

#include <cstdio>

namespace velmar::framesim {

namespace {

bool hwConfModuleWithRecord(std::int32_t module) {
    return module == 2 || module == 3 || (module >= 9 && module <= 20);
}

void appendArgument(std::string& out, const DeviceMessage& m, const ArgSpec& arg) {
    out += ',';
    switch (arg.kind) {
    case ValueKind::Int: out += std::to_string(m.i(arg.slot())); break;
    case ValueKind::Unsigned: out += std::to_string(m.u(arg.slot())); break;
    case ValueKind::Decimal: out += formatDecimal(m.decimal(arg.slot())); break;
    case ValueKind::Text: out += quoted(m.text(TextField{arg.offset, arg.capacity})); break;
    case ValueKind::Raw: {
        // A bare text cannot be empty or hold a comma: the token would vanish
        // or split on the reader's side.
        std::string text(m.text(TextField{arg.offset, arg.capacity}));
        for (char& c : text)
            if (c == ',')
                c = ' ';
        out += text.empty() ? std::string("-") : text;
        break;
    }
    }
}

} // namespace

std::string formatDecimal(DecimalValue value) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, value.negative ? "-%d.%.2d" : "%d.%.2d",
                  static_cast<int>(value.whole), static_cast<int>(value.hundredths));
    return buffer;
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

std::string writeFrameLine(char prefix, const DeviceMessage& m,
                           std::span<const std::string> listItems) {
    std::string out;
    out.reserve(64);
    out += prefix;
    out += keywordOf(m.command);
    out += ',';
    out += std::to_string(m.status);

    const CommandLayout& layout = layoutOf(m.command);
    const auto carried = layout.reply.carried(m.status);
    for (std::size_t k = 0; k < carried.size(); ++k) {
        appendArgument(out, m, carried[k]);
        if (layout.special == LayoutSpecial::HwConf && k == 0 && !hwConfModuleWithRecord(m.i(1)))
            break;
    }
    if (layout.special == LayoutSpecial::SwVer && m.status == 0) {
        for (int pair = 0; pair < fields::kSwVerPairs; ++pair) {
            const std::string_view first = m.text(fields::swVerFirst(pair));
            const std::string_view second = m.text(fields::swVerSecond(pair));
            if (first.empty() && second.empty())
                break;
            out += ',' + quoted(first) + ',' + quoted(second);
        }
    }
    if (m.status == 0) {
        for (const std::string& item : listItems) {
            out += ',';
            out += item;
        }
    }
    if (m.tag != 0) {
        out += ",*";
        out += std::to_string(m.tag);
    }
    out += '\r';
    return out;
}

} // namespace velmar::framesim
