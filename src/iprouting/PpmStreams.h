#pragma once

#include "engine/DeviceState.h"
#include "engine/DialogRegistry.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

inline constexpr int kPpmStreamEntries = 32;
inline constexpr int kPpmSlots = 255;
inline constexpr int kPpmBankChannels = 2048; // a reply's channel; the extended bank adds this
inline constexpr int kPpmFirstChannelMax = 4096;

struct PpmStream {
    std::uint32_t id = 0; // 0: a free entry
    std::string address;
    int port = 0;
    int channels = 0;
    int rate = 0; // ms
    int phase = 0;
    int enable = 0;
    std::array<int, kPpmSlots + 1> slots{}; // [1..255], 0 none
};

// The settings of the dialog's quick "Create" and the channel fields beside it.
struct PpmQuickSettings {
    std::uint32_t nextId = 1;
    int nextPort = 10100;
    std::string address = "10.0.0.152";
    int channels = 64;
    int rate = 50;
    int phase = 0;
    int firstChannel = 1;
};

// "PPM stream settings": what a new stream is made with.
struct PpmCreateSettings {
    std::uint32_t id = 1;
    std::string address = "10.0.0.152";
    int port = 10100;
    int channels = 64;
    int rate = 50;
    bool phase = false;
};

struct PpmRow {
    std::uint32_t id = 0; // the row's item data
    std::string streamId, address, port, channels, time, phase, enable;
};

// The field of "PPM stream settings" a problem is about, so the form can focus it.
enum class PpmField { None, StreamId, Address, Port, Channels, Rate };

struct PpmProblem {
    PpmField field = PpmField::None;
    std::string text;
};

struct PpmOutcome {
    bool sent = false;
    std::string message; // for the operator when nothing was sent
    PpmField field = PpmField::None;
};

// Why a stream cannot be made with `s`, and which field says so, or nothing;
// the limits of "PPM stream settings".
std::optional<PpmProblem> ppmCreateProblem(const PpmCreateSettings& s);
// The "sppmcreate" request of a stream.
DeviceMessage ppmCreateRequest(const PpmCreateSettings& s);
// The request that puts `channel` (1..4096, 0 none) on `slot` of `stream`:
// channels above 2048 travel in the extended bank.
DeviceMessage ppmChannelRequest(std::uint32_t stream, int slot, int channel);

// "PPM streams" without widgets: the stream table and list filled from the
// frame's replies, the assignment list, and the requests of the buttons and
// the list's menu.
class CPpmLogic final : public IDialogSink {
public:
    static constexpr std::string_view kTitle = "PPM streams";
    static constexpr std::string_view kRemoveQuestion = "ARE YOU SURE";

    CPpmLogic(const DeviceState& state, IRequestSink& sink, IQuestions& questions);

    void opened() { refresh(); }
    const DeviceState& state() const { return m_state; }
    void refresh(); // empties the list and asks for the stream ids

    PpmQuickSettings& quick() { return m_quick; }
    const PpmQuickSettings& quick() const { return m_quick; }

    PpmOutcome create();
    // What "Create" will make next, for beside the button: "ID 1 to 10.0.0.152:10100".
    std::string createTarget() const;
    // "Create ..." confirmed: the quick settings take the dialog's values, then "Create".
    PpmOutcome createWith(const PpmCreateSettings& s);
    // The menu commands, on rows in list order; each handles the last row first.
    PpmOutcome removeSelected(const std::vector<int>& rows);
    PpmOutcome toggleEnable(const std::vector<int>& rows);
    PpmOutcome assignChannels(const std::vector<int>& rows);
    PpmOutcome deassignChannels(const std::vector<int>& rows);
    // Double click: shows `id` in the assignment list and asks for its slots.
    void showAssignment(std::uint32_t id);

    const std::vector<PpmRow>& rows() const { return m_rows; }
    const PpmStream* stream(std::uint32_t id) const;
    std::uint32_t assignmentStream() const { return m_assignmentStream; } // 0: list empty
    std::string assignmentText() const;                                   // "1,2,3"
    const std::string& notice() const { return m_notice; }
    bool takeChanged();

    void onDeviceMessage(const DeviceMessage& message, bool isReply,
                         const CResponseDecoder& decoder) override;

private:
    PpmStream* entry(std::uint32_t id);
    std::vector<std::uint32_t> streamsOf(const std::vector<int>& rows) const;
    void onInfo(const DeviceMessage& m, bool withEnable);
    void onEnable(std::uint32_t id, int enable);
    void onDelete(std::uint32_t id);
    void onChannel(std::uint32_t id, int slot, int channel);
    void rebuildRows();
    void refused(std::string_view what, std::int32_t status);

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    std::array<PpmStream, kPpmStreamEntries> m_table{};
    std::vector<std::uint32_t> m_order; // list order of the streams shown
    std::vector<PpmRow> m_rows;
    PpmQuickSettings m_quick;
    std::uint32_t m_assignmentStream = 0;
    std::string m_notice;
    bool m_changed = false;
};

} // namespace velmar
