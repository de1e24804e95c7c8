#include "protocol/CommandTable.h"

#include <array>

namespace velmar {

namespace {

// Row = CommandId. Reserved rows hold an empty keyword.
constexpr std::array<std::string_view, kCommandCount> kKeywords = {
    "aliverequest",
    "error",
    "sprog",
    "srestart",
    "sclear",
    "sloadboot",
    "sloadapp",
    "sidentify",
    "gtotopertime",
    "gcuropertime",
    "gsystemdelay",
    "galivetime",
    "gdevinfo",
    "gdevid",
    "gip",
    "ghwconf",
    "gswver",
    "",
    "gmaininpstatus",
    "gmaininprate",
    "ggenrate",
    "gactrate",
    "grateadptsrc",
    "gwclkout",
    "gsyncprio",
    "gsyncstat",
    "gsyncterm",
    "gmadiinmode",
    "gmadioutmode",
    "gmadidsdmode",
    "gmadiinchan",
    "gphdmode",
    "goptmode",
    "goptred",
    "goptinact",
    "ghlinkinmode",
    "ghlinkoutmode",
    "gaeschstat",
    "gpsuconf",
    "gfanconf",
    "gpsustatus",
    "gfanstatus",
    "gtempstatus",
    "gcross",
    "gcrossip",
    "glabel",
    "ggain",
    "gsumcross",
    "gbkip",
    "gbkname",
    "gbklock",
    "gbkdomain",
    "gswmodeip",
    "gbksecip",
    "gsrenaip",
    "guniclkip",
    "guniclkstip",
    "gmaxlatencyip",
    "gprefmastip",
    "gautorouteip",
    "gframeip",
    "glatencyip",
    "gcrtxflow",
    "gcrrxflow",
    "gtxflowslot",
    "grxflowslot",
    "grxportrng",
    "",
    "glevdetthres",
    "glevdetstate",
    "glevdetstatus",
    "gppmid",
    "gppmchn",
    "gppmextchn",
    "gppmenable",
    "gppminfo",
    "gadbrdtype",
    "gadinpmode",
    "gadmiclevel",
    "gadlinelevel",
    "gadmute",
    "gadphanpow",
    "gadphase",
    "gadsigdet",
    "gadovldet",
    "gdaoutlevel",
    "gdamute",
    "gdadsdfilter",
    "gdasigdet",
    "gdaovldet",
    "gdacardet",
    "gembena",
    "gtxsrcrate",
    "gembmode",
    "grxsrcena",
    "gsdirxstat",
    "gsdirxaudstat",
    "gsdirxaudrate",
    "gaesrxsrcena",
    "gaesinpstatus",
    "gaesinprate",
    "gcifmode",
    "gcifred",
    "gcifinact",
    "gcmadiinmode",
    "gcmadioutmode",
    "gcmadidsdmode",
    "gcmadirxsrcena",
    "gchlinkinmode",
    "gchlinkoutmode",
    "gcifstatus",
    "gcifrate",
    "gcifinchan",
    "gccross",
    "gcbiquad",
    "gcsumcross",
    "gcdelay",
    "gmaster",
    "gkeymode",
    "gkeystate",
    "gledstate",
    "gringledstate",
    "gledint",
    "grotcount",
    "scmd",
    "salivetime",
    "ssystemdelay",
    "sboardinfo",
    "sdevinfo",
    "sdevid",
    "sip",
    "",
    "sgenrate",
    "srateadptsrc",
    "swclkout",
    "ssyncprio",
    "ssyncterm",
    "smadiinmode",
    "smadioutmode",
    "smadidsdmode",
    "sphdmode",
    "soptmode",
    "soptred",
    "shlinkinmode",
    "shlinkoutmode",
    "saeschstat",
    "spsuconf",
    "sfanconf",
    "scross",
    "scrossip",
    "slabel",
    "sgain",
    "ssumcross",
    "sbkip",
    "sbkname",
    "sswmodeip",
    "sbksecip",
    "ssrenaip",
    "suniclkip",
    "sprefmastip",
    "sautorouteip",
    "sperformip",
    "scrtxflow",
    "scrrxflow",
    "stxflowslot",
    "srxflowslot",
    "slevdetthres",
    "slevdetstate",
    "sppmcreate",
    "sppmdelete",
    "sppmchn",
    "sppmextchn",
    "sppmenable",
    "sadbrdtype",
    "sadinpmode",
    "sadmiclevel",
    "sadlinelevel",
    "sadmute",
    "sadphanpow",
    "sadphase",
    "sdaoutlevel",
    "sdamute",
    "sdadsdfilter",
    "sembena",
    "stxsrcrate",
    "sembmode",
    "srxsrcena",
    "saesrxsrcena",
    "scifmode",
    "scifred",
    "scmadiinmode",
    "scmadioutmode",
    "scmadidsdmode",
    "scmadirxsrcena",
    "schlinkinmode",
    "schlinkoutmode",
    "sccross",
    "scbiquad",
    "scsumcross",
    "scdelay",
    "smaster",
    "skeymode",
    "skeystate",
    "sledstate",
    "sringledstate",
    "sledint",
    "lcross",
    "lsyncprio",
    "lmaininpstatus",
    "lmaininprate",
    "llabel",
    "lgain",
    "lsumcross",
    "llevdetstate",
    "llevdetstatus",
    "lppmid",
    "lccross",
    "lcsumcross",
    "lcbiquad",
    "lcdelay",
};

// The command ids ordered by keyword in byte order. Each keyword is inserted at
// the place a bisection over the part already sorted finds for it; this runs once,
// at compile time, and the reserved rows are left out so they never match.
struct KeywordIndex {
    std::array<std::int16_t, kCommandCount> ids{};
    int count = 0;
};

// Byte order: char_traits<char>::compare compares as unsigned char, like memcmp.
constexpr bool keywordLess(std::string_view a, std::string_view b) { return a.compare(b) < 0; }

constexpr KeywordIndex buildIndex() {
    KeywordIndex index;
    for (int id = 0; id < kCommandCount; ++id) {
        const std::string_view key = kKeywords[static_cast<std::size_t>(id)];
        if (key.empty())
            continue;
        int lo = 0;
        int hi = index.count;
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (keywordLess(kKeywords[static_cast<std::size_t>(index.ids[mid])], key))
                lo = mid + 1;
            else
                hi = mid;
        }
        for (int i = index.count; i > lo; --i)
            index.ids[i] = index.ids[i - 1];
        index.ids[lo] = static_cast<std::int16_t>(id);
        ++index.count;
    }
    return index;
}

constexpr KeywordIndex kIndex = buildIndex();

} // namespace

std::string_view keywordOf(CommandId id) {
    const int i = toIndex(id);
    if (i < 0 || i >= kCommandCount)
        return {};
    return kKeywords[static_cast<std::size_t>(i)];
}

CommandId commandOf(std::string_view keyword) {
    int lo = 0;
    int hi = kIndex.count;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const int order = kKeywords[static_cast<std::size_t>(kIndex.ids[mid])].compare(keyword);
        if (order < 0)
            lo = mid + 1;
        else if (order > 0)
            hi = mid;
        else
            return static_cast<CommandId>(kIndex.ids[mid]);
    }
    return CommandId::InvalidReply;
}

bool isReserved(CommandId id) {
    const int i = toIndex(id);
    return i >= 0 && i < kCommandCount && kKeywords[static_cast<std::size_t>(i)].empty();
}

} // namespace velmar
