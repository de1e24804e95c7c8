#include "engine/DeviceState.h"

#include "link/DeviceList.h"
#include "engine/CodeTables.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>

namespace velmar {

namespace {

// Reads 1..10 digits from `text` at `pos`; false when there are none.
bool readNumber(std::string_view text, std::size_t& pos, std::uint64_t& out) {
    const std::size_t start = pos;
    out = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 10) {
        out = out * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        ++pos;
    }
    return pos > start;
}

struct NamedFamily {
    std::string_view name;
    int family;
};

constexpr NamedFamily kModelFamilies[] = {
    {"461", kFamily461}, {"QB16", kFamily460}, {"RB16", kFamily461},
    {"465", kFamily465}, {"GRID", kFamily460}, {"450", kFamily450},
};

constexpr NamedFamily kListTypeFamilies[] = {
    {"460", kFamily460}, {"QB16", kFamily460}, {"RB16", kFamily461},
    {"465", kFamily465}, {"GRID", kFamily460}, {"450", kFamily450},
};

int lookupFamily(std::span<const NamedFamily> table, std::string_view name, int otherwise) {
    for (const NamedFamily& row : table)
        if (row.name == name)
            return row.family;
    return otherwise;
}

} // namespace

void DeviceState::reset(bool nowConnected, std::uint32_t address) {
    connected = nowConnected;
    deviceTitleName.clear();
    deviceAddress = nowConnected ? address : 0;

    settings = DeviceSettings{};
    // The records carry their own port number; the frame's replies are matched
    // against it, so it is there before the first reply.
    for (int port = 1; port <= 3; ++port) {
        settings.madiInMode[static_cast<std::size_t>(port)].port = port;
        settings.madiOutMode[static_cast<std::size_t>(port)].port = port;
    }
    settings.optMode[1].port = 1;
    settings.optMode[2].port = 2;

    live = LiveStatus{};
}

int DeviceState::versionNumber() const {
    return versionNumberFromText(settings.swVersion[kModuleMainBoard].second[0].view());
}

int DeviceState::crosspointCount() const {
    return (versionNumber() >= 2000001 && family == kFamily460) ? 1536 : 1024;
}

bool DeviceState::crosspointsRead() const {
    const auto reported = live.crosspointReported.begin();
    return std::all_of(reported + 1, reported + 1 + crosspointCount(), std::identity{});
}

int DeviceState::cardType(int slot) const {
    if (slot < 1 || slot > kCardSlots)
        return kCardTypeNone;
    return settings.cards[static_cast<std::size_t>(slot)].cardType;
}

bool DeviceState::ipModulePresent() const { return settings.hwConf[kModuleIpAudio].present != 0; }

bool DeviceState::sfpPresent() const { return settings.hwConf[kModuleSfp].present != 0; }

bool DeviceState::noPhd() const {
    const std::string_view code = settings.hwConf[kModuleMainBoard].boardCode.view();
    return code.size() >= 6 && code[5] == '1';
}

int DeviceState::syncPriorityOf(int source) const {
    if (source < kSyncSourceFirst || source > kSyncSourceLast)
        return 0;
    return settings.syncPriority[static_cast<std::size_t>(source - kSyncSourceFirst)];
}

int versionNumberFromText(std::string_view text) {
    std::uint64_t parts[4] = {};
    std::size_t pos = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return 0;
            ++pos;
        }
        if (!readNumber(text, pos, parts[k]))
            return 0;
    }
    const std::uint64_t value = parts[0] * 1000000 + parts[1] * 10000 + parts[2] * 100 + parts[3];
    // A version this large is no version of ours; reading it as 0 keeps every
    // feature gate closed instead of wrapping round to some small number.
    if (value > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
        return 0;
    return static_cast<int>(value);
}

int familyFromModel(std::string_view model) {
    return lookupFamily(kModelFamilies, model, kFamily460);
}

bool isKnownModel(std::string_view model) {
    return std::any_of(std::begin(kListTypeFamilies), std::end(kListTypeFamilies),
                       [model](const NamedFamily& row) { return row.name == model; }) ||
           std::any_of(std::begin(kModelFamilies), std::end(kModelFamilies),
                       [model](const NamedFamily& row) { return row.name == model; });
}

std::string knownModelList() {
    std::string out;
    for (const NamedFamily& row : kListTypeFamilies) // "460" first, then the others
        out += (out.empty() ? "" : ", ") + std::string(row.name);
    for (const NamedFamily& row : kModelFamilies)
        if (!std::any_of(std::begin(kListTypeFamilies), std::end(kListTypeFamilies),
                         [&row](const NamedFamily& other) { return other.name == row.name; }))
            out += ", " + std::string(row.name);
    return out;
}

int familyFromListType(std::string_view type) {
    if (type.empty())
        return kFamily461;
    return lookupFamily(kListTypeFamilies, type, kFamily461);
}

int runModeFromListAddress(std::string_view address) {
    // The run mode is the entry kind of the list row.
    return static_cast<int>(entryKindOf(address));
}

} // namespace velmar
