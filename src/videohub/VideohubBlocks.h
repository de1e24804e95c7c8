#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

// The router protocol of panels and Companion: plain-text blocks on TCP, each
// a header line ending in ':' ("VIDEO OUTPUT ROUTING:"), its lines, and a
// blank line. Ports count from 0.

inline constexpr std::string_view kVideohubVersion = "2.8";
inline constexpr std::string_view kVideohubAck = "ACK\n\n";
inline constexpr std::string_view kVideohubNak = "NAK\n\n";

// What a client may send before it is closed: every bound is a close, since a
// client that passes one is either broken or hostile and its state is lost.
struct VideohubLimits {
    std::size_t maxLineBytes = 1024;     // a label of a frame is far shorter
    std::size_t maxBlockLines = 4096;    // a full routing block of the largest frame, and room
    std::size_t maxBlocksPerFeed = 4096; // blocks completed by one feed
};

struct VideohubBlock {
    std::string header; // the first line, ':' included ("PING:"); trailing blanks dropped
    std::vector<std::string> lines;
};

// Cuts a byte stream into blocks, keeping a partial line and block between
// feeds. Line ends may be "\n" or "\r\n"; blank lines between blocks are
// skipped.
class CVideohubParser {
public:
    explicit CVideohubParser(VideohubLimits limits = {}) : m_limits(limits) {}

    // Appends the blocks the bytes complete to `out`. False once a bound is
    // passed (`error()` says which); the parser then takes nothing more.
    bool feed(std::string_view bytes, std::vector<VideohubBlock>& out);
    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    // Bytes held for a line or block not yet complete.
    std::size_t pendingBytes() const;

private:
    bool endLine(std::vector<VideohubBlock>& out, std::size_t& completed);

    const VideohubLimits m_limits;
    std::string m_line;
    VideohubBlock m_block;
    bool m_inBlock = false;
    std::size_t m_blockBytes = 0;
    std::string m_error;
};

// The device block's fields. `present` false writes "Device present: false"
// and nothing else: the frame is not known yet.
struct VideohubDevice {
    bool present = false;
    std::string modelName;
    std::string friendlyName;
    std::string uniqueId; // empty: no such line
    int videoInputs = 0;
    int videoOutputs = 0;
};

std::string videohubPreamble();
std::string videohubDeviceBlock(const VideohubDevice& device);
// A block of "index value" lines, in the order given.
std::string videohubIndexedBlock(std::string_view header,
                                 const std::vector<std::pair<int, std::string>>& items);
std::string videohubEndPrelude();

// One "index value" line of a client's block: the index and the rest after a
// single space (a label may hold spaces, or be empty). False when the index is
// not a plain non-negative number or the separator is missing.
bool splitVideohubLine(std::string_view line, int& index, std::string_view& value);

} // namespace velmar
