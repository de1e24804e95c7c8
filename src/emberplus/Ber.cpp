#include "emberplus/Ber.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace velmar::ber {

namespace {

std::string tagBytes(Tag tag, bool constructed) {
    std::string out;
    auto first = static_cast<unsigned char>(static_cast<unsigned char>(tag.cls) |
                                            (constructed ? 0x20 : 0x00));
    if (tag.number < 31) {
        out.push_back(static_cast<char>(first | tag.number));
        return out;
    }
    out.push_back(static_cast<char>(first | 0x1F));
    char groups[5];
    int n = 0;
    std::uint32_t v = tag.number;
    do {
        groups[n++] = static_cast<char>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1)
        out.push_back(static_cast<char>(groups[--n] | 0x80));
    out.push_back(groups[0]);
    return out;
}

void appendLength(std::string& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<char>(length));
        return;
    }
    char bytes[sizeof(std::size_t)];
    int n = 0;
    while (length != 0) {
        bytes[n++] = static_cast<char>(length & 0xFF);
        length >>= 8;
    }
    out.push_back(static_cast<char>(0x80 | n));
    while (n > 0)
        out.push_back(bytes[--n]);
}

std::string where(std::size_t offset) {
    std::string s = " at byte ";
    s += std::to_string(offset);
    return s;
}

} // namespace

std::string encodeIntegerContent(std::int64_t value) {
    const auto u = static_cast<std::uint64_t>(value);
    int n = 8;
    // Drop a leading octet while the next one still carries the sign.
    while (n > 1) {
        const auto top = static_cast<unsigned>((u >> ((n - 1) * 8)) & 0xFF);
        const auto nextHigh = static_cast<unsigned>((u >> ((n - 2) * 8 + 7)) & 1);
        if ((top == 0x00 && nextHigh == 0) || (top == 0xFF && nextHigh == 1))
            --n;
        else
            break;
    }
    std::string out;
    for (int i = n - 1; i >= 0; --i)
        out.push_back(static_cast<char>((u >> (i * 8)) & 0xFF));
    return out;
}

// Ember+ writes a double as libember does: base 2, the unbiased exponent of
// the leading bit, and the significand with its implicit one and without its
// trailing zero bits. Zero (of either sign) is no content; subnormals, which
// that form cannot carry, are written as zero.
std::string encodeRealContent(double value) {
    if (std::isnan(value))
        return std::string(1, '\x42');
    if (std::isinf(value))
        return std::string(1, value > 0 ? '\x40' : '\x41');
    if (value == 0.0 || std::fpclassify(value) == FP_SUBNORMAL)
        return {};
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto exponent = static_cast<std::int64_t>((bits >> 52) & 0x7FF) - 1023;
    std::uint64_t mantissa = (bits & 0x000FFFFFFFFFFFFFull) | 0x0010000000000000ull;
    mantissa >>= std::countr_zero(mantissa);
    const std::string e = encodeIntegerContent(exponent);
    const std::string m = encodeIntegerContent(static_cast<std::int64_t>(mantissa));
    auto preamble = static_cast<unsigned char>(0x80 | (e.size() - 1));
    if ((bits >> 63) != 0)
        preamble |= 0x40;
    std::string out(1, static_cast<char>(preamble));
    out += e;
    out += m;
    return out;
}

std::string encodeRelativeOidContent(const std::vector<std::uint32_t>& ids) {
    std::string out;
    for (std::uint32_t id : ids) {
        char groups[5];
        int n = 0;
        do {
            groups[n++] = static_cast<char>(id & 0x7F);
            id >>= 7;
        } while (id != 0);
        while (n > 1)
            out.push_back(static_cast<char>(groups[--n] | 0x80));
        out.push_back(groups[0]);
    }
    return out;
}

// --- writer -----------------------------------------------------------------

void CBerWriter::header(Tag tag, bool constructed) { m_out += tagBytes(tag, constructed); }

void CBerWriter::primitive(Tag tag, std::string_view content) {
    header(tag, false);
    appendLength(m_out, content.size());
    m_out.append(content);
}

void CBerWriter::begin(Tag tag) {
    header(tag, true);
    m_open.push_back(m_out.size());
    m_out.push_back('\0'); // the length, patched by end()
}

void CBerWriter::end() {
    if (m_open.empty())
        return;
    const std::size_t at = m_open.back();
    m_open.pop_back();
    const std::size_t length = m_out.size() - at - 1;
    std::string encoded;
    appendLength(encoded, length);
    m_out[at] = encoded[0];
    if (encoded.size() > 1)
        m_out.insert(at + 1, encoded, 1);
}

void CBerWriter::integer(std::int64_t value, Tag tag) {
    primitive(tag, encodeIntegerContent(value));
}

void CBerWriter::boolean(bool value, Tag tag) {
    primitive(tag, value ? "\xFF" : std::string_view("\0", 1));
}

void CBerWriter::real(double value, Tag tag) { primitive(tag, encodeRealContent(value)); }

void CBerWriter::utf8(std::string_view text, Tag tag) { primitive(tag, text); }

void CBerWriter::octets(std::string_view bytes, Tag tag) { primitive(tag, bytes); }

void CBerWriter::relativeOid(const std::vector<std::uint32_t>& ids, Tag tag) {
    primitive(tag, encodeRelativeOidContent(ids));
}

void CBerWriter::null(Tag tag) { primitive(tag, {}); }

std::string CBerWriter::take() {
    while (!m_open.empty())
        end();
    return std::move(m_out);
}

// --- reader -----------------------------------------------------------------

CBerReader::CBerReader(std::string_view data, std::size_t maxDepth)
    : m_rest(data), m_maxDepth(maxDepth) {}

CBerReader::CBerReader(std::string_view data, std::size_t base, std::size_t depth,
                       std::size_t maxDepth)
    : m_rest(data), m_base(base), m_depth(depth), m_maxDepth(maxDepth) {}

bool CBerReader::fail(std::size_t offset, std::string_view what) {
    if (m_error.empty()) {
        m_error = what;
        m_error += where(offset);
    }
    m_rest = {};
    return false;
}

bool CBerReader::measure(std::string_view data, std::size_t base, std::size_t depth, Tlv& out,
                         std::size_t& size) {
    std::size_t at = 0;
    if (data.empty())
        return fail(base, "BER value expected");
    const auto first = static_cast<unsigned char>(data[at++]);
    out.offset = base;
    out.tag.cls = static_cast<TagClass>(first & 0xC0);
    out.constructed = (first & 0x20) != 0;
    out.tag.number = first & 0x1F;
    if (out.tag.number == 0x1F) {
        std::uint32_t number = 0;
        for (;;) {
            if (at >= data.size())
                return fail(base, "BER tag cut short");
            const auto b = static_cast<unsigned char>(data[at++]);
            if (number > (std::numeric_limits<std::uint32_t>::max() >> 7))
                return fail(base, "BER tag number too large");
            number = (number << 7) | (b & 0x7F);
            if ((b & 0x80) == 0)
                break;
        }
        out.tag.number = number;
    }
    if (at >= data.size())
        return fail(base, "BER length missing");
    const auto lengthByte = static_cast<unsigned char>(data[at++]);
    if (lengthByte == 0x80) {
        if (!out.constructed)
            return fail(base, "BER indefinite length on a primitive value");
        if (depth >= m_maxDepth)
            return fail(base, "BER values nested too deeply");
        const std::size_t contentStart = at;
        for (;;) {
            if (data.size() - at >= 2 && data[at] == '\0' && data[at + 1] == '\0') {
                out.content = data.substr(contentStart, at - contentStart);
                out.contentOffset = base + contentStart;
                size = at + 2;
                return true;
            }
            if (at >= data.size())
                return fail(base, "BER indefinite length never closed");
            Tlv inner;
            std::size_t innerSize = 0;
            if (!measure(data.substr(at), base + at, depth + 1, inner, innerSize))
                return false;
            at += innerSize;
        }
    }
    std::size_t length = lengthByte;
    if (lengthByte > 0x80) {
        const std::size_t count = lengthByte & 0x7F;
        if (lengthByte == 0xFF || count > sizeof(std::uint64_t))
            return fail(base, "BER length form not allowed");
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (at >= data.size())
                return fail(base, "BER length cut short");
            if (value > (std::numeric_limits<std::uint64_t>::max() >> 8))
                return fail(base, "BER length too large");
            value = (value << 8) | static_cast<unsigned char>(data[at++]);
        }
        if (value > data.size() - at)
            return fail(base, "BER length runs past the end of the data");
        length = static_cast<std::size_t>(value);
    } else if (length > data.size() - at) {
        return fail(base, "BER length runs past the end of the data");
    }
    out.content = data.substr(at, length);
    out.contentOffset = base + at;
    size = at + length;
    return true;
}

bool CBerReader::next(Tlv& out) {
    if (m_rest.empty())
        return false;
    std::size_t size = 0;
    if (!measure(m_rest, m_base, m_depth, out, size))
        return false;
    if (out.tag.cls == TagClass::Universal && out.tag.number == 0 && !out.constructed)
        return fail(m_base, "BER end-of-contents where no value is open");
    m_rest.remove_prefix(size);
    m_base += size;
    return true;
}

CBerReader CBerReader::enter(const Tlv& value) const {
    CBerReader inner(value.content, value.contentOffset, m_depth + 1, m_maxDepth);
    if (!value.constructed)
        inner.fail(value.offset, "BER constructed value expected");
    else if (m_depth + 1 > m_maxDepth)
        inner.fail(value.offset, "BER values nested too deeply");
    return inner;
}

// --- primitive decoders -----------------------------------------------------

bool decodeInteger(std::string_view content, std::int64_t& out) {
    if (content.empty() || content.size() > 8)
        return false;
    std::uint64_t v = (static_cast<unsigned char>(content[0]) & 0x80) ? ~std::uint64_t{0} : 0;
    for (const char c : content)
        v = (v << 8) | static_cast<unsigned char>(c);
    out = static_cast<std::int64_t>(v);
    return true;
}

bool decodeBoolean(std::string_view content, bool& out) {
    if (content.size() != 1)
        return false;
    out = content[0] != '\0';
    return true;
}

bool decodeReal(std::string_view content, double& out) {
    if (content.empty()) {
        out = 0.0;
        return true;
    }
    const auto preamble = static_cast<unsigned char>(content[0]);
    if (content.size() == 1) {
        switch (preamble) {
        case 0x40: out = std::numeric_limits<double>::infinity(); return true;
        case 0x41: out = -std::numeric_limits<double>::infinity(); return true;
        case 0x42: out = std::numeric_limits<double>::quiet_NaN(); return true;
        case 0x43: out = -0.0; return true;
        default: return false;
        }
    }
    if ((preamble & 0x80) == 0)
        return false; // decimal forms are not used by Ember+
    const std::size_t exponentLength = 1 + (preamble & 0x03);
    if (exponentLength > 3 || content.size() < 1 + exponentLength + 1)
        return false;
    std::int64_t exponent = 0;
    if (!decodeInteger(content.substr(1, exponentLength), exponent))
        return false;
    const std::string_view m = content.substr(1 + exponentLength);
    if (m.size() > 8)
        return false;
    std::uint64_t mantissa = 0;
    for (const char c : m)
        mantissa = (mantissa << 8) | static_cast<unsigned char>(c);
    if (mantissa == 0)
        return false;
    // The exponent is that of the leading bit of the significand.
    const int leading = 63 - std::countl_zero(mantissa);
    const double magnitude =
        std::ldexp(static_cast<double>(mantissa), static_cast<int>(exponent - leading));
    out = (preamble & 0x40) ? -magnitude : magnitude;
    return true;
}

bool decodeRelativeOid(std::string_view content, std::vector<std::uint32_t>& out,
                       std::size_t maxIds) {
    out.clear();
    std::uint32_t value = 0;
    bool inId = false;
    for (const char c : content) {
        const auto b = static_cast<unsigned char>(c);
        if (value > (std::numeric_limits<std::uint32_t>::max() >> 7))
            return false;
        value = (value << 7) | (b & 0x7F);
        inId = true;
        if ((b & 0x80) == 0) {
            if (out.size() >= maxIds)
                return false;
            out.push_back(value);
            value = 0;
            inId = false;
        }
    }
    return !inId;
}

} // namespace velmar::ber
