#pragma once

#include "engine/ChannelRange.h"
#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/Questions.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

inline constexpr int kLevelDetectorBlock = 128;

enum class DetectorSide : int { Input = 0, Output = 1 };

struct LevelDetector {
    DecimalValue level1;    // dB
    std::int32_t time1 = 0; // ms
    DecimalValue level2;
    std::int32_t time2 = 0;
    std::int32_t state = 0;  // non-zero: enabled
    std::int32_t status = 0; // as the frame reports it
    friend bool operator==(const LevelDetector&, const LevelDetector&) = default;
};

// The edit fields of one side: times in ms, levels as whole dB.
struct DetectorFields {
    std::int64_t time1 = 0;
    std::int64_t level1 = 0;
    std::int64_t time2 = 0;
    std::int64_t level2 = 0;
    bool enable = false;
    friend bool operator==(const DetectorFields&, const DetectorFields&) = default;
};

// The largest time each field takes: the input's first stage runs up to ten
// minutes, every other stage up to one.
std::int64_t maxTime(DetectorSide side, int stage);
// Why the fields cannot be applied ("Input time 1 must be 0 .. 600000 ms"), or empty.
std::string fieldsProblem(DetectorSide side, const DetectorFields& fields);

DeviceMessage thresholdRequest(DetectorSide side, int channel, const DetectorFields& fields);
DeviceMessage stateRequest(DetectorSide side, int channel, std::int32_t state);
// "glevdetthres" for every listed input, then output; "llevdetstate" blocks
// for inputs then outputs; "llevdetstatus" likewise.
std::vector<DeviceMessage> levelDetectorOpeningRequests(const ChannelRange& range);
// "llevdetstatus" in blocks of 128: inputs, then outputs.
std::vector<DeviceMessage> statusListRequests(const ChannelRange& range);

enum class DetectorMenuEntry {
    ClearSelectedIo,
    ClearSelectedInputs,
    ClearSelectedOutputs,
    Separator,
    GetStatus
};

struct DetectorMenuItem {
    DetectorMenuEntry entry;
    std::string_view text;
};

// The logic of `CLevDetDlg` ("Level detectors"): its copy of both sides'
// thresholds, enables and status, the rows it lists (all or only the active
// ones), the fields a row loads, and the buttons. Only what differs from the
// copy is sent; the copy changes when the frame answers.
class CLevelDetectors final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "Level detectors";
    static constexpr std::string_view kApplyAllQuestion = "Apply to all detectors";
    static constexpr std::string_view kClearAllQuestion = "Clear all detectors";
    static constexpr std::string_view kRequestsWhat = "level detector requests";
    // What the six numbers of an Input or Output cell are, in their order.
    static constexpr std::string_view kLegend =
        "Input and Output: time 1 (ms), level 1 (dB), time 2 (ms), level 2 (dB), "
        "enable (1 = on), status";
    // The widest cell a frame can report, for sizing the columns.
    static constexpr std::string_view kWidestCell = "600000, -32767.99, 60000, -32767.99, 1, 0";

    CLevelDetectors(const DeviceState& state, IQuestions& questions);

    const ChannelRange& range() const { return m_range; }
    const LevelDetector& detector(DetectorSide side, int channel) const;
    // "10, -20, 500, -6.50, 1, 0"
    std::string cellText(DetectorSide side, int channel) const;

    // The listed channels, in order; " Show active only" keeps those with an
    // enabled input or output detector.
    const std::vector<int>& rows() const { return m_rows; }
    std::vector<std::string> rowTexts(int row) const;
    void setShowActiveOnly(bool on);
    bool showActiveOnly() const { return m_activeOnly; }

    DetectorFields fieldsOf(DetectorSide side, int channel) const;

    // Requests for applying or clearing sides of `channels`, in the frame's
    // order: all thresholds (input before output per channel), then the states.
    std::vector<DeviceMessage> applyRequests(const std::vector<int>& channels,
                                             const DetectorFields* input,
                                             const DetectorFields* output) const;
    std::vector<DeviceMessage> clearRequests(const std::vector<int>& channels, bool input,
                                             bool output) const;

    // "Apply" of one side on the selected channels: checks the fields
    // (notice() says what is wrong) and gives back what to send.
    std::vector<DeviceMessage> applySide(DetectorSide side, const DetectorFields& fields,
                                         const std::vector<int>& selectedChannels);
    // "Apply all" / "Clear all": ask, then every listed channel.
    std::vector<DeviceMessage> applyAllPressed(const DetectorFields& input,
                                               const DetectorFields& output);
    std::vector<DeviceMessage> clearAllPressed();

    std::vector<DetectorMenuItem> menu(const std::vector<int>& selectedChannels) const;
    std::vector<DeviceMessage> choose(DetectorMenuEntry entry,
                                      const std::vector<int>& selectedChannels);
    // "Get status": single reads of the listed channels when filtered, else blocks.
    std::vector<DeviceMessage> statusRequests() const;

    const std::string& notice() const { return m_notice; }

    bool takeFullRefresh();
    std::vector<int> takeChangedChannels();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    void rebuildRows();
    LevelDetector* detectorAt(int side, int channel);
    void changed(int channel);

    IQuestions& m_questions;
    ChannelRange m_range;
    std::array<std::vector<LevelDetector>, 2> m_detectors; // [side][1..2048]
    std::vector<int> m_rows;
    bool m_activeOnly = false;
    bool m_full = true;
    std::vector<int> m_changed;
    std::string m_notice;
};

} // namespace velmar
