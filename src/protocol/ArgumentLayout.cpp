#include "protocol/ArgumentLayout.h"

#include <iterator>
#include <string_view>

namespace velmar {

namespace {

// The layouts are written as short texts, one row per command, and turned into
// ArgLayout records at compile time; a typo in a row is a compile error.
//   pN:i pN:u pN:d      an integer, unsigned or DecimalValue at slot N
//   pN:tC pN:rC         a quoted or bare text of capacity C at slot N
//   @B:tC @B:rC         the same at byte offset B (texts lying back to back)
//   |                   the bar: a reply with a non-zero status ends here
//   -                   no arguments;  "=" (reply only): as the request

consteval int parseNumber(std::string_view s, std::size_t& pos) {
    int value = 0;
    bool any = false;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        any = true;
    }
    if (!any)
        throw "layout: number expected";
    return value;
}

consteval ArgLayout parse(std::string_view s) {
    ArgLayout layout;
    if (s == "-")
        return layout;
    std::size_t pos = 0;
    while (pos < s.size()) {
        if (s[pos] == ' ') {
            ++pos;
            continue;
        }
        if (s[pos] == '|') {
            layout.bar = static_cast<std::int8_t>(layout.count);
            ++pos;
            continue;
        }
        int offset = 0;
        if (s[pos] == 'p') {
            ++pos;
            const int slot = parseNumber(s, pos);
            if (slot < 1)
                throw "layout: slots count from 1";
            offset = (slot - 1) * 4;
        } else if (s[pos] == '@') {
            ++pos;
            offset = parseNumber(s, pos);
        } else {
            throw "layout: p or @ expected";
        }
        if (pos + 1 >= s.size() || s[pos] != ':')
            throw "layout: ':' expected";
        ++pos;
        ArgSpec arg;
        arg.offset = static_cast<std::uint16_t>(offset);
        switch (s[pos++]) {
        case 'i': arg.kind = ValueKind::Int; break;
        case 'u': arg.kind = ValueKind::Unsigned; break;
        case 'd': arg.kind = ValueKind::Decimal; break;
        case 't': arg.kind = ValueKind::Text; break;
        case 'r': arg.kind = ValueKind::Raw; break;
        default: throw "layout: unknown value kind";
        }
        const bool isText = arg.kind == ValueKind::Text || arg.kind == ValueKind::Raw;
        if (isText)
            arg.capacity = static_cast<std::uint16_t>(parseNumber(s, pos));
        const int bytes = isText ? arg.capacity : (arg.kind == ValueKind::Decimal ? 8 : 4);
        if (offset + bytes > 35 * 4)
            throw "layout: argument beyond p35";
        if (layout.count == ArgLayout::kMaxArgs)
            throw "layout: too many arguments";
        layout.args[layout.count++] = arg;
    }
    return layout;
}

struct Row {
    CommandId id;
    CommandLayout layout;
};

consteval Row row(CommandId id, std::string_view request, std::string_view reply,
                  LayoutSpecial special = LayoutSpecial::None) {
    Row r{id, {}};
    r.layout.request = parse(request);
    r.layout.reply = reply == "=" ? r.layout.request : parse(reply);
    r.layout.special = special;
    return r;
}

consteval Row reserved(CommandId id) { return Row{id, {}}; }

// Request column and reply column of every command, in CommandId order. Texts in
// the request column carry the capacity of the field they are read from.
constexpr Row kRows[] = {
    row(CommandId::aliverequest, "-", "-"),
    row(CommandId::error, "-", "-"),
    row(CommandId::sprog, "p1:i", "p1:i", LayoutSpecial::Sprog),
    row(CommandId::srestart, "p1:i", "-"),
    row(CommandId::sclear, "-", "-"),
    row(CommandId::sloadboot, "-", "-"),
    row(CommandId::sloadapp, "p1:i", "p1:i"),
    row(CommandId::sidentify, "p1:i", "p1:i"),
    row(CommandId::gtotopertime, "-", "| p1:i p2:i p3:i"),
    row(CommandId::gcuropertime, "-", "| p1:i p2:i p3:i"),
    row(CommandId::gsystemdelay, "-", "p1:i"),
    row(CommandId::galivetime, "-", "p1:i"),
    row(CommandId::gdevinfo, "-", "p1:t7 p3:i p4:t17"),
    row(CommandId::gdevid, "-", "p1:i p2:t17"),
    row(CommandId::gip, "-", "p1:i p2:t16 p6:t16 p10:t16 p14:t13"),
    row(CommandId::ghwconf, "p1:i", "p1:i p2:i @8:t17 @25:t14", LayoutSpecial::HwConf),
    row(CommandId::gswver, "p1:i", "p1:i", LayoutSpecial::SwVer),
    reserved(CommandId::reserved17),
    row(CommandId::gmaininpstatus, "p1:i", "p1:i | p2:r4"),
    row(CommandId::gmaininprate, "p1:i", "p1:i p2:i"),
    row(CommandId::ggenrate, "-", "p1:i"),
    row(CommandId::gactrate, "-", "p1:i"),
    row(CommandId::grateadptsrc, "-", "p1:i"),
    row(CommandId::gwclkout, "-", "| p1:i"),
    row(CommandId::gsyncprio, "p1:i", "p1:i p2:i"),
    row(CommandId::gsyncstat, "-", "p1:i p2:i"),
    row(CommandId::gsyncterm, "-", "p1:i"),
    row(CommandId::gmadiinmode, "p1:i", "p1:i p2:i"),
    row(CommandId::gmadioutmode, "p1:i", "p1:i p3:i p4:i p5:i"),
    row(CommandId::gmadidsdmode, "p1:i", "p1:i p6:i"),
    row(CommandId::gmadiinchan, "p1:i", "p1:i p2:i"),
    row(CommandId::gphdmode, "-", "p1:i p2:i p3:i"),
    row(CommandId::goptmode, "p1:i", "p1:i p2:i"),
    row(CommandId::goptred, "-", "| p1:i p2:i"),
    row(CommandId::goptinact, "p1:i", "p1:i | p2:i"),
    row(CommandId::ghlinkinmode, "p1:i", "p1:i p2:i"),
    row(CommandId::ghlinkoutmode, "p1:i", "p1:i p2:i"),
    row(CommandId::gaeschstat, "-", "| p1:i"),
    row(CommandId::gpsuconf, "-", "p2:i"),
    row(CommandId::gfanconf, "-", "p2:i"),
    row(CommandId::gpsustatus, "p2:i", "p2:i | p1:i"),
    row(CommandId::gfanstatus, "p2:i", "p2:i | p1:i"),
    row(CommandId::gtempstatus, "-", "| p1:i"),
    row(CommandId::gcross, "p1:i", "p1:i | p2:i"),
    row(CommandId::gcrossip, "p1:i p2:t32", "p1:i p2:t32 | p10:t32 p18:t32"),
    row(CommandId::glabel, "p1:i p2:i", "p1:i p2:i | p3:t17"),
    row(CommandId::ggain, "p1:i p2:i", "p1:i p2:i p3:d p5:i p6:i"),
    row(CommandId::gsumcross, "p1:i", "p1:i p2:i p3:i p4:d p6:i p7:i"),
    row(CommandId::gbkip, "-", "| p1:i p2:t16 p6:t16 p10:t16 p14:t16 p18:t13"),
    row(CommandId::gbkname, "-", "| p1:t32"),
    row(CommandId::gbklock, "-", "| p1:i"),
    row(CommandId::gbkdomain, "-", "| p1:i p2:i p3:i"),
    row(CommandId::gswmodeip, "-", "| p1:i"),
    row(CommandId::gbksecip, "-", "| p1:i p2:t16 p6:t16 p10:t16 p14:t16 p18:t13"),
    row(CommandId::gsrenaip, "-", "| p1:i"),
    row(CommandId::guniclkip, "-", "| p1:i"),
    row(CommandId::guniclkstip, "-", "| p1:i p2:r32"),
    row(CommandId::gmaxlatencyip, "p1:t32", "| p1:t32 p9:i"),
    row(CommandId::gprefmastip, "p1:t32", "| p1:t32 p9:i"),
    row(CommandId::gautorouteip, "-", "| p1:i"),
    row(CommandId::gframeip, "p1:t32", "| p1:t32 p9:i"),
    row(CommandId::glatencyip, "p1:t32", "| p1:t32 p9:i"),
    row(CommandId::gcrtxflow, "p1:i", "| p1:i p2:i p3:t16 p7:i"),
    row(CommandId::gcrrxflow, "p1:i", "p1:i p2:i p3:i p4:i"),
    row(CommandId::gtxflowslot, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::grxflowslot, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::grxportrng, "-", "p1:i p2:i"),
    reserved(CommandId::reserved67),
    row(CommandId::glevdetthres, "p1:i p2:i", "p1:i p2:i | p3:d p5:i p6:d p8:i"),
    row(CommandId::glevdetstate, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::glevdetstatus, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::gppmid, "-", "| p1:u"),
    row(CommandId::gppmchn, "p1:u p2:i", "p1:u p2:i | p3:i"),
    row(CommandId::gppmextchn, "p1:u p2:i", "p1:u p2:i | p3:i p4:i"),
    row(CommandId::gppmenable, "p1:u", "p1:u | p2:i"),
    row(CommandId::gppminfo, "p1:u", "p1:u | p6:t16 p5:i p2:i p3:i p4:i p10:i"),
    row(CommandId::gadbrdtype, "p1:i", "p1:i | p3:i"),
    row(CommandId::gadinpmode, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gadmiclevel, "p1:i p2:i", "p1:i p2:i p3:d"),
    row(CommandId::gadlinelevel, "p1:i p2:i", "p1:i p2:i p3:d"),
    row(CommandId::gadmute, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gadphanpow, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gadphase, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gadsigdet, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gadovldet, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gdaoutlevel, "p1:i p2:i", "p1:i p2:i p3:d"),
    row(CommandId::gdamute, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gdadsdfilter, "p1:i", "p1:i p3:i"),
    row(CommandId::gdasigdet, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gdaovldet, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gdacardet, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gembena, "p1:i p2:i", "p1:i p2:i p4:i"),
    row(CommandId::gtxsrcrate, "p1:i p2:i", "p1:i p2:i p4:i"),
    row(CommandId::gembmode, "p1:i p2:i p3:i", "p1:i p2:i p3:i p4:i"),
    row(CommandId::grxsrcena, "p1:i p2:i p3:i", "p1:i p2:i p3:i p4:i"),
    row(CommandId::gsdirxstat, "p1:i p2:i", "p1:i p2:i p3:i p4:i p5:i"),
    row(CommandId::gsdirxaudstat, "p1:i p2:i p3:i", "p1:i p2:i p3:i p4:i p5:i p6:i p7:i p8:i"),
    row(CommandId::gsdirxaudrate, "p1:i p2:i p3:i", "p1:i p2:i p3:i p4:i"),
    row(CommandId::gaesrxsrcena, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gaesinpstatus, "p1:i p2:i", "p1:i p2:i | p3:r4"),
    row(CommandId::gaesinprate, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::gcifmode, "p1:i", "p1:i | p2:i"),
    row(CommandId::gcifred, "p1:i", "p1:i | p2:i p3:i"),
    row(CommandId::gcifinact, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::gcmadiinmode, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::gcmadioutmode, "p1:i p2:i", "p1:i p2:i | p5:i p6:i p7:i"),
    row(CommandId::gcmadidsdmode, "p1:i p2:i", "p1:i p2:i | p8:i"),
    row(CommandId::gcmadirxsrcena, "p1:i p2:i", "p1:i p2:i | p4:i"),
    row(CommandId::gchlinkinmode, "p1:i", "p1:i | p2:i"),
    row(CommandId::gchlinkoutmode, "p1:i", "p1:i | p2:i"),
    row(CommandId::gcifstatus, "p1:i p2:i", "p1:i p2:i | p3:r4"),
    row(CommandId::gcifrate, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gcifinchan, "p1:i p2:i", "p1:i p2:i p3:i"),
    row(CommandId::gccross, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::gcbiquad, "p1:i p2:i p3:i", "p1:i p2:i p3:i | p4:t51"),
    row(CommandId::gcsumcross, "p1:i p2:i", "p1:i p2:i | p3:i p4:i p5:d p7:i p8:i"),
    row(CommandId::gcdelay, "p1:i p2:i", "p1:i p2:i | p3:i"),
    row(CommandId::gmaster, "-", "p1:i"),
    row(CommandId::gkeymode, "p1:i", "p1:i p2:i p3:i"),
    row(CommandId::gkeystate, "p1:i", "p1:i p2:i"),
    row(CommandId::gledstate, "p1:i", "p1:i p2:i"),
    row(CommandId::gringledstate, "p1:i", "p1:i p2:i"),
    row(CommandId::gledint, "-", "p1:i"),
    row(CommandId::grotcount, "-", "p1:i"),
    row(CommandId::scmd, "@0:r3 @3:r4 @7:r6", "="),
    row(CommandId::salivetime, "p1:i", "p1:i"),
    row(CommandId::ssystemdelay, "p1:i", "p1:i"),
    row(CommandId::sboardinfo, "p1:i p2:i @8:t17 @25:t14 @39:t7 p13:i", "="),
    row(CommandId::sdevinfo, "p1:t7 p3:i p4:t17", "p1:t7 p3:i p4:t17"),
    row(CommandId::sdevid, "p1:i p2:t17", "p1:i p2:t17"),
    row(CommandId::sip, "p1:i p2:t16 p6:t16 p10:t16", "p1:i p2:t16 p6:t16 p10:t16"),
    reserved(CommandId::reserved131),
    row(CommandId::sgenrate, "p1:i", "p1:i"),
    row(CommandId::srateadptsrc, "p1:i", "p1:i"),
    row(CommandId::swclkout, "p1:i", "p1:i"),
    row(CommandId::ssyncprio, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::ssyncterm, "p1:i", "p1:i"),
    row(CommandId::smadiinmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::smadioutmode, "p1:i p3:i p4:i p5:i", "="),
    row(CommandId::smadidsdmode, "p1:i p6:i", "="),
    row(CommandId::sphdmode, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::soptmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::soptred, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::shlinkinmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::shlinkoutmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::saeschstat, "p1:i", "p1:i"),
    row(CommandId::spsuconf, "p2:i", "p2:i"),
    row(CommandId::sfanconf, "p2:i", "p2:i"),
    row(CommandId::scross, "p1:i p2:i p3:i p4:i", "="),
    row(CommandId::scrossip, "p1:i p2:t32 p10:t32 p18:t32", "p1:i p2:t32 p10:t32 p18:t32"),
    row(CommandId::slabel, "p1:i p2:i p3:t17", "p1:i p2:i | p3:t17"),
    row(CommandId::sgain, "p1:i p2:i p3:d p5:i p6:i", "="),
    row(CommandId::ssumcross, "p1:i p2:i p3:i p4:d p6:i p7:i", "="),
    row(CommandId::sbkip, "p1:i p2:t16 p6:t16 p10:t16 p14:t16",
        "p1:i p2:t16 p6:t16 p10:t16 p14:t16"),
    row(CommandId::sbkname, "p1:t32", "| p1:t32"),
    row(CommandId::sswmodeip, "p1:i", "p1:i"),
    row(CommandId::sbksecip, "p1:i p2:t16 p6:t16 p10:t16 p14:t16",
        "| p1:i p2:t16 p6:t16 p10:t16 p14:t16"),
    row(CommandId::ssrenaip, "p1:i", "p1:i"),
    row(CommandId::suniclkip, "p1:i", "p1:i"),
    row(CommandId::sprefmastip, "p1:t32 p9:i", "| p1:t32 p9:i"),
    row(CommandId::sautorouteip, "p1:i", "p1:i"),
    row(CommandId::sperformip, "p1:t32 p10:i p9:i", "p1:t32 p10:i p9:i"),
    row(CommandId::scrtxflow, "p1:i p2:i p3:t16 p7:i", "| p1:i p2:i p3:t16 p7:i"),
    row(CommandId::scrrxflow, "p1:i p2:i p3:i p4:i", "="),
    row(CommandId::stxflowslot, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::srxflowslot, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::slevdetthres, "p1:i p2:i p3:d p5:i p6:d p8:i", "="),
    row(CommandId::slevdetstate, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::sppmcreate, "p6:t16 p5:i p1:u p2:i p3:i p4:i",
        "| p6:t16 p5:i p1:u p2:i p3:i p4:i"),
    row(CommandId::sppmdelete, "p1:u", "p1:u"),
    row(CommandId::sppmchn, "p1:u p2:i p3:u", "p1:u p2:i p3:i"),
    row(CommandId::sppmextchn, "p1:u p2:i p3:i p4:u", "p1:u p2:i p3:i p4:i"),
    row(CommandId::sppmenable, "p1:u p2:i", "p1:u p2:i"),
    row(CommandId::sadbrdtype, "p1:i p2:i p3:t25", "| p1:i p2:i p3:t25"),
    row(CommandId::sadinpmode, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::sadmiclevel, "p1:i p2:i p3:d", "p1:i p2:i p3:d"),
    row(CommandId::sadlinelevel, "p1:i p2:i p3:d", "p1:i p2:i p3:d"),
    row(CommandId::sadmute, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::sadphanpow, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::sadphase, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::sdaoutlevel, "p1:i p2:i p3:d", "p1:i p2:i p3:d"),
    row(CommandId::sdamute, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::sdadsdfilter, "p1:i p3:i", "p1:i p3:i"),
    row(CommandId::sembena, "p1:i p2:i p4:i", "="),
    row(CommandId::stxsrcrate, "p1:i p2:i p4:i", "="),
    row(CommandId::sembmode, "p1:i p2:i p3:i p4:i", "="),
    row(CommandId::srxsrcena, "p1:i p2:i p3:i p4:i", "="),
    row(CommandId::saesrxsrcena, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::scifmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::scifred, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::scmadiinmode, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::scmadioutmode, "p1:i p2:i p5:i p6:i p7:i", "="),
    row(CommandId::scmadidsdmode, "p1:i p2:i p8:i", "="),
    row(CommandId::scmadirxsrcena, "p1:i p2:i p4:i", "="),
    row(CommandId::schlinkinmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::schlinkoutmode, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::sccross, "p1:i p2:i p3:i p4:i p5:i", "="),
    row(CommandId::scbiquad, "p1:i p2:i p3:i p4:t51", "p1:i p2:i p3:i p4:t51"),
    row(CommandId::scsumcross, "p1:i p2:i p3:i p4:i p5:d p7:i p8:i", "="),
    row(CommandId::scdelay, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::smaster, "p1:i", "p1:i"),
    row(CommandId::skeymode, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::skeystate, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::sledstate, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::sringledstate, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::sledint, "p1:i", "p1:i"),
    row(CommandId::lcross, "p1:i p2:i", "p1:i p2:i |", LayoutSpecial::List),
    row(CommandId::lsyncprio, "p1:i p2:i", "p1:i p2:i |", LayoutSpecial::List),
    row(CommandId::lmaininpstatus, "p1:i p2:i", "p1:i p2:i |", LayoutSpecial::List),
    row(CommandId::lmaininprate, "p1:i p2:i", "p1:i p2:i |", LayoutSpecial::List),
    row(CommandId::llabel, "p1:i p2:i p3:i", "p1:i p2:i p3:i |", LayoutSpecial::List),
    row(CommandId::lgain, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::lsumcross, "p1:i p2:i", "p1:i p2:i"),
    row(CommandId::llevdetstate, "p1:i p2:i p3:i", "p1:i p2:i p3:i |", LayoutSpecial::List),
    row(CommandId::llevdetstatus, "p1:i p2:i p3:i", "p1:i p2:i p3:i |", LayoutSpecial::List),
    row(CommandId::lppmid, "-", "-", LayoutSpecial::List),
    row(CommandId::lccross, "p1:i p2:i p3:i", "p1:i p2:i p3:i |", LayoutSpecial::List),
    row(CommandId::lcsumcross, "p1:i p2:i p3:i", "p1:i p2:i p3:i"),
    row(CommandId::lcbiquad, "p1:i p2:i p3:i p4:i", "="),
    row(CommandId::lcdelay, "p1:i p2:i p3:i", "p1:i p2:i p3:i |", LayoutSpecial::List),
};

static_assert(std::size(kRows) == kCommandCount);

consteval bool rowsInIdOrder() {
    for (int i = 0; i < kCommandCount; ++i)
        if (toIndex(kRows[i].id) != i)
            return false;
    return true;
}
static_assert(rowsInIdOrder(), "layout rows must follow the keyword table");

constexpr CommandLayout kNone{};

} // namespace

const CommandLayout& layoutOf(CommandId id) {
    const int i = toIndex(id);
    if (i < 0 || i >= kCommandCount)
        return kNone;
    return kRows[i].layout;
}

} // namespace velmar
