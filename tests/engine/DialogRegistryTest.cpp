#include "engine/DialogRegistry.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace velmar {
namespace {

class CSink : public IDialogSink {
public:
    void onDeviceMessage(const DeviceMessage&, bool, const CResponseDecoder&) override {}
};

TEST(DialogRegistry, ASlotHoldsTheDialogOnlyWhileItRuns) {
    DialogRegistry dialogs;
    CSink sink;
    {
        const CScopedDialogSlot registered(dialogs.ppmStreams, &sink);
        EXPECT_EQ(dialogs.ppmStreams, &sink);
    }
    EXPECT_EQ(dialogs.ppmStreams, nullptr);

    // A dialog whose run ends by an exception leaves no slot behind either.
    EXPECT_THROW(
        {
            const CScopedDialogSlot registered(dialogs.levelDetectors, &sink);
            throw std::runtime_error("the dialog failed");
        },
        std::runtime_error);
    EXPECT_EQ(dialogs.levelDetectors, nullptr);
}

} // namespace
} // namespace velmar
