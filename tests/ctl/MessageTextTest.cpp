#include "ctl/MessageText.h"

#include "protocol/JsonWriter.h"
#include "protocol/ArgumentLayout.h"
#include "protocol/CommandTable.h"
#include "protocol/RequestEncoder.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <string>

namespace velmar {
namespace {

std::string encodedLine(const DeviceMessage& m) {
    std::array<char, kEncodeBufferSize> buffer{};
    return std::string(buffer.data(), encodeMessage(m, buffer));
}

class MessageTextTest : public ::testing::Test {
protected:
    DeviceMessage decoded(const std::string& line) {
        DeviceMessage m;
        EXPECT_TRUE(m_decoder.decode(line, m).delivered) << line;
        return m;
    }
    std::string json(const DeviceMessage& m) {
        CJsonWriter out;
        writeMessageJson(out, m, m_decoder);
        return out.take();
    }
    CResponseDecoder m_decoder;
};

// ---- decoded lines as text and JSON ------------------------------------------

struct ShowRow {
    const char* name;
    std::string line; // as the frame sends it
    std::string text;
    std::string json;
};

const ShowRow kShowRows[] = {
    {"plain ints", ":gcross,0,5,17\r", "reply gcross status 0: 5, 17",
     R"({"kind":"reply","command":"gcross","status":0,"args":[5,17]})"},
    {"text", ":gdevid,0,7,'Studio A'\r", "reply gdevid status 0: 7, 'Studio A'",
     R"({"kind":"reply","command":"gdevid","status":0,"args":[7,"Studio A"]})"},
    {"escape sequence and backslash in a text", ":gdevid,0,7,'St\x1b[2Jud\\io'\r",
     R"(reply gdevid status 0: 7, 'St\x1B[2Jud\\io')",
     R"({"kind":"reply","command":"gdevid","status":0,"args":[7,"St\u001b[2Jud\\io"]})"},
    {"quotes and DEL in a raw text", ":guniclkstip,0,2,Lock 'A' \x7f\r",
     R"(reply guniclkstip status 0: 2, 'Lock \'A\' \x7F')",
     R"({"kind":"reply","command":"guniclkstip","status":0,"args":[2,"Lock 'A' \u007f"]})"},
    {"UTF-8 passes, C1 controls and stray bytes do not",
     ":gdevid,0,7,'B\xc3\xbchne \xff \xc2\x9b'\r",
     "reply gdevid status 0: 7, 'B\xc3\xbchne \\xFF \\u009B'",
     "{\"kind\":\"reply\",\"command\":\"gdevid\",\"status\":0,\"args\":[7,\"B\xc3\xbchne "
     "\xef\xbf\xbd \\u009b\"]}"},
    {"negative fraction", ":ggain,0,1,20,-0.75,0,0\r", "reply ggain status 0: 1, 20, -0.75, 0, 0",
     R"({"kind":"reply","command":"ggain","status":0,"args":[1,20,-0.75,0,0]})"},
    {"decimal with leading zero hundredths", ":gadmiclevel,0,1,2,-32767.05\r",
     "reply gadmiclevel status 0: 1, 2, -32767.05",
     R"({"kind":"reply","command":"gadmiclevel","status":0,"args":[1,2,-32767.05]})"},
    {"unsigned", ":gppmid,0,4294967295\r", "reply gppmid status 0: 4294967295",
     R"({"kind":"reply","command":"gppmid","status":0,"args":[4294967295]})"},
    {"refused: stops at the bar", ":gcross,1,5\r", "reply gcross status 1 (refused): 5",
     R"({"kind":"reply","command":"gcross","status":1,"args":[5]})"},
    {"refused before every argument", ":gbkip,5\r", "reply gbkip status 5 (refused)",
     R"({"kind":"reply","command":"gbkip","status":5,"args":[]})"},
    {"refused without a bar carries everything", ":scross,3,6,18,0,0\r",
     "reply scross status 3 (refused): 6, 18, 0, 0",
     R"({"kind":"reply","command":"scross","status":3,"args":[6,18,0,0]})"},
    {"tag", ":gmaster,0,1,*7\r", "reply gmaster status 0: 1 tag 7",
     R"({"kind":"reply","command":"gmaster","status":0,"args":[1],"tag":7})"},
    {"gswver leaves empty pairs out", ":gswver,0,2,'2.1.0.5','App','','','3.3','FPGA'\r",
     "reply gswver status 0: 2; pairs: '2.1.0.5' 'App', '3.3' 'FPGA'",
     R"({"kind":"reply","command":"gswver","status":0,"args":[2],)"
     R"("pairs":[["2.1.0.5","App"],["3.3","FPGA"]]})"},
    {"ghwconf module 2", ":ghwconf,0,2,17,'SN-2','2023-05'\r",
     "reply ghwconf status 0: 2, 17, 'SN-2', '2023-05'",
     R"({"kind":"reply","command":"ghwconf","status":0,"args":[2,17,"SN-2","2023-05"]})"},
    {"ghwconf module without texts", ":ghwconf,0,4\r", "reply ghwconf status 0: 4",
     R"({"kind":"reply","command":"ghwconf","status":0,"args":[4]})"},
    {"ghwconf module without texts ignores what follows", ":ghwconf,0,21,17,'SN','X'\r",
     "reply ghwconf status 0: 21",
     R"({"kind":"reply","command":"ghwconf","status":0,"args":[21]})"},
    {"lcross", ":lcross,0,1,4,17,0,3,0\r", "reply lcross status 0: 1, 4; items: 17, 0, 3, 0",
     R"({"kind":"reply","command":"lcross","status":0,"args":[1,4],"items":[17,0,3,0]})"},
    {"lccross counts in p3", ":lccross,0,2,1,3,41,42,43\r",
     "reply lccross status 0: 2, 1, 3; items: 41, 42, 43",
     R"({"kind":"reply","command":"lccross","status":0,"args":[2,1,3],"items":[41,42,43]})"},
    {"empty list", ":lcross,0,1,0\r", "reply lcross status 0: 1, 0; no items",
     R"({"kind":"reply","command":"lcross","status":0,"args":[1,0],"items":[]})"},
    {"refused list has no items", ":lcross,4,1,2\r", "reply lcross status 4 (refused): 1, 2",
     R"({"kind":"reply","command":"lcross","status":4,"args":[1,2]})"},
    {"label list",
     ":llabel,0,1,33,2,'Kick','Sn\x01"
     "are'\r",
     R"(reply llabel status 0: 1, 33, 2; items: 33 'Kick', 34 'Sn\x01are')",
     R"({"kind":"reply","command":"llabel","status":0,"args":[1,33,2],"items":[)"
     R"({"direction":1,"channel":33,"text":"Kick"},)"
     R"({"direction":1,"channel":34,"text":"Sn\u0001are"}]})"},
    {"input status list", ":lmaininpstatus,0,3,2,LOCKED,--\r",
     "reply lmaininpstatus status 0: 3, 2; items: 3 'LOC', 4 '--'",
     R"({"kind":"reply","command":"lmaininpstatus","status":0,"args":[3,2],"items":[)"
     R"({"channel":3,"text":"LOC"},{"channel":4,"text":"--"}]})"},
    {"delays", ":lcdelay,0,1,1,2,100,200\r", "reply lcdelay status 0: 1, 1, 2; items: 100, 200",
     R"({"kind":"reply","command":"lcdelay","status":0,"args":[1,1,2],"items":[100,200]})"},
    {"PPM ids without a count", ":lppmid,0,5,4294967295,7,*4\r",
     "reply lppmid status 0; items: 5, 4294967295, 7 tag 4",
     R"({"kind":"reply","command":"lppmid","status":0,"args":[],)"
     R"("items":[5,4294967295,7],"tag":4})"},
    {"'!' message", "!gsyncstat,0,3,0\r", "message gsyncstat status 0: 3, 0",
     R"({"kind":"message","command":"gsyncstat","status":0,"args":[3,0]})"},
    {"'%' line", "%gmaster,1\r", "message gmaster status 0: 1",
     R"({"kind":"message","command":"gmaster","status":0,"args":[1]})"},
    {"alive reply", ":aliverequest,0,*12\r", "reply aliverequest status 0 tag 12",
     R"({"kind":"reply","command":"aliverequest","status":0,"args":[],"tag":12})"},
    {"alive request of a frame", "?aliverequest,*3\r", "request aliverequest tag 3",
     R"({"kind":"request","command":"aliverequest","args":[],"tag":3})"},
    {"line that does not decode", ":gcross,0,x\r", "reply gcross (does not decode)",
     R"({"kind":"reply","command":"gcross","invalid":true})"},
    {"unknown keyword", "!gfoo,0,1\r", "message (unknown command, does not decode)",
     R"({"kind":"message","command":null,"invalid":true})"},
};

TEST_F(MessageTextTest, DecodedLinesAsTextAndJson) {
    for (const ShowRow& row : kShowRows) {
        SCOPED_TRACE(row.name);
        const DeviceMessage m = decoded(row.line);
        EXPECT_EQ(messageText(m, m_decoder), row.text);
        EXPECT_EQ(json(m), row.json);
    }
}

TEST_F(MessageTextTest, KindFollowsTheLinePrefix) {
    EXPECT_EQ(messageKindOf(decoded(":gmaster,0,1\r")), MessageKind::Reply);
    EXPECT_EQ(messageKindOf(decoded("!gmaster,0,1\r")), MessageKind::Message);
    EXPECT_EQ(messageKindOf(decoded("%gmaster,1\r")), MessageKind::Message);
    EXPECT_EQ(messageKindOf(decoded("?aliverequest\r")), MessageKind::Request);
}

TEST_F(MessageTextTest, ItemsFollowTheCountOfTheMessage) {
    decoded(":lcross,0,1,4,17,0,3,0\r");
    const DeviceMessage shorter = decoded(":lcross,0,1,2,8,9\r");
    EXPECT_EQ(messageText(shorter, m_decoder), "reply lcross status 0: 1, 2; items: 8, 9");

    // A count no decoded line could carry stops at the end of the table.
    DeviceMessage crosspoints;
    crosspoints.flags = FlagReply;
    crosspoints.command = CommandId::lcross;
    crosspoints.setI(2, 100000);
    const std::string text = messageText(crosspoints, m_decoder);
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 1 + 127) << text;

    DeviceMessage labels = crosspoints;
    labels.command = CommandId::llabel;
    labels.setI(3, 500);
    const std::string labelJson = json(labels);
    int entries = 0;
    for (std::size_t at = labelJson.find("\"direction\""); at != std::string::npos;
         at = labelJson.find("\"direction\"", at + 1))
        ++entries;
    EXPECT_EQ(entries, 32) << labelJson;

    labels.setI(3, -5);
    EXPECT_EQ(messageText(labels, m_decoder), "reply llabel status 0: 0, 100000, -5; no items");
}

// ---- request lines ----------------------------------------------------------

struct RequestRow {
    std::string typed;
    std::string canonical; // what the encoder writes for the parsed message
};

const RequestRow kRequestRows[] = {
    {"?gcross,5", "?gcross,5\r"},
    {"&scross,5,17,0,0", "&scross,5,17,0,0\r"},
    {"gcross,5", "?gcross,5\r"},
    {"lcross,1,128", "?lcross,1,128\r"},
    {"scross,5,17,0,0", "&scross,5,17,0,0\r"},
    {"aliverequest", "?aliverequest\r"},
    {"  ?gcross,5 \t\r\n", "?gcross,5\r"},
    {"?scross,5,17,0,0", "&scross,5,17,0,0\r"},
    {"&gcross,5", "?gcross,5\r"},
    {"?gcross,,5,,", "?gcross,5\r"},
    {"?gcross,007", "?gcross,7\r"},
    {"?gcross,-0", "?gcross,0\r"},
    {"%smaster,1", "%smaster,1\r"},
    {"?gcross,5,*12", "?gcross,5,*12\r"},
    {"&scross,5,17,0,0,*65535", "&scross,5,17,0,0,*65535\r"},
    {"?gsyncstat", "?gsyncstat\r"},
    {"&sdevid,7,'Studio A'", "&sdevid,7,'Studio A'\r"},
    {"&sdevid,7,''", "&sdevid,7,''\r"},
    {"&sdevid,7,'say \"hi\" #1*2'", "&sdevid,7,'say \"hi\" #1*2'\r"},
    {"&scrossip,3,'in:a','out b','x!y?'", "&scrossip,3,'in:a','out b','x!y?'\r"},
    {"&scmd,a',b'c,\"x\"", "&scmd,a',b'c,\"x\"\r"},
    {"&sgain,1,20,-0.75,0,0", "&sgain,1,20,-0.75,0,0\r"},
    {"&sgain,1,20,-0.00,0,0", "&sgain,1,20,-0.00,0,0\r"},
    {"&slevdetthres,1,2,-32767.99,3,12.05,4", "&slevdetthres,1,2,-32767.99,3,12.05,4\r"},
    {"&sppmchn,4294967295,1,0", "&sppmchn,4294967295,1,0\r"},
    {"&sppmcreate,'PPM 1',5,4000000000,1,2,3", "&sppmcreate,'PPM 1',5,4000000000,1,2,3\r"},
    {"&sboardinfo,1,2,'SN-1','2023-05','rev B',9", "&sboardinfo,1,2,'SN-1','2023-05','rev B',9\r"},
    {"&sprog,1#:10000000AABBCCDD,'x'", "&sprog,1#:10000000AABBCCDD,'x'\r"},
    {"&sprog,1,*5#:00", "&sprog,1,*5#:00\r"},
    {"&sprog,1", "&sprog,1#\r"},
    {"&sprog,2", "&sprog,2\r"},
};

TEST(RequestLine, TypedLinesEncodeToTheirCanonicalForm) {
    for (const RequestRow& row : kRequestRows) {
        const ParsedRequest parsed = parseRequestLine(row.typed);
        ASSERT_TRUE(parsed.message.has_value()) << row.typed << ": " << parsed.error;
        EXPECT_TRUE(parsed.error.empty()) << row.typed;
        EXPECT_EQ(encodedLine(*parsed.message), row.canonical) << row.typed;
        // The canonical line is a fixed point.
        const std::string canonical = row.canonical.substr(0, row.canonical.size() - 1);
        const ParsedRequest again = parseRequestLine(canonical);
        ASSERT_TRUE(again.message.has_value()) << canonical << ": " << again.error;
        EXPECT_EQ(encodedLine(*again.message), row.canonical);
    }
}

TEST(RequestLine, ValuesLandWhereTheLayoutSays) {
    ParsedRequest p = parseRequestLine("&sdevid,7,'Studio A',*9");
    ASSERT_TRUE(p.message);
    EXPECT_EQ(p.message->command, CommandId::sdevid);
    EXPECT_EQ(p.message->flags, FlagRequest);
    EXPECT_EQ(p.message->tag, 9);
    EXPECT_EQ(p.message->i(1), 7);
    EXPECT_EQ(p.message->text(2, 17), "Studio A");

    p = parseRequestLine("sgain,1,20,-0.75,0,0");
    ASSERT_TRUE(p.message);
    EXPECT_EQ(p.message->decimal(3), (DecimalValue{true, 0, 75}));

    p = parseRequestLine("%smaster,1");
    ASSERT_TRUE(p.message);
    EXPECT_EQ(p.message->flags, 0) << "a '%' line stays one";

    p = parseRequestLine("aliverequest");
    ASSERT_TRUE(p.message);
    EXPECT_EQ(p.message->flags, FlagRequest | FlagAlive);

    p = parseRequestLine("&sprog,1#:10000000AABBCCDD");
    ASSERT_TRUE(p.message);
    EXPECT_EQ(p.message->text(fields::kProgramLine), ":10000000AABBCCDD");

    CResponseDecoder decoder;
    p = parseRequestLine("&sdevid,7,'Studio A'");
    ASSERT_TRUE(p.message);
    EXPECT_EQ(messageText(*p.message, decoder), "request sdevid: 7, 'Studio A'");
    CJsonWriter out;
    writeMessageJson(out, *p.message, decoder);
    EXPECT_EQ(out.text(), R"({"kind":"request","command":"sdevid","args":[7,"Studio A"]})");
}

// A value for argument k of every kind, as long as its field allows.
std::string sampleToken(const ArgSpec& arg, int k) {
    const auto filled = [&](std::string_view pattern) {
        std::string s;
        while (s.size() + 1 < arg.capacity)
            s += pattern[s.size() % pattern.size()];
        return s;
    };
    switch (arg.kind) {
    case ValueKind::Int: return (k % 2 ? "-" : "") + std::to_string(1000 * k + 7);
    case ValueKind::Unsigned: return std::to_string(4000000000U + static_cast<unsigned>(k));
    case ValueKind::Decimal: return k % 2 ? "-12.05" : "3.40";
    case ValueKind::Text: return "'" + filled("T b#*&?:!\"-") + "'";
    case ValueKind::Raw: return filled("r#&\"'x");
    }
    return {};
}

TEST(RequestLine, EveryCommandReadsBackToItsOwnLine) {
    int checked = 0;
    for (int i = 0; i < kCommandCount; ++i) {
        const auto id = static_cast<CommandId>(i);
        if (isReserved(id))
            continue;
        const std::string_view keyword = keywordOf(id);
        std::string line(1, keyword.front() == 's' ? '&' : '?');
        line += keyword;
        int k = 0;
        for (const ArgSpec& arg : layoutOf(id).request.all())
            line += "," + sampleToken(arg, ++k);

        for (const std::string& typed : {line, line.substr(1)}) {
            const ParsedRequest parsed = parseRequestLine(typed);
            ASSERT_TRUE(parsed.message.has_value()) << typed << ": " << parsed.error;
            EXPECT_EQ(parsed.message->command, id) << typed;
            EXPECT_EQ(encodedLine(*parsed.message), line + "\r");
        }
        ++checked;
    }
    EXPECT_EQ(checked, kCommandCount - 3);
}

struct ErrorRow {
    std::string typed;
    std::string error;
};

const ErrorRow kErrorRows[] = {
    {"", "empty line"},
    {" \t\r\n", "empty line"},
    {"?gcr\aoss,5", "control character \\x07 inside the line"},
    {"?gcross,5\r?scross,1,2,0,0", "control character \\x0D inside the line"},
    {":gcross,0,5,17", "a line starting with ':' is a reply, not a request"},
    {"!gsyncstat,0,1,4", "a line starting with '!' is a message from a frame, not a request"},
    {"?", "no command after '?'"},
    {",,", "no command in the line"},
    {"xyz,1", "unknown command \"xyz\""},
    {"?GCROSS,5", "unknown command \"GCROSS\""},
    {"?gcross", "wrong arguments for \"gcross\": 0 given, 1 expected; gcross takes: int"},
    {"?gcross,5,6", "wrong arguments for \"gcross\": 2 given, 1 expected; gcross takes: int"},
    {"?gcross,*4", "wrong arguments for \"gcross\": 0 given, 1 expected; gcross takes: int"},
    {"?gsyncstat,1", "wrong arguments for \"gsyncstat\": 1 given, none expected; "
                     "gsyncstat takes no arguments"},
    {"?gcross,x", "wrong arguments for \"gcross\": argument 1: \"x\" is not an int "
                  "(up to 7 digits); gcross takes: int"},
    {"?gcross,12345678", "wrong arguments for \"gcross\": argument 1: \"12345678\" is not an "
                         "int (up to 7 digits); gcross takes: int"},
    {"?gcross,5?scross", "wrong arguments for \"gcross\": argument 1: \"5?scross\" is not an "
                         "int (up to 7 digits); gcross takes: int"},
    {"&sdevid,1,Studio", "wrong arguments for \"sdevid\": argument 2: \"Studio\" is not a text "
                         "in single quotes, as 'Studio A'; sdevid takes: int, text(16)"},
    {"&sdevid,1,'a,b'", "wrong arguments for \"sdevid\": argument 2: the text \"a,b\" holds a "
                        "comma, which a request line cannot carry; sdevid takes: int, text(16)"},
    {"&sdevid,1,'it's'", "wrong arguments for \"sdevid\": argument 2: the text \"it's\" holds a "
                         "single quote, which a request line cannot carry; "
                         "sdevid takes: int, text(16)"},
    {"&sdevid,1,'seventeen chars!!'",
     "wrong arguments for \"sdevid\": argument 2: the text \"seventeen chars!!\" is longer "
     "than 16 characters; sdevid takes: int, text(16)"},
    {"&sgain,1,20,-0.5,0,0", "wrong arguments for \"sgain\": argument 3: \"-0.5\" is not a "
                             "decimal with two digits after the point, as -0.75; "
                             "sgain takes: int, int, decimal, int, int"},
    {"&sppmchn,-1,1,2", "wrong arguments for \"sppmchn\": argument 1: \"-1\" is not an unsigned "
                        "number (0 to 4294967295); sppmchn takes: unsigned, int, unsigned"},
    {"?gcross,5,*0", "wrong arguments for \"gcross\": \"*0\" is no tag: a tag is *1 to *65535; "
                     "gcross takes: int"},
    {"?gcross,5,*65536", "wrong arguments for \"gcross\": \"*65536\" is no tag: a tag is *1 to "
                         "*65535; gcross takes: int"},
    {"&scmd,abc,d,e", "wrong arguments for \"scmd\": argument 1: the text \"abc\" is longer than "
                      "2 characters; scmd takes: raw(2), raw(3), raw(5)"},
    {"&sprog,2#abc", "only step 1 of sprog carries a programming line after '#'"},
    {"&sprog,1#" + std::string(256, 'A'), "the programming line is longer than 255 characters"},
};

TEST(RequestLine, ErrorsNameTheProblem) {
    for (const ErrorRow& row : kErrorRows) {
        const ParsedRequest parsed = parseRequestLine(row.typed);
        EXPECT_FALSE(parsed.message.has_value()) << row.typed;
        EXPECT_EQ(parsed.error, row.error) << row.typed;
    }
}

TEST(RequestLine, Signatures) {
    struct Row {
        CommandId id;
        std::string signature;
    };
    const Row rows[] = {
        {CommandId::scross, "int, int, int, int"},
        {CommandId::gcrossip, "int, text(31)"},
        {CommandId::sgain, "int, int, decimal, int, int"},
        {CommandId::sppmchn, "unsigned, int, unsigned"},
        {CommandId::scmd, "raw(2), raw(3), raw(5)"},
        {CommandId::sprog, "int [#line(255) at step 1]"},
        {CommandId::gsyncstat, ""},
        {CommandId::reserved17, ""},
        {CommandId::InvalidReply, ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(requestSignature(row.id), row.signature) << toIndex(row.id);
}

} // namespace
} // namespace velmar
