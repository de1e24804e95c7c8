#pragma once

#include "engine/CrosspointFile.h"
#include "engine/DeviceState.h"
#include "engine/EngineInterfaces.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmar {

class CXyBurst;

// The logic of `CLoadStDlg` ("Load crosspoint status"): reads a crosspoint
// file into its load table, lists what it would set and, on "OK", sends it.
// The shell reads the file; an unreadable file is handed in as empty text. Bytes
// that are no crosspoint file at all (NUL bytes) give an empty table and a
// refusal that the shell shows instead of the dialog.
class CLoadStatusLogic {
public:
    static constexpr std::string_view kTitle = "Load crosspoint status";
    static constexpr std::string_view kGroupTitle = " Matrix status (mono channels) ";
    static constexpr std::string_view kInputTitle = "INPUT";
    static constexpr std::string_view kOutputTitle = "OUTPUT";

    CLoadStatusLogic(std::string path, std::string_view fileText, int crosspointCount);

    // "Load crosspoint status  (" + path + ")".
    std::string windowTitle() const;

    // One row per output with an input above 0, in output order.
    int rowCount() const { return static_cast<int>(m_outputs.size()); }
    int outputAt(int row) const;
    int inputAt(int row) const;
    // Column 0 the input's name, column 1 the output's.
    std::string text(int row, int column) const;

    // "OK": every shown entry is sent, in output order, whatever rows the
    // operator selected. Nothing goes out when the frame is no longer the one
    // the table was read for (link gone, firmware transfer, another count).
    // Returns the number of requests sent.
    int confirm(const DeviceState& state, const CXyBurst& burst, IRequestSink& sink) const;

    const CrosspointLoadTable& table() const { return m_content.table; }
    const XptLeftOut& leftOut() const { return m_content.leftOut; }
    // Why the file is not a crosspoint file, or empty.
    const std::string& refusal() const { return m_content.refusal; }
    // The dialog's note on the lines it did not take: "Left out 3 lines: 2 for
    // channels this frame does not have, 1 unreadable."; empty when none.
    std::string leftOutText() const;

private:
    std::string m_path;
    int m_count;
    CrosspointFileContent m_content;
    std::vector<int> m_outputs;
};

} // namespace velmar
