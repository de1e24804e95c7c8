#include "channels/LabelCsv.h"

#include "protocol/WireText.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace velmar {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

struct Record {
    int line = 0;
    std::vector<std::string> fields;
    bool unterminated = false;
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Splits CSV text into records in one pass, each byte looked at once: a file
// of any content is read in time proportional to its size. A quoted field may
// hold line breaks, so a record can span lines; it is named by the line it
// starts on.
std::vector<Record> records(std::string_view text) {
    std::vector<Record> out;
    Record r;
    std::string field;
    bool quoted = false;   // the field had a quoted part
    bool inQuotes = false; // inside that part now
    bool filled = false;   // the field holds something other than blanks
    int line = 1;
    r.line = line;
    const auto endField = [&] {
        r.fields.push_back(quoted ? field : std::string(trimmed(field)));
        field.clear();
        quoted = filled = false;
    };
    const auto endRecord = [&] {
        r.unterminated = inQuotes;
        const bool blank = r.fields.empty() && !filled && !quoted;
        endField();
        if (!blank)
            out.push_back(std::move(r));
        r = Record{};
        inQuotes = false;
        r.line = line;
    };
    const auto keep = [&](char c) {
        field.push_back(c);
        filled = filled || !isBlank(c);
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c != '"') {
                line += c == '\n' ? 1 : 0;
                keep(c);
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field.push_back('"');
                filled = true;
                ++i;
            } else {
                inQuotes = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            if (!filled) { // a quote opens a field only at its start
                field.clear();
                quoted = inQuotes = true;
            } else {
                field.push_back(c);
            }
            break;
        case ',': endField(); break;
        case '\r': break;
        case '\n':
            ++line;
            endRecord();
            break;
        default: keep(c);
        }
    }
    if (!text.empty() && text.back() != '\n')
        endRecord();
    else if (inQuotes)
        endRecord();
    return out;
}

// A line break made of CR alone (old Mac files) before any LF: such a file
// would read as one long line.
bool endsLinesWithCrAlone(std::string_view text) {
    const std::size_t cr = text.find('\r');
    const std::size_t lf = text.find('\n');
    return cr != std::string_view::npos && (lf == std::string_view::npos || lf > cr + 1);
}

} // namespace

std::string csvField(std::string_view text) {
    const bool needsQuotes = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                             (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!needsQuotes)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string writeLabelCsv(const ChannelRange& range, const std::vector<LabelRow>& rows) {
    std::string out(kLabelCsvHeader);
    out += "\r\n";
    for (const LabelRow& row : rows) {
        out += std::to_string(row.channel) + "," + csvField(channelTypeCell(range, row.channel)) +
               "," + csvField(row.input) + "," + csvField(row.output) + "\r\n";
    }
    return out;
}

LabelCsvRead readLabelCsv(std::string_view text, const ChannelRange& range) {
    LabelCsvRead read;
    if (text.starts_with("\xEF\xBB\xBF")) // the byte order mark some spreadsheets write
        text.remove_prefix(3);
    if (endsLinesWithCrAlone(text)) {
        read.error = "its lines end in CR alone, which is not read here (save it with CR LF or "
                     "LF line endings)";
        return read;
    }
    const std::vector<Record> all = records(text);
    if (all.empty()) {
        read.error = "the file is empty";
        return read;
    }
    std::string header;
    for (std::size_t k = 0; k < all[0].fields.size(); ++k) {
        if (k != 0)
            header += ',';
        header += lower(trimmed(all[0].fields[k]));
    }
    if (header != kLabelCsvHeader) {
        read.error = "line 1 is not the header \"" + std::string(kLabelCsvHeader) + "\"";
        return read;
    }
    std::set<int> seen;
    for (std::size_t k = 1; k < all.size(); ++k) {
        const Record& r = all[k];
        const auto refuse = [&](std::string reason) {
            read.refused.push_back({r.line, std::move(reason)});
        };
        if (r.unterminated) {
            refuse("a quoted field is not closed");
            continue;
        }
        if (r.fields.size() != 4) {
            refuse("has " + std::to_string(r.fields.size()) + " fields, not 4");
            continue;
        }
        const std::string_view number = trimmed(r.fields[0]);
        int channel = 0;
        bool isNumber = !number.empty() && number.size() <= 6;
        for (char c : number) {
            isNumber = isNumber && c >= '0' && c <= '9';
            if (isNumber)
                channel = channel * 10 + (c - '0');
        }
        if (!isNumber) {
            refuse("channel \"" + std::string(number.substr(0, 20)) + "\" is not a number");
            continue;
        }
        if (!range.listed(channel)) {
            refuse("channel " + std::to_string(channel) + " is not one of " +
                   std::to_string(range.offset + 1) + " .. " + std::to_string(range.count));
            continue;
        }
        if (range.blocked(channel)) {
            refuse("channel " + std::to_string(channel) + " is a PHD channel this frame has not");
            continue;
        }
        if (!seen.insert(channel).second) {
            refuse("channel " + std::to_string(channel) + " is named a second time");
            continue;
        }
        bool fine = true;
        for (auto [what, value] :
             {std::pair{"input", &r.fields[2]}, std::pair{"output", &r.fields[3]}})
            if (auto problem = sendableTextProblem(*value, kLabelLength); fine && problem) {
                refuse(std::string(what) + " label " + *problem);
                fine = false;
            }
        if (fine)
            read.rows.push_back({channel, r.fields[2], r.fields[3]});
    }
    return read;
}

} // namespace velmar
