#pragma once

#include <string_view>

namespace velmar {

// Code tables of the frame, as data.

struct CodeName {
    int code;
    std::string_view name;
};

struct CardTypeCode {
    std::string_view boardCode; // first six characters of the slot's board code
    int cardType;
};

inline constexpr int kCardTypeNone = 0;
inline constexpr int kCardTypeSdi = 1;
inline constexpr int kCardTypeAd = 2;
inline constexpr int kCardTypeDa = 3;
inline constexpr int kCardTypeAes = 4;
inline constexpr int kCardTypeMadi = 5;
inline constexpr int kCardTypeAd2 = 6;
inline constexpr int kCardTypeEq = 7;
inline constexpr int kCardTypeNoPorts = 8;

inline constexpr CodeName kSampleRates[] = {
    {1, "44.1 kHz"}, {2, "48 kHz"}, {3, "88.2 kHz"}, {4, "96 kHz"}, {5, "176.4 kHz"},
    {6, "192 kHz"},  {7, "DXD"},    {8, "384 kHz"},  {9, "DSD 64"}, {10, "DSD 128"},
};

inline constexpr CodeName kSyncSources[] = {
    {1, "Internal"}, {2, "Word"},   {3, "AES11"}, {4, "Video"},  {5, "AES 1"},  {6, "AES 2"},
    {7, "AES 3"},    {8, "AES 4"},  {9, "AES 5"}, {10, "AES 6"}, {11, "AES 7"}, {12, "AES 8"},
    {13, "PHD 1"},   {14, "PHD 2"}, {15, "Madi"}, {16, "SFP 1"}, {17, "SFP 2"}, {18, "IP"},
};

inline constexpr CardTypeCode kCardTypes[] = {
    {"460210", kCardTypeSdi}, {"460130", kCardTypeAd},      {"460230", kCardTypeDa},
    {"460240", kCardTypeAes}, {"460250", kCardTypeMadi},    {"460132", kCardTypeAd2},
    {"460610", kCardTypeEq},  {"460260", kCardTypeNoPorts},
};

inline constexpr std::string_view kUnknownCode = "Error";

// The name of a code, or "Error" for a code the table does not hold.
std::string_view sampleRateName(int code);
std::string_view syncSourceName(int code);
// The card type of a fitted slot from its board code; 0 for an unknown board.
int cardTypeFromBoardCode(std::string_view boardCode);

} // namespace velmar
