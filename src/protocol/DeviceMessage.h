#pragma once

#include "protocol/CommandId.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmar {

inline constexpr std::uint8_t FlagAlive = 0x08;
inline constexpr std::uint8_t FlagRequest = 0x10;
inline constexpr std::uint8_t FlagReply = 0x20;

// A signed decimal with two digits of hundredths (levels, gains, thresholds).
// The sign belongs to the whole value: -0.75 is negative, whole 0, hundredths 75.
struct DecimalValue {
    bool negative = false;
    std::int16_t whole = 0;      // magnitude of the integer part
    std::int16_t hundredths = 0; // 0..99

    friend bool operator==(const DecimalValue&, const DecimalValue&) = default;
};

// Where a text lies in the payload: a byte offset and a capacity that includes
// the terminating NUL (capacity 17 holds 16 characters). Most texts start at a
// slot; a few lie back to back and start between slots.
struct TextField {
    std::uint16_t offset = 0;
    std::uint16_t capacity = 0;
};

constexpr TextField textAtSlot(int slot, int capacity) {
    return {static_cast<std::uint16_t>((slot - 1) * 4), static_cast<std::uint16_t>(capacity)};
}

// One request or reply in structured form. The payload is a run of
// 32-bit little-endian slots p1, p2, ...; integers take one slot, a DecimalValue
// two, and texts run over consecutive bytes from their named position.
struct DeviceMessage {
    // A programming line of up to 255 characters plus its NUL lies from p2 on,
    // which is the largest thing any command carries: 65 slots.
    static constexpr int kPayloadSlots = 65;
    static constexpr int kPayloadBytes = kPayloadSlots * 4;

    std::uint16_t length = 0; // declared size of the record; never on the wire
    std::uint8_t reserved = 0;
    std::uint8_t flags = 0;
    std::uint16_t tag = 0;  // 0 = none, else 1..65535 travels as ",*tag"
    std::uint16_t size = 0; // declared size from here on; the decoder stores the status' low bits
    CommandId command = CommandId::aliverequest;
    std::int32_t status = 0;
    std::array<std::uint8_t, kPayloadBytes> payload{};

    // A request as the program sends it: flags 0x10, no tag, sizes declared.
    static DeviceMessage request(CommandId id);

    // Typed, bounds-checked access by slot number (p1 = 1). Reads outside the
    // payload give 0 or an empty text; writes outside it are ignored.
    std::int32_t i(int slot) const;
    void setI(int slot, std::int32_t value);
    std::uint32_t u(int slot) const;
    void setU(int slot, std::uint32_t value);

    DecimalValue decimal(int slot) const; // occupies slot and slot + 1
    void setDecimal(int slot, DecimalValue value);

    // The text up to its NUL, never more than capacity - 1 characters.
    std::string_view text(TextField field) const;
    std::string_view text(int slot, int capacity) const { return text(textAtSlot(slot, capacity)); }
    // Stores at most capacity - 1 characters and clears the rest of the field.
    void setText(TextField field, std::string_view value);
    void setText(int slot, int capacity, std::string_view value) {
        setText(textAtSlot(slot, capacity), value);
    }

    // Clears a byte range of the payload (clamped to the payload).
    void clear(std::size_t offset, std::size_t count);

    bool isRequest() const { return (flags & 0xF0) == FlagRequest; }
    bool isReply() const { return (flags & 0xF0) == FlagReply; }
    bool isAlive() const { return (flags & FlagAlive) != 0; }
};

static_assert(offsetof(DeviceMessage, reserved) == 2);
static_assert(offsetof(DeviceMessage, flags) == 3);
static_assert(offsetof(DeviceMessage, tag) == 4);
static_assert(offsetof(DeviceMessage, size) == 6);
static_assert(offsetof(DeviceMessage, command) == 8);
// The header keeps the field order; status sits on its natural 4-byte boundary
// (nothing ever reads the record as raw bytes, only the payload's layout matters).
static_assert(offsetof(DeviceMessage, status) == 12);
static_assert(offsetof(DeviceMessage, payload) == 16);
static_assert(sizeof(DeviceMessage) <= 1024);

// Fields of the commands whose texts do not simply start at a slot.
namespace fields {
// "ghwconf" reply: board serial text at p3, a second text right behind it.
inline constexpr TextField kHwConfFirst{8, 17};
inline constexpr TextField kHwConfSecond{25, 14};
// "gswver" reply: two arrays of four 17-byte texts, from p2 and from p19.
inline constexpr int kSwVerPairs = 4;
constexpr TextField swVerFirst(int pair) { return {static_cast<std::uint16_t>(4 + 17 * pair), 17}; }
constexpr TextField swVerSecond(int pair) {
    return {static_cast<std::uint16_t>(72 + 17 * pair), 17};
}
// "scmd": three short texts back to back at the start of the payload.
inline constexpr TextField kScmdFirst{0, 3};
inline constexpr TextField kScmdSecond{3, 4};
inline constexpr TextField kScmdThird{7, 6};
// "sboardinfo": p1, p2, three texts back to back from p3, then p13.
inline constexpr TextField kBoardInfoFirst{8, 17};
inline constexpr TextField kBoardInfoSecond{25, 14};
inline constexpr TextField kBoardInfoThird{39, 7};
inline constexpr int kBoardInfoLastSlot = 13;
// "sprog" step 1: the programming line from p2 on.
inline constexpr TextField kProgramLine{4, 256};
} // namespace fields

} // namespace velmar
