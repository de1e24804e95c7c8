#include "emberplus/Glow.h"

#include "emberplus/Ber.h"

#include <limits>

namespace velmar {

using ber::application;
using ber::CBerReader;
using ber::CBerWriter;
using ber::context;
using ber::Tag;
using ber::Tlv;
using ber::universal;

namespace {

// Glow's types, by their application tags.
constexpr std::uint32_t kRoot = 0;
constexpr std::uint32_t kParameter = 1;
constexpr std::uint32_t kCommand = 2;
constexpr std::uint32_t kNode = 3;
constexpr std::uint32_t kElementCollection = 4;
constexpr std::uint32_t kStringIntegerPair = 7;
constexpr std::uint32_t kStringIntegerCollection = 8;
constexpr std::uint32_t kQualifiedParameter = 9;
constexpr std::uint32_t kQualifiedNode = 10;
constexpr std::uint32_t kRootElementCollection = 11;
constexpr std::uint32_t kMatrix = 13;
constexpr std::uint32_t kTarget = 14;
constexpr std::uint32_t kSource = 15;
constexpr std::uint32_t kConnection = 16;
constexpr std::uint32_t kQualifiedMatrix = 17;
constexpr std::uint32_t kLabel = 18;

// --- encoding ---------------------------------------------------------------

// An explicitly tagged field: [n] around the value `write` puts in.
template <typename Write>
void field(CBerWriter& w, std::uint32_t n, Write&& write) {
    w.begin(context(n));
    write();
    w.end();
}

void writeValue(CBerWriter& w, const GlowValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        w.integer(*i);
    else if (const auto* d = std::get_if<double>(&v))
        w.real(*d);
    else if (const auto* s = std::get_if<std::string>(&v))
        w.utf8(*s);
    else if (const auto* b = std::get_if<bool>(&v))
        w.boolean(*b);
    else
        w.null();
}

void writeString(CBerWriter& w, std::uint32_t n, const std::optional<std::string>& s) {
    if (s)
        field(w, n, [&] { w.utf8(*s); });
}

void writeBool(CBerWriter& w, std::uint32_t n, const std::optional<bool>& b) {
    if (b)
        field(w, n, [&] { w.boolean(*b); });
}

template <typename Int>
void writeInt(CBerWriter& w, std::uint32_t n, const std::optional<Int>& i) {
    if (i)
        field(w, n, [&] { w.integer(static_cast<std::int64_t>(*i)); });
}

void writeContents(CBerWriter& w, GlowElementType type, const GlowContents& c) {
    w.begin(universal(ber::kSet));
    writeString(w, 0, c.identifier);
    writeString(w, 1, c.description);
    switch (type) {
    case GlowElementType::Node:
        writeBool(w, 2, c.isRoot);
        writeBool(w, 3, c.isOnline);
        break;
    case GlowElementType::Parameter:
        if (c.value)
            field(w, 2, [&] { writeValue(w, *c.value); });
        if (c.minimum)
            field(w, 3, [&] { writeValue(w, *c.minimum); });
        if (c.maximum)
            field(w, 4, [&] { writeValue(w, *c.maximum); });
        writeInt(w, 5, c.access);
        writeString(w, 6, c.format);
        writeBool(w, 9, c.isOnline);
        writeInt(w, 13, c.type);
        if (c.enumMap) {
            field(w, 15, [&] {
                w.begin(application(kStringIntegerCollection));
                for (const GlowEnumEntry& e : *c.enumMap) {
                    field(w, 0, [&] {
                        w.begin(application(kStringIntegerPair));
                        field(w, 0, [&] { w.utf8(e.text); });
                        field(w, 1, [&] { w.integer(e.value); });
                        w.end();
                    });
                }
                w.end();
            });
        }
        break;
    case GlowElementType::Matrix:
        writeInt(w, 2, c.matrixType);
        writeInt(w, 3, c.addressingMode);
        writeInt(w, 4, c.targetCount);
        writeInt(w, 5, c.sourceCount);
        writeInt(w, 6, c.maximumTotalConnects);
        writeInt(w, 7, c.maximumConnectsPerTarget);
        if (c.labels) {
            field(w, 10, [&] {
                w.begin(universal(ber::kSequence));
                for (const GlowLabel& l : *c.labels) {
                    field(w, 0, [&] {
                        w.begin(application(kLabel));
                        field(w, 0, [&] { w.relativeOid(l.basePath); });
                        field(w, 1, [&] { w.utf8(l.description); });
                        w.end();
                    });
                }
                w.end();
            });
        }
        break;
    case GlowElementType::Command: break;
    }
    w.end();
}

void writeSignals(CBerWriter& w, std::uint32_t n, std::uint32_t signalTag,
                  const std::vector<std::int32_t>& numbers) {
    field(w, n, [&] {
        w.begin(universal(ber::kSequence));
        for (const std::int32_t number : numbers) {
            field(w, 0, [&] {
                w.begin(application(signalTag));
                field(w, 0, [&] { w.integer(number); });
                w.end();
            });
        }
        w.end();
    });
}

void writeElement(CBerWriter& w, const GlowElement& e) {
    if (e.type == GlowElementType::Command) {
        w.begin(application(kCommand));
        field(w, 0, [&] { w.integer(static_cast<int>(e.command)); });
        if (e.dirFieldMask)
            field(w, 1, [&] { w.integer(static_cast<std::int32_t>(*e.dirFieldMask)); });
        w.end();
        return;
    }
    const bool qualified = e.path.has_value();
    std::uint32_t tag = 0;
    switch (e.type) {
    case GlowElementType::Node: tag = qualified ? kQualifiedNode : kNode; break;
    case GlowElementType::Parameter: tag = qualified ? kQualifiedParameter : kParameter; break;
    case GlowElementType::Matrix: tag = qualified ? kQualifiedMatrix : kMatrix; break;
    case GlowElementType::Command: break;
    }
    w.begin(application(tag));
    if (qualified)
        field(w, 0, [&] { w.relativeOid(*e.path); });
    else
        field(w, 0, [&] { w.integer(e.number); });
    if (e.contents)
        field(w, 1, [&] { writeContents(w, e.type, *e.contents); });
    if (e.children) {
        field(w, 2, [&] {
            w.begin(application(kElementCollection));
            for (const GlowElement& child : *e.children)
                field(w, 0, [&] { writeElement(w, child); });
            w.end();
        });
    }
    if (e.type == GlowElementType::Matrix) {
        if (e.targets)
            writeSignals(w, 3, kTarget, *e.targets);
        if (e.sources)
            writeSignals(w, 4, kSource, *e.sources);
        if (e.connections) {
            field(w, 5, [&] {
                w.begin(universal(ber::kSequence));
                for (const GlowConnection& c : *e.connections) {
                    field(w, 0, [&] {
                        w.begin(application(kConnection));
                        field(w, 0, [&] { w.integer(c.target); });
                        if (c.sources) {
                            GlowPath ids(c.sources->begin(), c.sources->end());
                            field(w, 1, [&] { w.relativeOid(ids); });
                        }
                        writeInt(w, 2, c.operation);
                        writeInt(w, 3, c.disposition);
                        w.end();
                    });
                }
                w.end();
            });
        }
    }
    w.end();
}

// --- decoding ---------------------------------------------------------------

class CGlowDecoder {
public:
    explicit CGlowDecoder(const GlowLimits& limits) : m_limits(limits) {}

    void message(std::string_view bytes, GlowDecoded& out);

private:
    bool fail(std::string what, const Tlv* at = nullptr);
    bool check(const CBerReader& r);
    bool count(std::size_t n = 1);

    // The one value inside an explicitly tagged field.
    bool inner(const CBerReader& parent, const Tlv& field, Tlv& value);
    bool readInt(const Tlv& v, std::int64_t& out, std::string_view what);
    bool readInt32(const Tlv& v, std::int32_t& out, std::string_view what);
    bool readBool(const Tlv& v, bool& out, std::string_view what);
    bool readString(const Tlv& v, std::string& out, std::string_view what);
    bool readOid(const Tlv& v, GlowPath& out, std::string_view what);
    bool readValue(const Tlv& v, GlowValue& out, std::string_view what);

    // Reads the element `v` into `out` when it is one this program knows;
    // anything else is skipped.
    bool element(const CBerReader& parent, const Tlv& v, std::vector<GlowElement>& out);
    bool elementCollection(const CBerReader& parent, const Tlv& v, std::vector<GlowElement>& out);
    bool command(const CBerReader& parent, const Tlv& v, GlowElement& e);
    bool contents(const CBerReader& parent, const Tlv& v, GlowElementType type, GlowContents& c);
    bool enumMap(const CBerReader& parent, const Tlv& v, std::vector<GlowEnumEntry>& out);
    bool labels(const CBerReader& parent, const Tlv& v, std::vector<GlowLabel>& out);
    bool signalList(const CBerReader& parent, const Tlv& v, std::uint32_t signalTag,
                    std::vector<std::int32_t>& out);
    bool connections(const CBerReader& parent, const Tlv& v, std::vector<GlowConnection>& out);

    template <typename Int, typename Enum>
    bool readEnum(const CBerReader& parent, const Tlv& f, std::optional<Enum>& out,
                  std::string_view what) {
        Tlv v;
        std::int32_t i = 0;
        if (!inner(parent, f, v) || !readInt32(v, i, what))
            return false;
        out = static_cast<Enum>(static_cast<Int>(i));
        return true;
    }

    GlowLimits m_limits;
    std::size_t m_count = 0;
    std::string m_error;
};

bool CGlowDecoder::fail(std::string what, const Tlv* at) {
    if (m_error.empty()) {
        m_error = "Glow: ";
        m_error += what;
        if (at) {
            m_error += " at byte ";
            m_error += std::to_string(at->offset);
        }
    }
    return false;
}

bool CGlowDecoder::check(const CBerReader& r) {
    if (!r.failed())
        return true;
    return fail(r.error());
}

bool CGlowDecoder::count(std::size_t n) {
    if (n > m_limits.maxElements - std::min(m_count, m_limits.maxElements)) {
        std::string what = "more than ";
        what += std::to_string(m_limits.maxElements);
        what += " elements in one message";
        return fail(std::move(what));
    }
    m_count += n;
    return true;
}

bool CGlowDecoder::inner(const CBerReader& parent, const Tlv& field, Tlv& value) {
    CBerReader r = parent.enter(field);
    if (r.next(value))
        return true;
    if (!check(r))
        return false;
    return fail("empty field", &field);
}

bool CGlowDecoder::readInt(const Tlv& v, std::int64_t& out, std::string_view what) {
    if (v.tag != universal(ber::kInteger) || v.constructed || !ber::decodeInteger(v.content, out))
        return fail(std::string(what) + " is not an integer", &v);
    return true;
}

bool CGlowDecoder::readInt32(const Tlv& v, std::int32_t& out, std::string_view what) {
    std::int64_t i = 0;
    if (!readInt(v, i, what))
        return false;
    if (i < std::numeric_limits<std::int32_t>::min() ||
        i > std::numeric_limits<std::int32_t>::max())
        return fail(std::string(what) + " is out of range", &v);
    out = static_cast<std::int32_t>(i);
    return true;
}

bool CGlowDecoder::readBool(const Tlv& v, bool& out, std::string_view what) {
    if (v.tag != universal(ber::kBoolean) || v.constructed || !ber::decodeBoolean(v.content, out))
        return fail(std::string(what) + " is not a boolean", &v);
    return true;
}

bool CGlowDecoder::readString(const Tlv& v, std::string& out, std::string_view what) {
    if ((v.tag != universal(ber::kUtf8String) && v.tag != universal(ber::kOctetString)) ||
        v.constructed)
        return fail(std::string(what) + " is not a string", &v);
    if (v.content.size() > m_limits.maxStringBytes)
        return fail(std::string(what) + " is too long", &v);
    out.assign(v.content);
    return true;
}

bool CGlowDecoder::readOid(const Tlv& v, GlowPath& out, std::string_view what) {
    if (v.tag != universal(ber::kRelativeOid) || v.constructed ||
        !ber::decodeRelativeOid(v.content, out, m_limits.maxElements))
        return fail(std::string(what) + " is not a valid RELATIVE-OID", &v);
    return true;
}

bool CGlowDecoder::readValue(const Tlv& v, GlowValue& out, std::string_view what) {
    if (v.constructed)
        return fail(std::string(what) + " is not a value", &v);
    if (v.tag == universal(ber::kInteger)) {
        std::int64_t i = 0;
        if (!readInt(v, i, what))
            return false;
        out = i;
    } else if (v.tag == universal(ber::kReal)) {
        double d = 0;
        if (!ber::decodeReal(v.content, d))
            return fail(std::string(what) + " is not a valid REAL", &v);
        out = d;
    } else if (v.tag == universal(ber::kUtf8String) || v.tag == universal(ber::kOctetString)) {
        std::string s;
        if (!readString(v, s, what))
            return false;
        out = std::move(s);
    } else if (v.tag == universal(ber::kBoolean)) {
        bool b = false;
        if (!readBool(v, b, what))
            return false;
        out = b;
    } else if (v.tag == universal(ber::kNull)) {
        out = std::monostate{};
    } else {
        return fail(std::string(what) + " has a type Glow does not know", &v);
    }
    return true;
}

void CGlowDecoder::message(std::string_view bytes, GlowDecoded& out) {
    CBerReader top(bytes, m_limits.maxDepth);
    Tlv root;
    bool any = false;
    while (top.next(root)) {
        any = true;
        if (root.tag != application(kRoot)) {
            fail("the message is not a Glow root", &root);
            break;
        }
        CBerReader inRoot = top.enter(root);
        Tlv choice;
        while (inRoot.next(choice)) {
            // Streams and invocation results are not asked of this program.
            if (choice.tag != application(kRootElementCollection))
                continue;
            CBerReader items = inRoot.enter(choice);
            Tlv item;
            while (items.next(item)) {
                if (item.tag != context(0))
                    continue;
                CBerReader one = items.enter(item);
                Tlv el;
                std::vector<GlowElement> read;
                while (one.next(el)) {
                    if (!element(one, el, read))
                        break;
                }
                if (!check(one) || !m_error.empty())
                    break;
                for (GlowElement& e : read)
                    out.elements.push_back(std::move(e));
            }
            if (!check(items) || !m_error.empty())
                break;
        }
        if (!check(inRoot) || !m_error.empty())
            break;
    }
    check(top);
    if (!any && m_error.empty())
        fail("the message is empty");
    out.error = m_error;
}

bool CGlowDecoder::element(const CBerReader& parent, const Tlv& v, std::vector<GlowElement>& out) {
    if (v.tag.cls != ber::TagClass::Application)
        return true;
    GlowElement e;
    switch (v.tag.number) {
    case kCommand:
        e.type = GlowElementType::Command;
        if (!count() || !command(parent, v, e))
            return false;
        out.push_back(std::move(e));
        return true;
    case kNode:
    case kQualifiedNode: e.type = GlowElementType::Node; break;
    case kParameter:
    case kQualifiedParameter: e.type = GlowElementType::Parameter; break;
    case kMatrix:
    case kQualifiedMatrix: e.type = GlowElementType::Matrix; break;
    default: return true; // functions, templates and whatever comes later
    }
    if (!count())
        return false;
    const bool qualified = v.tag.number == kQualifiedNode || v.tag.number == kQualifiedParameter ||
                           v.tag.number == kQualifiedMatrix;
    CBerReader r = parent.enter(v);
    Tlv f;
    bool named = false;
    while (r.next(f)) {
        if (f.tag.cls != ber::TagClass::Context)
            continue;
        Tlv x;
        switch (f.tag.number) {
        case 0:
            if (!inner(r, f, x))
                return false;
            if (qualified) {
                GlowPath path;
                if (!readOid(x, path, "the path"))
                    return false;
                e.path = std::move(path);
            } else if (!readInt32(x, e.number, "the element number")) {
                return false;
            }
            named = true;
            break;
        case 1: {
            if (!inner(r, f, x))
                return false;
            GlowContents c;
            if (!contents(r, x, e.type, c))
                return false;
            e.contents = std::move(c);
            break;
        }
        case 2: {
            if (!inner(r, f, x))
                return false;
            std::vector<GlowElement> children;
            if (!elementCollection(r, x, children))
                return false;
            e.children = std::move(children);
            break;
        }
        case 3:
        case 4: {
            if (e.type != GlowElementType::Matrix)
                break;
            if (!inner(r, f, x))
                return false;
            std::vector<std::int32_t> numbers;
            if (!signalList(r, x, f.tag.number == 3 ? kTarget : kSource, numbers))
                return false;
            (f.tag.number == 3 ? e.targets : e.sources) = std::move(numbers);
            break;
        }
        case 5: {
            if (e.type != GlowElementType::Matrix)
                break;
            if (!inner(r, f, x))
                return false;
            std::vector<GlowConnection> list;
            if (!connections(r, x, list))
                return false;
            e.connections = std::move(list);
            break;
        }
        default: break;
        }
    }
    if (!check(r))
        return false;
    if (!named)
        return fail(qualified ? "an element without its path" : "an element without its number",
                    &v);
    out.push_back(std::move(e));
    return true;
}

bool CGlowDecoder::elementCollection(const CBerReader& parent, const Tlv& v,
                                     std::vector<GlowElement>& out) {
    if (v.tag != application(kElementCollection))
        return fail("children are not an element collection", &v);
    CBerReader r = parent.enter(v);
    Tlv item;
    while (r.next(item)) {
        if (item.tag != context(0))
            continue;
        CBerReader one = r.enter(item);
        Tlv el;
        while (one.next(el)) {
            if (!element(one, el, out))
                return false;
        }
        if (!check(one))
            return false;
    }
    return check(r);
}

bool CGlowDecoder::command(const CBerReader& parent, const Tlv& v, GlowElement& e) {
    CBerReader r = parent.enter(v);
    Tlv f;
    bool named = false;
    while (r.next(f)) {
        Tlv x;
        if (f.tag == context(0)) {
            std::int32_t number = 0;
            if (!inner(r, f, x) || !readInt32(x, number, "the command number"))
                return false;
            e.command = static_cast<GlowCommandType>(number);
            named = true;
        } else if (f.tag == context(1)) {
            std::int32_t mask = 0;
            if (!inner(r, f, x) || !readInt32(x, mask, "the field mask"))
                return false;
            e.dirFieldMask = static_cast<std::uint32_t>(mask);
        }
        // [2] invocation: functions are not provided here
    }
    if (!check(r))
        return false;
    if (!named)
        return fail("a command without its number", &v);
    return true;
}

bool CGlowDecoder::contents(const CBerReader& parent, const Tlv& v, GlowElementType type,
                            GlowContents& c) {
    if (v.tag != universal(ber::kSet) && v.tag != universal(ber::kSequence))
        return fail("contents are not a set", &v);
    CBerReader r = parent.enter(v);
    Tlv f;
    while (r.next(f)) {
        if (f.tag.cls != ber::TagClass::Context)
            continue;
        const std::uint32_t n = f.tag.number;
        Tlv x;
        auto str = [&](std::optional<std::string>& out, std::string_view what) {
            std::string s;
            if (!inner(r, f, x) || !readString(x, s, what))
                return false;
            out = std::move(s);
            return true;
        };
        auto boolean = [&](std::optional<bool>& out, std::string_view what) {
            bool b = false;
            if (!inner(r, f, x) || !readBool(x, b, what))
                return false;
            out = b;
            return true;
        };
        auto int32 = [&](std::optional<std::int32_t>& out, std::string_view what) {
            std::int32_t i = 0;
            if (!inner(r, f, x) || !readInt32(x, i, what))
                return false;
            out = i;
            return true;
        };
        auto value = [&](std::optional<GlowValue>& out, std::string_view what) {
            GlowValue val;
            if (!inner(r, f, x) || !readValue(x, val, what))
                return false;
            out = std::move(val);
            return true;
        };
        bool ok = true;
        if (n == 0) {
            ok = str(c.identifier, "the identifier");
        } else if (n == 1) {
            ok = str(c.description, "the description");
        } else if (type == GlowElementType::Node) {
            if (n == 2)
                ok = boolean(c.isRoot, "isRoot");
            else if (n == 3)
                ok = boolean(c.isOnline, "isOnline");
        } else if (type == GlowElementType::Parameter) {
            switch (n) {
            case 2: ok = value(c.value, "the value"); break;
            case 3: ok = value(c.minimum, "the minimum"); break;
            case 4: ok = value(c.maximum, "the maximum"); break;
            case 5: ok = readEnum<int>(r, f, c.access, "the access"); break;
            case 6: ok = str(c.format, "the format"); break;
            case 9: ok = boolean(c.isOnline, "isOnline"); break;
            case 13: ok = readEnum<int>(r, f, c.type, "the parameter type"); break;
            case 15: {
                std::vector<GlowEnumEntry> entries;
                ok = inner(r, f, x) && enumMap(r, x, entries);
                if (ok)
                    c.enumMap = std::move(entries);
                break;
            }
            default: break;
            }
        } else if (type == GlowElementType::Matrix) {
            switch (n) {
            case 2: ok = readEnum<int>(r, f, c.matrixType, "the matrix type"); break;
            case 3: ok = readEnum<int>(r, f, c.addressingMode, "the addressing mode"); break;
            case 4: ok = int32(c.targetCount, "the target count"); break;
            case 5: ok = int32(c.sourceCount, "the source count"); break;
            case 6: ok = int32(c.maximumTotalConnects, "the maximum total connects"); break;
            case 7:
                ok = int32(c.maximumConnectsPerTarget, "the maximum connects per target");
                break;
            case 10: {
                std::vector<GlowLabel> list;
                ok = inner(r, f, x) && labels(r, x, list);
                if (ok)
                    c.labels = std::move(list);
                break;
            }
            default: break;
            }
        }
        if (!ok)
            return false;
    }
    return check(r);
}

bool CGlowDecoder::enumMap(const CBerReader& parent, const Tlv& v,
                           std::vector<GlowEnumEntry>& out) {
    if (v.tag != application(kStringIntegerCollection))
        return fail("the enumeration map is not a string-integer collection", &v);
    CBerReader r = parent.enter(v);
    Tlv item;
    while (r.next(item)) {
        if (item.tag != context(0))
            continue;
        Tlv pair;
        if (!inner(r, item, pair))
            return false;
        if (pair.tag != application(kStringIntegerPair))
            return fail("an enumeration entry is not a string-integer pair", &pair);
        if (!count())
            return false;
        CBerReader fields = r.enter(item).enter(pair);
        GlowEnumEntry entry;
        Tlv f;
        while (fields.next(f)) {
            Tlv x;
            if (f.tag == context(0)) {
                if (!inner(fields, f, x) || !readString(x, entry.text, "an enumeration entry"))
                    return false;
            } else if (f.tag == context(1)) {
                if (!inner(fields, f, x) || !readInt(x, entry.value, "an enumeration value"))
                    return false;
            }
        }
        if (!check(fields))
            return false;
        out.push_back(std::move(entry));
    }
    return check(r);
}

bool CGlowDecoder::labels(const CBerReader& parent, const Tlv& v, std::vector<GlowLabel>& out) {
    if (v.tag != universal(ber::kSequence))
        return fail("the labels are not a sequence", &v);
    CBerReader r = parent.enter(v);
    Tlv item;
    while (r.next(item)) {
        if (item.tag != context(0))
            continue;
        Tlv label;
        if (!inner(r, item, label))
            return false;
        if (label.tag != application(kLabel))
            return fail("a label is not a Label", &label);
        if (!count())
            return false;
        CBerReader fields = r.enter(item).enter(label);
        GlowLabel l;
        Tlv f;
        while (fields.next(f)) {
            Tlv x;
            if (f.tag == context(0)) {
                if (!inner(fields, f, x) || !readOid(x, l.basePath, "a label's base path"))
                    return false;
            } else if (f.tag == context(1)) {
                if (!inner(fields, f, x) || !readString(x, l.description, "a label's description"))
                    return false;
            }
        }
        if (!check(fields))
            return false;
        out.push_back(std::move(l));
    }
    return check(r);
}

bool CGlowDecoder::signalList(const CBerReader& parent, const Tlv& v, std::uint32_t signalTag,
                              std::vector<std::int32_t>& out) {
    if (v.tag != universal(ber::kSequence))
        return fail("a matrix's signals are not a sequence", &v);
    CBerReader r = parent.enter(v);
    Tlv item;
    while (r.next(item)) {
        if (item.tag != context(0))
            continue;
        Tlv signal;
        if (!inner(r, item, signal))
            return false;
        if (signal.tag != application(signalTag))
            return fail("a matrix signal of the wrong kind", &signal);
        if (!count())
            return false;
        CBerReader fields = r.enter(item).enter(signal);
        Tlv f;
        bool numbered = false;
        std::int32_t number = 0;
        while (fields.next(f)) {
            Tlv x;
            if (f.tag == context(0)) {
                if (!inner(fields, f, x) || !readInt32(x, number, "a signal number"))
                    return false;
                numbered = true;
            }
        }
        if (!check(fields))
            return false;
        if (!numbered)
            return fail("a matrix signal without its number", &signal);
        out.push_back(number);
    }
    return check(r);
}

bool CGlowDecoder::connections(const CBerReader& parent, const Tlv& v,
                               std::vector<GlowConnection>& out) {
    if (v.tag != universal(ber::kSequence))
        return fail("a matrix's connections are not a sequence", &v);
    CBerReader r = parent.enter(v);
    Tlv item;
    while (r.next(item)) {
        if (item.tag != context(0))
            continue;
        Tlv conn;
        if (!inner(r, item, conn))
            return false;
        if (conn.tag != application(kConnection))
            return fail("a connection is not a Connection", &conn);
        if (!count())
            return false;
        CBerReader fields = r.enter(item).enter(conn);
        GlowConnection c;
        Tlv f;
        bool targeted = false;
        while (fields.next(f)) {
            Tlv x;
            if (f.tag == context(0)) {
                if (!inner(fields, f, x) || !readInt32(x, c.target, "a connection's target"))
                    return false;
                targeted = true;
            } else if (f.tag == context(1)) {
                GlowPath ids;
                if (!inner(fields, f, x) || !readOid(x, ids, "a connection's sources") ||
                    !count(ids.size()))
                    return false;
                std::vector<std::int32_t> sources;
                sources.reserve(ids.size());
                for (const std::uint32_t id : ids) {
                    if (id > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
                        return fail("a connection's source is out of range", &x);
                    sources.push_back(static_cast<std::int32_t>(id));
                }
                c.sources = std::move(sources);
            } else if (f.tag == context(2)) {
                if (!readEnum<int>(fields, f, c.operation, "a connection's operation"))
                    return false;
            } else if (f.tag == context(3)) {
                if (!readEnum<int>(fields, f, c.disposition, "a connection's disposition"))
                    return false;
            }
        }
        if (!check(fields))
            return false;
        if (!targeted)
            return fail("a connection without its target", &conn);
        out.push_back(std::move(c));
    }
    return check(r);
}

} // namespace

std::string encodeGlow(const std::vector<GlowElement>& root) {
    CBerWriter w;
    w.begin(application(kRoot));
    w.begin(application(kRootElementCollection));
    for (const GlowElement& e : root)
        field(w, 0, [&] { writeElement(w, e); });
    w.end();
    w.end();
    return w.take();
}

GlowDecoded decodeGlow(std::string_view message, const GlowLimits& limits) {
    GlowDecoded out;
    CGlowDecoder decoder(limits);
    decoder.message(message, out);
    return out;
}

} // namespace velmar
