#include "engine/LoadStatusLogic.h"

#include "engine/XyBurst.h"
#include "protocol/ChannelNames.h"

#include <algorithm>

namespace velmar {

CLoadStatusLogic::CLoadStatusLogic(std::string path, std::string_view fileText, int crosspointCount)
    : m_path(std::move(path)), m_count(std::clamp(crosspointCount, 0, kMaxCrosspoints)),
      m_content(parseCrosspointFile(fileText, crosspointCount)) {
    for (int output = 1; output <= m_count; ++output)
        if (m_content.table[static_cast<std::size_t>(output)] > 0)
            m_outputs.push_back(output);
}

std::string CLoadStatusLogic::windowTitle() const {
    return std::string(kTitle) + "  (" + m_path + ")";
}

std::string CLoadStatusLogic::leftOutText() const {
    std::string text = leftOutSummary(m_content.leftOut);
    if (!text.empty()) {
        text.front() = 'L';
        text += '.';
    }
    return text;
}

int CLoadStatusLogic::outputAt(int row) const {
    return row >= 0 && row < rowCount() ? m_outputs[static_cast<std::size_t>(row)] : 0;
}

int CLoadStatusLogic::inputAt(int row) const {
    return m_content.table[static_cast<std::size_t>(outputAt(row))];
}

std::string CLoadStatusLogic::text(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    return channelDisplayName(column == 0 ? inputAt(row) : outputAt(row));
}

int CLoadStatusLogic::confirm(const DeviceState& state, const CXyBurst& burst,
                              IRequestSink& sink) const {
    if (!state.connected || state.programming || burst.running() ||
        state.crosspointCount() != m_count)
        return 0;
    for (int output : m_outputs)
        sink.sendRequest(
            crosspointRequest(output, m_content.table[static_cast<std::size_t>(output)]));
    return rowCount();
}

} // namespace velmar
