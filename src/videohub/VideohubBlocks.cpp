#include "videohub/VideohubBlocks.h"

#include <charconv>

namespace velmar {

namespace {

std::string bound(std::string_view before, std::size_t n, std::string_view after) {
    std::string s(before);
    s += std::to_string(n);
    s += after;
    return s;
}

} // namespace

bool CVideohubParser::feed(std::string_view bytes, std::vector<VideohubBlock>& out) {
    if (failed())
        return false;
    std::size_t completed = 0;
    while (!bytes.empty()) {
        const std::size_t nl = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, nl);
        if (m_line.size() + piece.size() > m_limits.maxLineBytes) {
            m_error = bound("a line longer than ", m_limits.maxLineBytes, " bytes");
            return false;
        }
        m_line.append(piece);
        if (nl == std::string_view::npos)
            break;
        bytes.remove_prefix(nl + 1);
        if (!endLine(out, completed))
            return false;
    }
    return true;
}

bool CVideohubParser::endLine(std::vector<VideohubBlock>& out, std::size_t& completed) {
    if (!m_line.empty() && m_line.back() == '\r')
        m_line.pop_back();
    if (m_line.empty()) {
        if (m_inBlock) {
            if (++completed > m_limits.maxBlocksPerFeed) {
                m_error = bound("more than ", m_limits.maxBlocksPerFeed, " blocks at once");
                return false;
            }
            out.push_back(std::move(m_block));
            m_block = {};
            m_inBlock = false;
            m_blockBytes = 0;
        }
        return true;
    }
    if (!m_inBlock) {
        while (!m_line.empty() && (m_line.back() == ' ' || m_line.back() == '\t'))
            m_line.pop_back();
        m_block.header = std::move(m_line);
        m_inBlock = true;
    } else {
        if (m_block.lines.size() >= m_limits.maxBlockLines) {
            m_error = bound("a block of more than ", m_limits.maxBlockLines, " lines");
            return false;
        }
        m_blockBytes += m_line.size();
        m_block.lines.push_back(std::move(m_line));
    }
    m_line.clear();
    return true;
}

std::size_t CVideohubParser::pendingBytes() const {
    return m_line.size() + m_block.header.size() + m_blockBytes;
}

std::string videohubPreamble() {
    std::string s = "PROTOCOL PREAMBLE:\nVersion: ";
    s += kVideohubVersion;
    s += "\n\n";
    return s;
}

std::string videohubDeviceBlock(const VideohubDevice& d) {
    std::string s = "VIDEOHUB DEVICE:\n";
    if (!d.present) {
        s += "Device present: false\n\n";
        return s;
    }
    s += "Device present: true\n";
    s += "Model name: ";
    s += d.modelName;
    s += "\nFriendly name: ";
    s += d.friendlyName;
    s += '\n';
    if (!d.uniqueId.empty()) {
        s += "Unique ID: ";
        s += d.uniqueId;
        s += '\n';
    }
    s += "Video inputs: ";
    s += std::to_string(d.videoInputs);
    s += "\nVideo processing units: 0\nVideo outputs: ";
    s += std::to_string(d.videoOutputs);
    s += "\nVideo monitoring outputs: 0\nSerial ports: 0\n\n";
    return s;
}

std::string videohubIndexedBlock(std::string_view header,
                                 const std::vector<std::pair<int, std::string>>& items) {
    std::string s(header);
    s += '\n';
    for (const auto& [index, value] : items) {
        s += std::to_string(index);
        s += ' ';
        s += value;
        s += '\n';
    }
    s += '\n';
    return s;
}

std::string videohubEndPrelude() { return "END PRELUDE:\n\n"; }

bool splitVideohubLine(std::string_view line, int& index, std::string_view& value) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space == 0)
        return false;
    const std::string_view number = line.substr(0, space);
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), index);
    if (ec != std::errc() || end != number.data() + number.size() || index < 0)
        return false;
    value = line.substr(space + 1);
    return true;
}

} // namespace velmar
