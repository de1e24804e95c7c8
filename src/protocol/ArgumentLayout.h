#pragma once

#include "protocol/CommandId.h"

#include <array>
#include <cstdint>
#include <span>

namespace velmar {

// How a value is written on the wire.
enum class ValueKind : std::uint8_t {
    Int,      // i: signed decimal
    Unsigned, // u: unsigned decimal
    Text,     // t: text in single quotes
    Raw,      // r: text without quotes
    Decimal,  // d: DecimalValue, two slots
};

// One argument: its kind and where it lies in the payload (byte offset). Texts
// carry their capacity including the NUL.
struct ArgSpec {
    ValueKind kind = ValueKind::Int;
    std::uint16_t offset = 0;
    std::uint16_t capacity = 0;

    int slot() const { return offset / 4 + 1; }
};

// Rows whose reply cannot be read argument by argument alone.
enum class LayoutSpecial : std::uint8_t {
    None,
    HwConf, // the arguments behind p1 only exist for modules 2, 3 and 9..20
    SwVer,  // p1, then up to four pairs of texts
    Sprog,  // step 1 carries a programming line after "#"
    List,   // the fixed arguments are followed by list items
};

// The arguments of one direction of a command, in wire order.
struct ArgLayout {
    static constexpr int kMaxArgs = 8;
    std::array<ArgSpec, kMaxArgs> args{};
    std::uint8_t count = 0;
    // Index of the first argument behind the bar "|": a reply with a non-zero
    // status stops there. -1 when the row has no bar.
    std::int8_t bar = -1;

    std::span<const ArgSpec> all() const { return {args.data(), count}; }
    // The arguments a reply with this status carries.
    std::span<const ArgSpec> carried(std::int32_t status) const {
        return {args.data(), (status != 0 && bar >= 0) ? static_cast<std::size_t>(bar) : count};
    }
};

struct CommandLayout {
    ArgLayout request;
    ArgLayout reply;
    LayoutSpecial special = LayoutSpecial::None;
};

// The layout of a command; an empty layout for reserved rows and ids above 219.
const CommandLayout& layoutOf(CommandId id);

} // namespace velmar
