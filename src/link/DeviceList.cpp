#include "link/DeviceList.h"

#include <algorithm>

namespace velmar {

namespace {

// A quoted field without its first and last character.
std::string unquoted(std::string_view field) {
    if (field.size() < 2)
        return {};
    return std::string(field.substr(1, field.size() - 2));
}

bool parseMode(std::string_view text, int& mode) {
    if (text.empty() || text.size() > 9)
        return false;
    bool negative = false;
    if (text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty())
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    mode = negative ? -value : value;
    return true;
}

} // namespace

EntryKind entryKindOf(std::string_view addressColumn) {
    if (addressColumn.empty())
        return EntryKind::Application;
    if (addressColumn.front() == '#')
        return EntryKind::Hash;
    if (addressColumn.front() == '*')
        return EntryKind::Recovery;
    return EntryKind::Application;
}

std::string_view bareAddress(std::string_view addressColumn) {
    if (!addressColumn.empty() && (addressColumn.front() == '*' || addressColumn.front() == '#'))
        addressColumn.remove_prefix(1);
    return addressColumn;
}

int CDeviceList::findRow(Ipv4Address address) const {
    const auto it = m_index.find(keyOf(address));
    return it == m_index.end() ? -1 : static_cast<int>(it->second);
}

void CDeviceList::clear() {
    m_rows.clear();
    m_index.clear();
    m_unanswered.clear();
    m_unlisted.clear();
    m_unlistedOverflow = 0;
}

void CDeviceList::beginSearch() {
    m_unanswered.clear();
    for (const KnownDevice& row : m_rows)
        m_unanswered.insert(keyOf(row.addressValue));
    m_unlisted.clear();
    m_unlistedOverflow = 0;
}

bool CDeviceList::pruneUnanswered(std::optional<Ipv4Address> connectedAddress) {
    if (m_unanswered.empty())
        return false;
    bool changed = false;
    std::vector<KnownDevice> kept;
    kept.reserve(m_rows.size());
    for (KnownDevice& row : m_rows) {
        const Key key = keyOf(row.addressValue);
        if (m_unanswered.count(key) == 0 ||
            (connectedAddress && row.addressValue == connectedAddress)) {
            kept.push_back(std::move(row));
            continue;
        }
        changed = true;
        if (!isSaved(key))
            continue;
        // A saved address whose frame stayed silent shows as it was added.
        const auto saved = std::find_if(m_saved.begin(), m_saved.end(), [key](const auto& text) {
            return keyOf(parseIpv4(text)) == key;
        });
        KnownDevice bare;
        bare.address = *saved;
        bare.addressValue = row.addressValue;
        kept.push_back(std::move(bare));
    }
    m_rows = std::move(kept);
    m_unanswered.clear();
    reindex();
    return changed;
}

void CDeviceList::eraseRow(std::size_t row) {
    m_unanswered.erase(keyOf(m_rows[row].addressValue));
    m_rows.erase(m_rows.begin() + static_cast<std::ptrdiff_t>(row));
    reindex();
}

void CDeviceList::reindex() {
    m_index.clear();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_index.emplace(keyOf(m_rows[i].addressValue), i);
}

void CDeviceList::savedChanged() {
    m_savedKeys.clear();
    for (const std::string& text : m_saved)
        m_savedKeys.insert(keyOf(parseIpv4(text)));
}

CDeviceList::AddOutcome CDeviceList::addRowFromText(std::string_view text, Source source,
                                                    std::optional<Ipv4Address> connectedAddress) {
    AddOutcome outcome;
    const std::size_t firstComma = text.find(',');
    if (firstComma == std::string_view::npos)
        return outcome;
    const std::string_view addressText = text.substr(0, firstComma);
    const std::optional<Ipv4Address> address = parseIpv4(addressText);
    const Key key = keyOf(address);

    // A fresh reply replaces the older row of the same address, in its place;
    // a saved address leaves a row the frame has answered for.
    std::optional<std::size_t> place;
    if (const auto found = m_index.find(key); found != m_index.end()) {
        if (source == Source::SavedEntry && !m_rows[found->second].name.empty())
            return outcome;
        place = found->second;
    }
    if (addressText.empty()) {
        if (place) {
            eraseRow(*place);
            outcome.changed = true;
        }
        return outcome;
    }
    if (!place && m_rows.size() >= kMaxRows && source == Source::SearchReply && !isSaved(key) &&
        !(address && address == connectedAddress)) {
        if (m_unlisted.size() < kMaxUnlistedTracked)
            m_unlisted.insert(key);
        else if (m_unlisted.count(key) == 0)
            ++m_unlistedOverflow;
        return outcome;
    }
    m_unanswered.erase(key);

    KnownDevice row;
    row.address = std::string(addressText);
    row.addressValue = address;

    // The reply's fields, each up to the next comma; the first field without a
    // comma behind it ends the reading.
    std::string_view rest = text.substr(firstComma + 1);
    const auto nextField = [&rest](std::string_view& field) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos)
            return false;
        field = rest.substr(0, comma);
        rest.remove_prefix(comma + 1);
        return true;
    };
    bool announced = false;
    std::string_view field;
    if (nextField(field)) {
        int mode = 1;
        if (parseMode(field, mode) && mode == 0)
            row.address = "*" + row.address;
        else if (parseMode(field, mode) && mode == 2)
            row.address = "#" + row.address;
        if (nextField(field)) {
            row.id = std::string(field);
            if (nextField(field)) {
                row.name = unquoted(field);
                if (nextField(field)) {
                    row.type = unquoted(field);
                    if (nextField(field) && !rest.empty()) {
                        // A reply the frame sent on its own carries a trailing comma.
                        announced = rest.find(',') != std::string_view::npos;
                        if (!announced)
                            row.serial = unquoted(rest);
                        else if (rest.size() >= 3)
                            row.serial = std::string(rest.substr(1, rest.size() - 3));
                    }
                }
            }
        }
    }
    if (place) {
        // Only the frame's own answer says it is back.
        if (source != Source::SearchReply)
            row.offline = m_rows[*place].offline;
        m_rows[*place] = std::move(row);
    } else {
        m_index.emplace(key, m_rows.size());
        m_rows.push_back(std::move(row));
    }
    outcome.changed = true;
    outcome.disconnect = announced && address.has_value() && address == connectedAddress;
    return outcome;
}

void CDeviceList::loadSaved(IProfileStore& profile, std::optional<Ipv4Address> connectedAddress) {
    const int count = profile.readInt(kProfileSection, "Count");
    m_saved.clear();
    savedChanged();
    for (int i = 1; i <= count; ++i) {
        std::string text = profile.readString(kProfileSection, "Device" + std::to_string(i));
        if (text.empty())
            continue;
        m_saved.push_back(text);
        m_savedKeys.insert(keyOf(parseIpv4(text)));
        addRowFromText(text + ",", Source::SavedEntry, connectedAddress);
    }
}

bool CDeviceList::saveSaved(IProfileStore& profile) const {
    if (!profile.writeInt(kProfileSection, "Count", static_cast<int>(m_saved.size())))
        return false;
    bool ok = true;
    for (std::size_t i = 0; i < m_saved.size(); ++i)
        ok = profile.writeString(kProfileSection, "Device" + std::to_string(i + 1), m_saved[i]) &&
             ok;
    return ok;
}

bool CDeviceList::canRemove(int row) const {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return false;
    const std::string& address = m_rows[static_cast<std::size_t>(row)].address;
    return std::find(m_saved.begin(), m_saved.end(), address) != m_saved.end();
}

bool CDeviceList::removeFromList(int row) {
    if (!canRemove(row))
        return false;
    const auto index = static_cast<std::size_t>(row);
    m_saved.erase(std::find(m_saved.begin(), m_saved.end(), m_rows[index].address));
    savedChanged();
    eraseRow(index);
    return true;
}

bool CDeviceList::deleteRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return false;
    eraseRow(static_cast<std::size_t>(row));
    return true;
}

CDeviceList::AddDevice CDeviceList::addDevice(std::string_view addressText,
                                              const std::function<bool(std::string_view)>& probe,
                                              IProfileStore& profile) {
    const std::optional<Ipv4Address> address = parseIpv4(addressText);
    if (addressText.empty() || !address || *address == 0)
        return AddDevice::Nothing;
    if (findRow(*address) >= 0)
        return AddDevice::AlreadyListed;
    if (!probe(addressText))
        return AddDevice::NotResponding;
    m_saved.emplace_back(addressText);
    savedChanged();
    saveSaved(profile);
    return AddDevice::Added;
}

std::string CDeviceList::addDeviceMessage(AddDevice result, std::string_view addressText) {
    switch (result) {
    case AddDevice::AlreadyListed: return "Device already in the selection list";
    case AddDevice::NotResponding:
        return "Device " + std::string(addressText) + " is not responding";
    case AddDevice::Nothing:
    case AddDevice::Added: break;
    }
    return {};
}

std::string CDeviceList::searchNote(std::size_t unlisted, std::uint64_t lost) {
    std::string note;
    if (unlisted > 0)
        note = std::to_string(unlisted) +
               (unlisted == 1 ? " further frame answered but was not listed"
                              : " further frames answered but were not listed") +
               " (the list holds at most " + std::to_string(kMaxRows) + ")";
    if (lost > 0) {
        if (!note.empty())
            note += "; ";
        note += std::to_string(lost) + (lost == 1 ? " search reply was lost by the system"
                                                  : " search replies were lost by the system");
    }
    return note;
}

std::string CDeviceList::addressProblem(std::string_view typed) {
    while (!typed.empty() && typed.front() == ' ')
        typed.remove_prefix(1);
    while (!typed.empty() && typed.back() == ' ')
        typed.remove_suffix(1);
    if (typed.empty())
        return "Type the frame's IPv4 address, for example 10.0.1.20.";
    const std::optional<Ipv4Address> address = parseIpv4(typed);
    const std::string text(typed);
    if (!address)
        return text + " is not a valid IPv4 address: four numbers from 0 to 255 separated by "
                      "points, for example 10.0.1.20.";
    if (*address == 0)
        return "0.0.0.0 is not the address of a frame.";
    if (*address == 0xFFFFFFFFU)
        return "255.255.255.255 is the broadcast address, not the address of a frame.";
    if ((*address >> 28) == 0xEU)
        return text + " is a multicast address, not the address of a frame.";
    return {};
}

bool CDeviceList::refreshRow(Ipv4Address address, std::string_view type, std::string_view serial) {
    const int row = findRow(address);
    if (row < 0)
        return false;
    m_rows[static_cast<std::size_t>(row)].type = std::string(type);
    m_rows[static_cast<std::size_t>(row)].serial = std::string(serial);
    return true;
}

bool CDeviceList::refreshIdentity(Ipv4Address address, int id, std::string_view name) {
    const int row = findRow(address);
    if (row < 0)
        return false;
    m_rows[static_cast<std::size_t>(row)].id = std::to_string(id);
    m_rows[static_cast<std::size_t>(row)].name = std::string(name);
    return true;
}

bool CDeviceList::setOffline(Ipv4Address address, bool offline) {
    const int found = findRow(address);
    if (found < 0 || m_rows[static_cast<std::size_t>(found)].offline == offline)
        return false;
    m_rows[static_cast<std::size_t>(found)].offline = offline;
    return true;
}

} // namespace velmar
