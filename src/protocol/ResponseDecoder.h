#pragma once

#include "protocol/ArgumentLayout.h"
#include "protocol/DeviceMessage.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace velmar {

struct DecodeResult {
    std::size_t consumed = 0; // bytes the caller drops from the front of its buffer
    bool delivered = false;   // the message holds a new line
};

// Finds the next complete line in received bytes and fills a DeviceMessage from
// it by the reply column of the command's layout. List replies deliver their
// items into the list tables below, which stay valid until the next list reply
// of the same kind. Decoding never allocates: tokens are views into the
// caller's bytes.
class CResponseDecoder {
public:
    static constexpr int kMaxArguments = 160;
    static constexpr std::size_t kMaxKeyword = 24;

    static constexpr int kCrosspointEntries = 128;
    static constexpr int kSyncPriorityEntries = 17;
    static constexpr int kInputStatusEntries = 14;
    static constexpr int kInputRateEntries = 14;
    static constexpr int kLabelEntries = 32;
    static constexpr int kLevelDetectorEntries = 128;
    static constexpr int kPpmIdEntries = 32;
    static constexpr int kDelayEntries = 128;

    struct InputStatusEntry {
        std::int32_t channel = 0;
        std::array<char, 4> text{}; // up to 3 characters, NUL-terminated
        std::string_view view() const;
    };
    struct LabelEntry {
        std::int32_t direction = 0;
        std::int32_t channel = 0;
        std::array<char, 17> text{}; // up to 16 characters, NUL-terminated
        std::string_view view() const;
    };

    // Which column of the layout table the arguments are read by. The program
    // reads everything by the reply column; the simulated frame reads the
    // program's requests by the request column.
    enum class Column { Reply, Request };

    DecodeResult decode(std::string_view bytes, DeviceMessage& message,
                        Column column = Column::Reply);

    std::span<const std::int32_t, kCrosspointEntries> crosspointList() const {
        return m_crosspoints;
    }
    std::span<const std::int32_t, kSyncPriorityEntries> syncPriorityList() const {
        return m_syncPriorities;
    }
    std::span<const InputStatusEntry, kInputStatusEntries> inputStatusList() const {
        return m_inputStatus;
    }
    std::span<const std::int32_t, kInputRateEntries> inputRateList() const { return m_inputRates; }
    std::span<const LabelEntry, kLabelEntries> labelList() const { return m_labels; }
    std::span<const std::int32_t, kLevelDetectorEntries> levelDetectorList() const {
        return m_levelDetectors;
    }
    std::span<const std::uint32_t, kPpmIdEntries> ppmIdList() const { return m_ppmIds; }
    std::span<const std::int32_t, kDelayEntries> delayList() const { return m_delays; }

    // Copy-out for the dispatch, given the count from the reply: the whole table
    // is copied, or nothing when the count is above the table's size.
    bool copyCrosspointList(std::int32_t count,
                            std::span<std::int32_t, kCrosspointEntries> out) const;
    bool copySyncPriorityList(std::int32_t count,
                              std::span<std::int32_t, kSyncPriorityEntries> out) const;
    bool copyInputStatusList(std::int32_t count,
                             std::span<InputStatusEntry, kInputStatusEntries> out) const;
    bool copyLabelList(std::int32_t count, std::span<LabelEntry, kLabelEntries> out) const;
    bool copyLevelDetectorList(std::int32_t count,
                               std::span<std::int32_t, kLevelDetectorEntries> out) const;
    bool copyPpmIdList(std::int32_t count, std::span<std::uint32_t, kPpmIdEntries> out) const;

private:
    bool tokenise(std::string_view content, char prefix);
    bool readArguments(DeviceMessage& m, Column column);
    bool readValue(DeviceMessage& m, const ArgSpec& arg, std::string_view token) const;
    bool readList(DeviceMessage& m, int fixedCount);
    void readTag(DeviceMessage& m) const;

    std::string_view m_keyword;
    std::string_view m_status;
    bool m_hasStatus = false;
    std::array<std::string_view, kMaxArguments> m_args{};
    int m_argCount = 0;

    std::array<std::int32_t, kCrosspointEntries> m_crosspoints{};
    std::array<std::int32_t, kSyncPriorityEntries> m_syncPriorities{};
    std::array<InputStatusEntry, kInputStatusEntries> m_inputStatus{};
    std::array<std::int32_t, kInputRateEntries> m_inputRates{};
    std::array<LabelEntry, kLabelEntries> m_labels{};
    std::array<std::int32_t, kLevelDetectorEntries> m_levelDetectors{};
    std::array<std::uint32_t, kPpmIdEntries> m_ppmIds{};
    std::array<std::int32_t, kDelayEntries> m_delays{};
};

// Which of the decoder's list tables a list reply fills.
enum class ListTable {
    Crosspoints,
    SyncPriorities,
    InputStatus,
    InputRates,
    Labels,
    LevelDetectors,
    Delays,
    PpmIds
};

// A list reply: where the item count sits among its fixed arguments (0: the
// items are counted, not announced), its limit, and the table it fills.
struct ListSpec {
    CommandId command;
    ListTable table;
    int countSlot;
    int limit;
};

// The list reply of a command, or null for a command without list items.
const ListSpec* listSpecOf(CommandId id);

// "ghwconf" carries more than the module number only for these modules.
bool hwConfCarriesRecord(std::int32_t module);

// Value readers shared with other parsers of frame text. Each accepts only a
// whole token in the exact form the frames write.
bool parseIntToken(std::string_view token, std::int32_t& out);       // "-"? 1..7 digits
bool parseUnsignedToken(std::string_view token, std::uint32_t& out); // 1..10 digits, <= 2^32-1
bool parseDecimalToken(std::string_view token,
                       DecimalValue& out); // "-"? 1..5 digits "." 1..2 digits

} // namespace velmar
