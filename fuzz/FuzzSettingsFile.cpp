// Reads arbitrary bytes as a device settings file and checks what must hold
// whatever the file says: a refused file changes nothing and each problem it
// names points at a line of the file, every text field keeps its terminator,
// and what was read writes out and reads back to the same settings.

#include "settings/SettingsFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

template <std::size_t N>
void terminated(const velmar::FixedText<N>& t) {
    check(t.chars.back() == '\0', "a text field keeps its terminator");
}

void checkTexts(const velmar::DeviceSettings& s) {
    terminated(s.deviceName);
    terminated(s.networkSettings.ipAddress);
    terminated(s.networkSettings.subnetMask);
    terminated(s.networkSettings.gateway);
    terminated(s.ipAudio.moduleName);
    for (const velmar::IpAudioAddress* a : {&s.ipAudio.primary, &s.ipAudio.secondary}) {
        terminated(a->ipAddress);
        terminated(a->subnetMask);
        terminated(a->gateway);
        terminated(a->dns);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto base = std::make_unique<velmar::DeviceSettings>();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const velmar::SettingsFileContent read = velmar::readSettingsFile(text, *base);
    checkTexts(read.settings);
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    check(read.problems.size() <= static_cast<std::size_t>(velmar::cfg::kMaxProblemsListed),
          "the problems listed are bounded");
    for (const velmar::CfgProblem& p : read.problems)
        check(p.line >= 1 && p.line <= lines && p.text.size() < 200,
              "a problem names a line of the file, briefly");
    if (!read.accepted()) {
        check(read.settings == *base, "a refused file changes nothing");
        return 0;
    }
    check(read.problems.empty(), "an accepted file has no problem");

    const velmar::SettingsFileContent again =
        velmar::readSettingsFile(velmar::writeSettingsFile(read.settings), read.settings);
    check(again.accepted(), "a written file is taken whole");
    check(again.settings == read.settings, "the settings survive a round trip");
    return 0;
}
