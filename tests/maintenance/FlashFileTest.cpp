#include "maintenance/FlashFile.h"

#include "engine/DeviceState.h"

#include <gtest/gtest.h>
#include <map>

namespace velmar {
namespace {

TEST(FlashFile, HeaderNamesTypeAndRelease) {
    const FlashHeader h = parseFlashHeader(";Type:450,Release:2.1");
    EXPECT_EQ(h.type, "450");
    EXPECT_EQ(h.release, "2.1");
    // Without a comma, or without a colon, no type is found.
    EXPECT_EQ(parseFlashHeader(";Type:460").type, "");
    EXPECT_EQ(parseFlashHeader("S00600004844521B").type, "");
    // A release part without its colon leaves the release empty.
    const FlashHeader bare = parseFlashHeader(";Type:460,2.1");
    EXPECT_EQ(bare.type, "460");
    EXPECT_EQ(bare.release, "");
}

TEST(FlashFile, TypeFitsFamily) {
    EXPECT_EQ(flashFitsFamily("450", kFamily450), true);
    EXPECT_EQ(flashFitsFamily("450", kFamily460), false);
    EXPECT_EQ(flashFitsFamily("460", kFamily465), true);
    EXPECT_EQ(flashFitsFamily("460", kFamily450), false);
    // Compared exactly: anything else cannot be verified.
    EXPECT_EQ(flashFitsFamily("460 ", kFamily460), std::nullopt);
    EXPECT_EQ(flashFitsFamily("", kFamily460), std::nullopt);
}

TEST(FlashFile, CountsNonEmptyRecordLinesOfEitherLineEnd) {
    const FlashFile f = parseFlashFile(";Type:460,Release:3\r\nS1AA\r\n\r\nS2BB\nxyz\nS9CC");
    EXPECT_EQ(f.recordCount, 3);
    CFlashLineReader reader(f.text);
    std::vector<std::string_view> lines;
    while (const auto line = reader.next())
        lines.push_back(*line);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "S1AA"); // no CR left behind
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[5], "S9CC"); // the last line needs no line end
    EXPECT_EQ(reader.lineNumber(), 6u);
    EXPECT_EQ(f.header.type, "460");
    // The transfer ends at "xyz", so the record behind it would never be sent.
    EXPECT_EQ(f.refusal,
              "Line 5 is no record but stands before the record in line 6, which would never be "
              "sent");
    EXPECT_TRUE(parseFlashFile(";Type:460,Release:3\r\nS1AA\r\n\r\nS2BB\nxyz\n").refusal.empty());
}

TEST(FlashFile, ALineBeginningWithSMustBeAnSRecord) {
    for (const char* record : {"S1AB", "S9", "S31234abcdEF"})
        EXPECT_TRUE(parseFlashFile(std::string(record) + "\n").refusal.empty()) << record;
    for (const char* text : {"Some text", "S", "S1 AB", "Sx12", "S1G0"})
        EXPECT_NE(parseFlashFile(std::string(text) + "\n").refusal.find("is no S-record"),
                  std::string::npos)
            << text;
}

TEST(FlashFile, RefusesRecordsARequestCannotCarry) {
    const std::string longest = "S1" + std::string(kMaxRecordLength - 2, 'F');
    EXPECT_TRUE(parseFlashFile(longest + "\n").refusal.empty());

    const FlashFile tooLong = parseFlashFile("S1\nS2\n" + longest + "0\nS3\n");
    EXPECT_EQ(tooLong.refusal, "Line 3 is longer than 255 characters and cannot be sent");
    EXPECT_EQ(tooLong.recordCount, 4);

    const FlashFile control = parseFlashFile(std::string("S1\nS2\tAB\n"));
    EXPECT_EQ(control.refusal, "Line 2 holds characters that cannot be sent");
    // Long lines that are not records are never sent, so they are no reason.
    EXPECT_TRUE(parseFlashFile(std::string(400, ';') + "\nS1\n").refusal.empty());
}

TEST(FlashFile, DisplayNameCarriesTheRelease) {
    EXPECT_EQ(flashDisplayName("C:\\images\\a.flash", "2.1"), "a.flash  (release: 2.1)");
    EXPECT_EQ(flashDisplayName("/home/u/b.flash", ""), "b.flash");
}

// ---- joining ----------------------------------------------------------------

TEST(FlashJoin, ProposedNamesKeepTheLimit) {
    EXPECT_EQ(flashJoinFileName(FlashJoinType::Frame, ""), "zarvo_460_all");
    EXPECT_EQ(flashJoinFileName(FlashJoinType::Panel, "2.1"), "dorn_450_2.1_all");
    const std::string longName = flashJoinFileName(FlashJoinType::Frame, std::string(40, '9'));
    EXPECT_EQ(longName.size(), kMaxJoinNameLength);
    EXPECT_TRUE(longName.ends_with("9_all"));
    EXPECT_TRUE(longName.starts_with("zarvo_460_9"));
}

std::map<std::string, std::string, std::less<>> componentsOf(FlashJoinType type) {
    std::map<std::string, std::string, std::less<>> files;
    int n = 0;
    for (const FlashComponent& c : flashComponents(type)) {
        ++n;
        files[std::string(c.fileName)] =
            "junk line\r\nS1" + std::to_string(n) + "A\r\n\r\nS9" + std::to_string(n) + "Z\r\n";
    }
    return files;
}

TEST(FlashJoin, PanelImagesJoinInOrderDroppingTheMarkedLastRecord) {
    const auto files = componentsOf(FlashJoinType::Panel);
    const FlashJoinResult r =
        joinFlashComponents(FlashJoinType::Panel, "2.1", [&](std::string_view name) {
            return std::optional<std::string>(files.find(name)->second);
        });
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.text, ";Type:450,Release:2.1\nS11A\nS91Z\nS12A\nS13A\nS93Z\n");
}

TEST(FlashJoin, FrameImagesWithoutReleaseHaveNoHeader) {
    const auto files = componentsOf(FlashJoinType::Frame);
    std::vector<std::string> asked;
    const FlashJoinResult r =
        joinFlashComponents(FlashJoinType::Frame, "", [&](std::string_view n) {
            asked.emplace_back(n);
            return std::optional<std::string>(files.find(n)->second);
        });
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(asked.size(), 12u);
    EXPECT_EQ(asked[1], "Nios460core_ext_flash.flash");
    EXPECT_EQ(asked[11], "DspFpgaCard_ext_flash.flash");
    EXPECT_TRUE(r.text.starts_with("S11A\nS91Z\nS12A\nS13A\nS93Z\nS14A\n"));
    EXPECT_EQ(parseFlashFile(r.text).recordCount, 23); // 12 images of 2, one record dropped
}

TEST(FlashJoin, MissingComponentSpoilsTheResult) {
    const auto files = componentsOf(FlashJoinType::Frame);
    const FlashJoinResult r = joinFlashComponents(
        FlashJoinType::Frame, "1", [&](std::string_view n) -> std::optional<std::string> {
            if (n == "MadiFpga_ext_flash.flash")
                return std::nullopt;
            return files.find(n)->second;
        });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.missing, "MadiFpga_ext_flash.flash");
    EXPECT_TRUE(r.text.empty());
}

TEST(FlashJoin, AReleaseWithControlCharactersNeverReachesTheHeader) {
    for (const char* fine : {"2.1", "2.1 beta", "\u00dcbung"})
        EXPECT_EQ(flashReleaseProblem(fine), std::nullopt) << fine;
    for (const char* bad : {"2.1\x1b[31m", "1\nS1BAD", "1\r", "\x7f", "r\xc2\x9b", "\xff"})
        EXPECT_NE(flashReleaseProblem(bad), std::nullopt) << bad;
    int reads = 0;
    const FlashJoinResult r =
        joinFlashComponents(FlashJoinType::Frame, "2.1\x1b]0;x\x07", [&](std::string_view) {
            ++reads;
            return std::optional<std::string>("S1A\n");
        });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.problem, "the release holds a control character");
    EXPECT_TRUE(r.text.empty());
    EXPECT_EQ(reads, 0);
}

} // namespace
} // namespace velmar
