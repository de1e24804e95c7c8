#include "maintenance/AdminDialogs.h"

#include "protocol/WireText.h"

#include <charconv>
#include <cstdio>

namespace velmar {

// ---- Network settings -------------------------------------------------------

std::optional<NetworkTarget> networkTargetFor(const DeviceState& state,
                                              const KnownDevice* selectedRow, int row) {
    NetworkTarget t;
    t.row = row;
    if (selectedRow != nullptr) {
        const Ipv4Address address = selectedRow->addressValue.value_or(0);
        const bool connectedRow = state.connected && address != 0 && address == state.deviceAddress;
        if (connectedRow) {
            t.kind = NetworkTarget::Kind::Connected;
            t.name = selectedRow->name;
        } else if (!selectedRow->serial.empty()) {
            t.kind = NetworkTarget::Kind::Discovered;
            t.name = selectedRow->name;
            t.serialNumber = selectedRow->serial;
        } else {
            return std::nullopt;
        }
        t.address = address;
    } else {
        if (!state.connected)
            return std::nullopt;
        t.kind = NetworkTarget::Kind::Connected;
        // The address the frame reported, else the one the link uses: a
        // frame that obtains its address automatically may report 0.0.0.0.
        t.address = parseIpv4(state.settings.networkSettings.ipAddress.view()).value_or(0);
        if (t.address == 0)
            t.address = state.deviceAddress;
        t.name = state.settings.deviceName.view();
    }
    if (t.address == 0)
        return std::nullopt;
    return t;
}

std::optional<std::string> addressProblem(std::string_view fieldName, std::string_view text) {
    if (parseIpv4(text))
        return std::nullopt;
    std::string why(fieldName);
    why += " must be four numbers from 0 to 255 separated by points, such as 192.168.1.20.";
    return why;
}

std::optional<std::string> subnetMaskProblem(Ipv4Address mask) {
    const std::string text = formatIpv4(mask);
    if (mask == 0)
        return "Subnet mask " + text +
               " leaves no network part; type the network's mask, such as 255.255.255.0.";
    // Ones in one run from the top: the inverted mask plus one is a power of two.
    const std::uint32_t hostPart = ~static_cast<std::uint32_t>(mask);
    if ((hostPart & (hostPart + 1)) != 0)
        return "Subnet mask " + text +
               " is no mask: its ones must come first and in one run, such as 255.255.255.0.";
    return std::nullopt;
}

CNetworkSettingsLogic::CNetworkSettingsLogic(NetworkTarget target, const NetworkSettings& current)
    : m_target(std::move(target)) {
    if (m_target.kind == NetworkTarget::Kind::Discovered) {
        // A frame found by the search: only the address it answered from is
        // known here; the operator starts from that, not from nothing.
        m_current = NetworkSettings{};
        for (auto* text : {&m_current.ipAddress, &m_current.subnetMask, &m_current.gateway})
            text->assign("0.0.0.0");
        if (m_target.address != 0)
            m_current.ipAddress.assign(formatIpv4(m_target.address));
    } else {
        m_current = current;
    }
    m_fixed = m_current.mode == 0;
    m_addresses = {std::string(m_current.ipAddress.view()),
                   std::string(m_current.subnetMask.view()), std::string(m_current.gateway.view())};
    // An address control always shows four numbers.
    for (std::string& a : m_addresses)
        if (!parseIpv4(a))
            a = "0.0.0.0";
}

std::string CNetworkSettingsLogic::title() const {
    std::string t(kCaption);
    t += " for device <";
    t += m_target.name;
    t += ">";
    if (m_target.kind == NetworkTarget::Kind::Connected && !m_current.macAddress.empty()) {
        t += " with MAC: ";
        t += m_current.macAddress.view();
    }
    return t;
}

CNetworkSettingsLogic::Outcome
CNetworkSettingsLogic::accept(bool fixed, const std::array<std::string, 3>& fields) const {
    Outcome out;
    NetworkSettings& r = out.record;
    r.macAddress = m_current.macAddress;
    if (fixed) {
        std::array<Ipv4Address, 3> values{};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (const auto why = addressProblem(kFieldNames[i], fields[i])) {
                out.kind = Outcome::Kind::Invalid;
                out.problem = *why;
                out.field = static_cast<int>(i);
                return out;
            }
            values[i] = *parseIpv4(fields[i]);
        }
        // Refused where it was typed, so nothing of what was typed is lost.
        if (values[0] == 0 || values[0] == 0xFFFFFFFFU) {
            out.kind = Outcome::Kind::Invalid;
            out.problem = "IP address ";
            out.problem += formatIpv4(values[0]);
            out.problem += " is no address for a frame.";
            out.field = 0;
            return out;
        }
        if (auto why = subnetMaskProblem(values[1])) {
            out.kind = Outcome::Kind::Invalid;
            out.problem = std::move(*why);
            out.field = 1;
            return out;
        }
        r.mode = 0;
        r.ipAddress.assign(formatIpv4(values[0]));
        r.subnetMask.assign(formatIpv4(values[1]));
        r.gateway.assign(formatIpv4(values[2]));
    } else {
        r.mode = 1;
        r.ipAddress.assign("0.0.0.0");
        r.subnetMask.assign("0.0.0.0");
        r.gateway.assign("0.0.0.0");
    }
    if (m_target.kind == NetworkTarget::Kind::Connected && r.mode == m_current.mode &&
        r.ipAddress == m_current.ipAddress && r.subnetMask == m_current.subnetMask &&
        r.gateway == m_current.gateway) {
        out.kind = Outcome::Kind::Unchanged;
        return out;
    }
    out.kind = Outcome::Kind::Send;
    return out;
}

DeviceMessage CNetworkSettingsLogic::sipRequest(const NetworkSettings& record) {
    DeviceMessage m = DeviceMessage::request(CommandId::sip);
    m.setI(1, record.mode);
    m.setText(2, 16, record.ipAddress.view());
    m.setText(6, 16, record.subnetMask.view());
    m.setText(10, 16, record.gateway.view());
    return m;
}

SetAddressRequest CNetworkSettingsLogic::setAddressRequest(std::string_view serialNumber,
                                                           const NetworkSettings& record) {
    SetAddressRequest r;
    r.serialNumber = serialNumber;
    r.mode = record.mode;
    r.ipAddress = record.ipAddress.view();
    r.subnetMask = record.subnetMask.view();
    r.gateway = record.gateway.view();
    r.apply = true;
    return r;
}

// ---- Device ID and Name -----------------------------------------------------

CDeviceIdLogic::CDeviceIdLogic(int id, std::string_view name) : m_id(id), m_name(name) {}

CDeviceIdLogic::Outcome CDeviceIdLogic::accept(std::string_view idText,
                                               std::string_view name) const {
    Outcome out;
    int id = -1;
    const auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
    const bool number = !idText.empty() && ec != std::errc::invalid_argument &&
                        end == idText.data() + idText.size();
    if (!number || ec != std::errc{} || id < 0 || id > kMaxId) {
        // Said with what was typed, so a digit too many is never cut silently.
        if (number) {
            out.problem = "ID ";
            out.problem += idText;
            out.problem += " is out of range: the";
        } else {
            out.problem = "The";
        }
        out.problem += " ID must be a whole number from 0 to ";
        out.problem += std::to_string(kMaxId);
        out.problem += ".";
        out.field = 1;
        return out;
    }
    if (const auto why = sendableTextProblem(name, kNameLength)) {
        out.problem = "The name " + *why + ".";
        out.field = 2;
        return out;
    }
    if (id == m_id && name == m_name)
        return out; // nothing changed: nothing to tell the frame
    DeviceMessage m = DeviceMessage::request(CommandId::sdevid);
    m.setI(1, id);
    m.setText(2, static_cast<int>(kNameLength + 1), name);
    out.request = m;
    return out;
}

// ---- PSU and FAN configuration ------------------------------------------------

CPsuFanLogic::CPsuFanLogic(int psuConfig, int fanConfig) : m_psu(psuConfig), m_fan(fanConfig) {}

int CPsuFanLogic::indexOf(const std::array<ConfigEntry, 4>& entries, int value) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].value == value)
            return static_cast<int>(i);
    return -1;
}

int CPsuFanLogic::valueAt(const std::array<ConfigEntry, 4>& entries, int index) {
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return 0;
    return entries[static_cast<std::size_t>(index)].value;
}

std::vector<DeviceMessage> CPsuFanLogic::accept(int psuIndex, int fanIndex) const {
    std::vector<DeviceMessage> out;
    const int psu = valueAt(kPsuEntries, psuIndex);
    const int fan = valueAt(kFanEntries, fanIndex);
    if (psu != m_psu) {
        DeviceMessage m = DeviceMessage::request(CommandId::spsuconf);
        m.setI(2, psu);
        out.push_back(m);
    }
    if (fan != m_fan) {
        DeviceMessage m = DeviceMessage::request(CommandId::sfanconf);
        m.setI(2, fan);
        out.push_back(m);
    }
    return out;
}

// ---- Operational time ---------------------------------------------------------

bool systemLocalTime(std::time_t when, std::tm& out) { return localtime_r(&when, &out) != nullptr; }

std::vector<DeviceMessage> COperatingTimeLogic::requests() {
    return {DeviceMessage::request(CommandId::gcuropertime),
            DeviceMessage::request(CommandId::gtotopertime)};
}

std::string COperatingTimeLogic::durationText(std::int32_t h, std::int32_t m, std::int32_t s) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%d hours %d minutes %d seconds", h, m, s);
    return buffer;
}

std::string COperatingTimeLogic::daysText(std::int32_t hours) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "( %d days %d hours ... )", hours / 24, hours % 24);
    return buffer;
}

bool COperatingTimeLogic::onReply(const DeviceMessage& reply, std::time_t now) {
    const bool current = reply.command == CommandId::gcuropertime;
    if (!current && reply.command != CommandId::gtotopertime)
        return false;
    const std::int32_t h = reply.i(1), m = reply.i(2), s = reply.i(3);
    // A refused request, or a time that cannot be, is no time: say so rather
    // than show it as zero hours.
    const bool reported = reply.status == 0 && h >= 0 && m >= 0 && s >= 0;
    std::string& duration = current ? m_sinceRestart : m_total;
    std::string& below = current ? m_restartAt : m_totalDays;
    if (!reported) {
        duration = kNotReported;
        below.clear();
        return true;
    }
    duration = durationText(h, m, s);
    if (!current) {
        below = daysText(h);
        return true;
    }
    const std::int64_t seconds = std::int64_t{h} * 3600 + std::int64_t{m} * 60 + s;
    std::tm local{};
    char buffer[64];
    if (m_localTime(static_cast<std::time_t>(now - seconds), local) &&
        std::strftime(buffer, sizeof buffer, "( %d.%m.%Y  %H:%M:%S )", &local) > 0)
        below = buffer;
    else
        below.clear();
    return true;
}

} // namespace velmar
