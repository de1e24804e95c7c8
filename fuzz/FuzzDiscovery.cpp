// Search replies come from anyone on the network. A datagram goes the whole
// way a reply goes: the acceptance test, the hand-over text, a row of the
// device list (twice, as a fresh reply replacing the old row), and the rules
// that read the row afterwards.

#include "FuzzSupport.h"
#include "link/DeviceList.h"
#include "link/DiscoveryDatagrams.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmar;
    const std::span<const char> datagram(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> text = queuedSearchReply("10.0.0.1", datagram);
    if (!text)
        return 0;
    FUZZ_CHECK(isAcceptableSearchReply(datagram));
    FUZZ_CHECK(text->rfind("10.0.0.1,", 0) == 0);
    for (char c : *text)
        FUZZ_CHECK(c != '\0'); // the text ends at a NUL, as a C string would

    CDeviceList list;
    const auto connected = parseIpv4("10.0.0.1");
    list.addRowFromText(*text, CDeviceList::Source::SearchReply, connected);
    list.addRowFromText(*text, CDeviceList::Source::SearchReply, connected);
    list.addRowFromText("10.0.0.1,", CDeviceList::Source::SavedEntry, connected);
    FUZZ_CHECK(list.rows().size() == 1);
    const KnownDevice& row = list.rows().front();
    FUZZ_CHECK(bareAddress(row.address) == "10.0.0.1");
    FUZZ_CHECK(row.addressValue == connected);
    (void)entryKindOf(row.address);
    (void)list.canRemove(0);
    return 0;
}
