// The list keys of the channel dialogs: a page is kPageRows rows in either
// direction, and every key stops at the first and the last row.
#include "engine/ChannelRange.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(ListKeys, EachKeyMovesItsDistanceAndStopsAtTheEnds) {
    constexpr int kRows = 100;
    constexpr int kLast = kRows - 1;
    const struct {
        int from;
        ListKey key;
        int to;
    } cases[] = {
        {0, ListKey::Down, 1},
        {kLast, ListKey::Down, kLast},
        {1, ListKey::Up, 0},
        {0, ListKey::Up, 0},
        {0, ListKey::PageDown, kPageRows},
        {10, ListKey::PageDown, 10 + kPageRows},
        {kLast - kPageRows, ListKey::PageDown, kLast},
        {kLast - kPageRows + 1, ListKey::PageDown, kLast},
        {kLast, ListKey::PageUp, kLast - kPageRows},
        {kPageRows, ListKey::PageUp, 0},
        {kPageRows - 1, ListKey::PageUp, 0},
        {50, ListKey::Home, 0},
        {50, ListKey::End, kLast},
        {-5, ListKey::Down, 1}, // a stale row is first brought into the list
        {kRows + 5, ListKey::Up, kLast - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyMovedRow(c.from, c.key, kRows), c.to)
            << "from " << c.from << " key " << static_cast<int>(c.key);
    EXPECT_EQ(keyMovedRow(0, ListKey::Down, 0), -1);
    EXPECT_EQ(keyMovedRow(0, ListKey::PageDown, 1), 0);
}

} // namespace
} // namespace velmar
