#pragma once

#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"
#include "engine/Questions.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CXyBurst;

// Port types of the two "Type" choosers: 0..7 are card slots 1..8.
inline constexpr int kPortTypeAes = 8;
inline constexpr int kPortTypePhd = 9;
inline constexpr int kPortTypeMadi = 10;
inline constexpr int kPortTypeSfp1 = 11;
inline constexpr int kPortTypeSfp2 = 12;
inline constexpr int kPortTypeIp = 13;

inline constexpr int kSideInput = 0;
inline constexpr int kSideOutput = 1;

// Only the first 1024 entries of a selection are routed.
inline constexpr int kMaxSelected = 1024;

struct TypeEntry {
    std::string text;
    int type = 0; // the entry's item data
    friend bool operator==(const TypeEntry&, const TypeEntry&) = default;
};

struct ChannelEntry {
    std::string text;
    int channel = 0; // the entry's item data; the left channel in Stereo
    friend bool operator==(const ChannelEntry&, const ChannelEntry&) = default;
};

// The type choosers and channel lists of one side, as the frame's ports and
// cards offer them. Pure functions of the state; the panel keeps the results.
std::vector<TypeEntry> typeListFor(const DeviceState& state, int side);
std::vector<ChannelEntry> channelListFor(const DeviceState& state, int side, int type, bool stereo);

// The crosspoint control panel (" Crosspoint control based on type "): two type
// choosers, two channel lists, Mono/Stereo and "&Connect"/"&Disconnect". The
// widgets show typeList()/channelList() and hand back row indices.
class CCrosspointPanel {
public:
    static constexpr std::string_view kTitle = "Crosspoint control";
    static constexpr std::string_view kDisconnectQuestion = "Disconnect";

    CCrosspointPanel(const DeviceState& state, IRequestSink& sink, IQuestions& questions,
                     const CXyBurst& burst)
        : m_state(state), m_sink(sink), m_questions(questions), m_burst(burst) {}

    // Refills both choosers, selects their first entry and fills both channel
    // lists with the AES channels (both empty for families 2 and 6).
    void rebuildTypeLists();
    // Refills one side's channel list for the type its chooser shows now.
    void fillChannelList(int side, int type);
    // A chooser's selection changed to row `row`.
    void selectType(int side, int row);
    // "Mono" or "Stereo": both lists are refilled.
    void setStereo(bool stereo);
    // After a flow change: refills that side's list when it shows the IP type.
    // True when it was refilled.
    bool refreshIpLists(int side);
    // Disconnect wipes the lists.
    void clear();

    bool stereo() const { return m_stereo; }
    int selectedType(int side) const { return m_sides[index(side)].type; }       // -1: none
    int selectedTypeRow(int side) const { return m_sides[index(side)].typeRow; } // -1: none
    const std::vector<TypeEntry>& typeList(int side) const { return m_sides[index(side)].types; }
    const std::vector<ChannelEntry>& channelList(int side) const {
        return m_sides[index(side)].channels;
    }

    // "&Connect": the selected rows of both channel lists, in list order. Returns
    // the number of "scross" requests sent.
    int connectSelected(std::span<const int> inputRows, std::span<const int> outputRows);
    // "&Disconnect": asks "Disconnect" with at least one output selected.
    int disconnectSelected(std::span<const int> outputRows);
    // Why the last button sent nothing, for the status bar; empty when it sent
    // or the operator said No.
    const std::string& notice() const { return m_notice; }

private:
    struct Side {
        std::vector<TypeEntry> types;
        int typeRow = -1;
        int type = -1;
        std::vector<ChannelEntry> channels;
    };
    static std::size_t index(int side) { return side == kSideOutput ? 1 : 0; }
    bool allowed() const;
    bool allowedOrSay(std::string_view button);
    // Channel numbers of the selected rows (at most 1024; unknown rows skipped).
    std::vector<int> selectedChannels(int side, std::span<const int> rows) const;

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    const CXyBurst& m_burst;
    bool m_stereo = false;
    std::array<Side, 2> m_sides{};
    std::string m_notice;
};

// Lets a list model announce a change before the rows change, as item views
// need it, so a reply moves one row without resetting the view's selection.
class IRowSignals {
public:
    virtual ~IRowSignals() = default;
    virtual void beginReset() = 0;
    virtual void endReset() = 0;
    virtual void beginRemove(int row) = 0;
    virtual void endRemove() = 0;
    virtual void beginAppend(int row) = 0; // the new row's index
    virtual void endAppend() = 0;
};

// Sort orders of the crosspoint list.
inline constexpr int kSortNone = -1;
inline constexpr int kSortByInput = 1;
inline constexpr int kSortByOutput = 2;

// The crosspoint status list (" Crosspoint status (mono channels) "): one row
// per connected output of the range the first column's title names. Rows are
// output numbers; a model serves their texts on demand.
class CCrosspointList {
public:
    static constexpr std::string_view kInputTitle = "INPUT";
    static constexpr std::string_view kOutputTitle = "OUTPUT";
    static constexpr std::string_view kTitle = "Crosspoint status";
    static constexpr std::string_view kDisconnectQuestion = "Disconnect selected";
    static constexpr int kRangeFilters = 15; // 0 all, 1..8 card slots, 9..14 ports

    // What a redraw did to the rows, so a model can signal just that.
    struct Change {
        bool reset = false;    // every row may have changed
        int removedRow = -1;   // this row was taken out (before the append)
        bool appended = false; // one row was added at the end
        friend bool operator==(const Change&, const Change&) = default;
    };

    CCrosspointList(const DeviceState& state, IRequestSink& sink, IQuestions& questions,
                    const CXyBurst& burst)
        : m_state(state), m_sink(sink), m_questions(questions), m_burst(burst) {}

    // The model that shows the rows; it hears of every change before and after.
    void setRowSignals(IRowSignals* observer) { m_signals = observer; }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int outputAt(int row) const; // 0 for a row out of range
    int inputAt(int row) const;  // the input the row shows
    // The row's texts: column 0 is empty, 1 the input's name, 2 the output's.
    std::string text(int row, int column) const;
    // Column titles: the range filter's for column 0, "INPUT", "OUTPUT".
    std::string_view headerTitle(int column) const;
    int rangeFilter() const { return m_rangeFilter; }
    int sortMode() const { return m_sortMode; }
    // True when `output` belongs to the range the list shows.
    bool inRange(int output) const;

    // All rows again (an "lcross" block ended the list, a header click).
    Change redrawAll(int mode);
    // One output's reply or notification.
    Change redrawOutput(int output, int mode = kSortByOutput);
    // Header clicks: column 0 advances the range filter, 1 sorts by input, 2 by output.
    Change headerClicked(int column);
    // Connect and disconnect empty the list; sort stays as it is, and so does
    // the filter unless another frame is connected (it starts with "ALL").
    void clear();
    // The filter and what it leaves out: "MADI: 64 of 1536" (rows shown of
    // all connected outputs).
    std::string summary() const;

    // The context menu is offered while connected with at least one row selected.
    bool menuAvailable(std::span<const int> selectedRows) const;
    // "Disconnect" of the context menu: asks, then clears the selected rows'
    // outputs, last selected first. Returns the number of requests sent.
    int disconnectSelectedRows(std::span<const int> selectedRows);

private:
    bool rangeExists(int filter) const;
    void toggleSort(int mode);

    const DeviceState& m_state;
    IRequestSink& m_sink;
    IQuestions& m_questions;
    const CXyBurst& m_burst;
    IRowSignals* m_signals = nullptr;
    int m_rangeFilter = 0;
    int m_sortMode = kSortNone;
    std::uint32_t m_filterFrame = 0; // the frame the filter was chosen on
    struct Row {
        int output = 0;
        int input = 0; // as it was when the row was drawn, like the text it shows
    };
    std::vector<Row> m_rows;
};

// The list context menu's commands.
inline constexpr int kCmdDisconnectSelected = 1500;
inline constexpr int kCmdSaveSelected = 1514;
inline constexpr std::string_view kMenuDisconnect = "Disconnect";
inline constexpr std::string_view kMenuSaveToFile = "Save to file...";

} // namespace velmar
