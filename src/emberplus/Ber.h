#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar::ber {

// The BER subset Ember+ uses: tags of any class and number, definite lengths
// when writing, definite and indefinite lengths when reading.

enum class TagClass : std::uint8_t {
    Universal = 0x00,
    Application = 0x40,
    Context = 0x80,
    Private = 0xC0
};

struct Tag {
    TagClass cls = TagClass::Universal;
    std::uint32_t number = 0;
    friend bool operator==(const Tag&, const Tag&) = default;
};

constexpr Tag universal(std::uint32_t n) { return {TagClass::Universal, n}; }
constexpr Tag application(std::uint32_t n) { return {TagClass::Application, n}; }
constexpr Tag context(std::uint32_t n) { return {TagClass::Context, n}; }

// Universal type numbers.
inline constexpr std::uint32_t kBoolean = 1;
inline constexpr std::uint32_t kInteger = 2;
inline constexpr std::uint32_t kOctetString = 4;
inline constexpr std::uint32_t kNull = 5;
inline constexpr std::uint32_t kReal = 9;
inline constexpr std::uint32_t kUtf8String = 12;
inline constexpr std::uint32_t kRelativeOid = 13;
inline constexpr std::uint32_t kSequence = 16;
inline constexpr std::uint32_t kSet = 17;

// Writes values one after another; constructed values are opened and closed
// around their contents and get definite lengths.
class CBerWriter {
public:
    void begin(Tag tag); // a constructed value
    void end();          // closes the innermost open one
    void integer(std::int64_t value, Tag tag = universal(kInteger));
    void boolean(bool value, Tag tag = universal(kBoolean));
    void real(double value, Tag tag = universal(kReal));
    void utf8(std::string_view text, Tag tag = universal(kUtf8String));
    void octets(std::string_view bytes, Tag tag = universal(kOctetString));
    void relativeOid(const std::vector<std::uint32_t>& ids, Tag tag = universal(kRelativeOid));
    void null(Tag tag = universal(kNull));

    std::size_t openCount() const { return m_open.size(); }
    const std::string& bytes() const { return m_out; }
    std::string take(); // closes whatever is still open

private:
    void header(Tag tag, bool constructed);
    void primitive(Tag tag, std::string_view content);

    std::string m_out;
    std::vector<std::size_t> m_open; // where each open value's length goes
};

// The content octets of the primitive types, as the writer encodes them.
std::string encodeIntegerContent(std::int64_t value);
std::string encodeRealContent(double value);
std::string encodeRelativeOidContent(const std::vector<std::uint32_t>& ids);

// One value read: its tag and its contents (for an indefinite length, without
// the end-of-contents octets).
struct Tlv {
    Tag tag;
    bool constructed = false;
    std::string_view content;
    std::size_t offset = 0;        // where the value starts in the outermost data
    std::size_t contentOffset = 0; // where its contents start
};

// Reads the values of one level in turn. Lengths are never trusted beyond the
// data, nesting (also inside indefinite lengths) is bounded, and every fault
// is a message, never an exception.
class CBerReader {
public:
    explicit CBerReader(std::string_view data, std::size_t maxDepth = 64);

    bool atEnd() const { return m_rest.empty(); }
    // The next value of this level; false at the end or on a fault (then
    // error() says what and where).
    bool next(Tlv& out);
    // A reader for a constructed value's contents, one level deeper; a
    // primitive value or one level too many is a fault of the new reader.
    CBerReader enter(const Tlv& value) const;
    const std::string& error() const { return m_error; }
    bool failed() const { return !m_error.empty(); }

private:
    CBerReader(std::string_view data, std::size_t base, std::size_t depth, std::size_t maxDepth);
    // Reads the value at the start of `data` and its whole size, indefinite
    // lengths included.
    bool measure(std::string_view data, std::size_t base, std::size_t depth, Tlv& out,
                 std::size_t& size);
    bool fail(std::size_t offset, std::string_view what);

    std::string_view m_rest;
    std::size_t m_base = 0; // offset of m_rest in the outermost data
    std::size_t m_depth = 0;
    std::size_t m_maxDepth = 64;
    std::string m_error;
};

// Decoders of primitive contents; false when the contents are not a valid value.
bool decodeInteger(std::string_view content, std::int64_t& out); // 1 to 8 octets
bool decodeBoolean(std::string_view content, bool& out);
bool decodeReal(std::string_view content, double& out);
bool decodeRelativeOid(std::string_view content, std::vector<std::uint32_t>& out,
                       std::size_t maxIds);

} // namespace velmar::ber
