#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmar {

// Glow: the element tree Ember+ carries, as plain values. A message is a root
// collection of elements; a provider's replies and a consumer's requests are
// both written with these. Only what this program provides and what consumers
// ask of it is modelled (no streams, functions or templates): a decoder skips
// anything else it meets without failing.

// A parameter's value. std::monostate is Glow's null.
using GlowValue = std::variant<std::monostate, std::int64_t, double, std::string, bool>;

enum class GlowElementType { Node, Parameter, Matrix, Command };

enum class GlowCommandType : int { Subscribe = 30, Unsubscribe = 31, GetDirectory = 32, Invoke = 33 };
enum class GlowParameterType : int {
    Null = 0,
    Integer = 1,
    Real = 2,
    String = 3,
    Boolean = 4,
    Trigger = 5,
    Enum = 6,
    Octets = 7
};
enum class GlowAccess : int { None = 0, Read = 1, Write = 2, ReadWrite = 3 };
enum class GlowMatrixType : int { OneToN = 0, OneToOne = 1, NToN = 2 };
enum class GlowAddressingMode : int { Linear = 0, NonLinear = 1 };
enum class GlowConnectionOperation : int { Absolute = 0, Connect = 1, Disconnect = 2 };
enum class GlowConnectionDisposition : int { Tally = 0, Modified = 1, Pending = 2, Locked = 3 };

using GlowPath = std::vector<std::uint32_t>; // a RELATIVE-OID: element numbers from the root

struct GlowEnumEntry {
    std::string text;
    std::int64_t value = 0;
};

// Where a matrix's labels live: a node holding a "targets" (1) and a
// "sources" (2) node, each a string parameter per signal numbered by it.
struct GlowLabel {
    GlowPath basePath;
    std::string description;
};

// The contents set of a node, a parameter or a matrix. Only the fields that
// are set are written; a decoder sets only the fields it read. The fields of
// one kind of element are ignored on the others.
struct GlowContents {
    std::optional<std::string> identifier;
    std::optional<std::string> description;
    // nodes (isOnline also for parameters)
    std::optional<bool> isRoot;
    std::optional<bool> isOnline;
    // parameters
    std::optional<GlowValue> value;
    std::optional<GlowValue> minimum;
    std::optional<GlowValue> maximum;
    std::optional<GlowAccess> access;
    std::optional<std::string> format;
    std::optional<GlowParameterType> type;
    std::optional<std::vector<GlowEnumEntry>> enumMap;
    // matrices
    std::optional<GlowMatrixType> matrixType;
    std::optional<GlowAddressingMode> addressingMode;
    std::optional<std::int32_t> targetCount;
    std::optional<std::int32_t> sourceCount;
    std::optional<std::int32_t> maximumTotalConnects;
    std::optional<std::int32_t> maximumConnectsPerTarget;
    std::optional<std::vector<GlowLabel>> labels;
};

// One target's sources. For a request, the operation; for a reply, the
// disposition.
struct GlowConnection {
    std::int32_t target = 0;
    std::optional<std::vector<std::int32_t>> sources; // absent: not said; empty: none
    std::optional<GlowConnectionOperation> operation;
    std::optional<GlowConnectionDisposition> disposition;
};

// A node, parameter, matrix or command. An element is qualified when `path`
// is set (QualifiedNode, QualifiedParameter, QualifiedMatrix: it stands
// anywhere and names its place), else it is numbered within its parent by
// `number`. Commands are never qualified.
struct GlowElement {
    GlowElementType type = GlowElementType::Node;
    std::int32_t number = 0;
    std::optional<GlowPath> path;
    std::optional<GlowContents> contents;
    // An empty collection is meaningful: "this node has no children".
    std::optional<std::vector<GlowElement>> children;
    // matrices
    std::optional<std::vector<std::int32_t>> targets;
    std::optional<std::vector<std::int32_t>> sources;
    std::optional<std::vector<GlowConnection>> connections;
    // commands
    GlowCommandType command = GlowCommandType::GetDirectory;
    std::optional<std::uint32_t> dirFieldMask;
};

// What a decoder accepts before it gives up on a message.
struct GlowLimits {
    std::size_t maxDepth = 64;          // nested BER values
    std::size_t maxElements = 1u << 20; // elements, connections, labels and enumeration entries
    std::size_t maxStringBytes = 64 * 1024;
};

struct GlowDecoded {
    std::vector<GlowElement> elements; // the root collection, in order
    std::string error;                 // empty when the message was read whole
    bool ok() const { return error.empty(); }
};

// One Glow message (the payload of an S101 Ember packet, reassembled): a
// Root holding a RootElementCollection of these elements.
std::string encodeGlow(const std::vector<GlowElement>& root);
// Reads a message; on an error the elements are those read before it is
// discarded, and `error` says in plain words what was wrong and where.
GlowDecoded decodeGlow(std::string_view message, const GlowLimits& limits = {});

} // namespace velmar
