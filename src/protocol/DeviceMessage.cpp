#include "protocol/DeviceMessage.h"

#include <algorithm>
#include <cstring>

namespace velmar {

namespace {

constexpr bool slotInRange(int slot) { return slot >= 1 && slot <= DeviceMessage::kPayloadSlots; }

std::uint32_t loadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void storeLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::int16_t loadLE16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

void storeLE16(std::uint8_t* p, std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    p[0] = static_cast<std::uint8_t>(u);
    p[1] = static_cast<std::uint8_t>(u >> 8);
}

// The field clamped to the payload, so no access can leave the record.
std::size_t usableCapacity(TextField field) {
    if (field.offset >= DeviceMessage::kPayloadBytes)
        return 0;
    return std::min<std::size_t>(field.capacity, DeviceMessage::kPayloadBytes - field.offset);
}

} // namespace

DeviceMessage DeviceMessage::request(CommandId id) {
    DeviceMessage m;
    m.flags = FlagRequest;
    m.command = id;
    m.size = static_cast<std::uint16_t>(8 + kPayloadBytes);
    m.length = static_cast<std::uint16_t>(m.size + 6);
    return m;
}

std::int32_t DeviceMessage::i(int slot) const { return static_cast<std::int32_t>(u(slot)); }

void DeviceMessage::setI(int slot, std::int32_t value) {
    setU(slot, static_cast<std::uint32_t>(value));
}

std::uint32_t DeviceMessage::u(int slot) const {
    if (!slotInRange(slot))
        return 0;
    return loadLE32(&payload[static_cast<std::size_t>(slot - 1) * 4]);
}

void DeviceMessage::setU(int slot, std::uint32_t value) {
    if (slotInRange(slot))
        storeLE32(&payload[static_cast<std::size_t>(slot - 1) * 4], value);
}

DecimalValue DeviceMessage::decimal(int slot) const {
    if (!slotInRange(slot) || !slotInRange(slot + 1))
        return {};
    const std::uint8_t* p = &payload[static_cast<std::size_t>(slot - 1) * 4];
    return {p[0] != 0, loadLE16(p + 4), loadLE16(p + 6)};
}

void DeviceMessage::setDecimal(int slot, DecimalValue value) {
    if (!slotInRange(slot) || !slotInRange(slot + 1))
        return;
    std::uint8_t* p = &payload[static_cast<std::size_t>(slot - 1) * 4];
    storeLE32(p, value.negative ? 1U : 0U);
    storeLE16(p + 4, value.whole);
    storeLE16(p + 6, value.hundredths);
}

std::string_view DeviceMessage::text(TextField field) const {
    const std::size_t cap = usableCapacity(field);
    if (cap == 0)
        return {};
    const char* begin = reinterpret_cast<const char*>(payload.data()) + field.offset;
    const void* nul = std::memchr(begin, 0, cap - 1);
    const std::size_t n =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - begin) : cap - 1;
    return {begin, n};
}

void DeviceMessage::setText(TextField field, std::string_view value) {
    const std::size_t cap = usableCapacity(field);
    if (cap == 0)
        return;
    const std::size_t n = std::min(value.size(), cap - 1);
    std::uint8_t* dst = &payload[field.offset];
    if (n > 0)
        std::memcpy(dst, value.data(), n);
    std::memset(dst + n, 0, cap - n);
}

void DeviceMessage::clear(std::size_t offset, std::size_t count) {
    if (offset >= payload.size())
        return;
    count = std::min(count, payload.size() - offset);
    std::memset(&payload[offset], 0, count);
}

} // namespace velmar
