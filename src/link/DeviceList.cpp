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
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].addressValue == address)
            return static_cast<int>(i);
    return -1;
}

CDeviceList::AddOutcome CDeviceList::addRowFromText(std::string_view text, Source source,
                                                    std::optional<Ipv4Address> connectedAddress) {
    AddOutcome outcome;
    const std::size_t firstComma = text.find(',');
    if (firstComma == std::string_view::npos)
        return outcome;
    const std::string_view addressText = text.substr(0, firstComma);
    const std::optional<Ipv4Address> address = parseIpv4(addressText);

    // A fresh reply replaces the older row of the same address; a saved
    // address leaves a row the frame has answered for.
    for (auto it = m_rows.begin(); it != m_rows.end(); ++it) {
        if (it->addressValue != address)
            continue;
        if (source == Source::SavedEntry && !it->name.empty())
            return outcome;
        m_rows.erase(it);
        outcome.changed = true;
        break;
    }
    if (addressText.empty())
        return outcome;

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
    m_rows.push_back(std::move(row));
    outcome.changed = true;
    outcome.disconnect = announced && address.has_value() && address == connectedAddress;
    return outcome;
}

void CDeviceList::loadSaved(IProfileStore& profile, std::optional<Ipv4Address> connectedAddress) {
    const int count = profile.readInt(kProfileSection, "Count");
    m_saved.clear();
    for (int i = 1; i <= count; ++i) {
        std::string text = profile.readString(kProfileSection, "Device" + std::to_string(i));
        if (text.empty())
            continue;
        m_saved.push_back(text);
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
    const auto it = m_rows.begin() + row;
    m_saved.erase(std::find(m_saved.begin(), m_saved.end(), it->address));
    m_rows.erase(it);
    return true;
}

bool CDeviceList::deleteRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size()))
        return false;
    m_rows.erase(m_rows.begin() + row);
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
    bool changed = false;
    for (KnownDevice& row : m_rows) {
        if (row.addressValue == address && row.offline != offline) {
            row.offline = offline;
            changed = true;
        }
    }
    return changed;
}

} // namespace velmar
