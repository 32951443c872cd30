#include "messages.h"

#include "test_support.h"

#include <cerrno>
#include <cstdint>

#include <gtest/gtest.h>

namespace {

// Every message is one line after the tool's prefix; a failure ends the run
// with status 1, the system's reason on a line of its own.
TEST(Messages, AMessageIsALineAfterThePrefixAndAFailureEndsTheRun) {
    test_support::resetStreamTable();
    EXPECT_EXIT((say({"Points 'a' and ", "'b'"}), std::exit(0)), ::testing::ExitedWithCode(0),
                "^QAVPROF: Points 'a' and 'b'\n$");
    EXPECT_EXIT(fail({"Two formats asked for, ", "-csv and -json", ": give one"}), ::testing::ExitedWithCode(1),
                "^QAVPROF: Two formats asked for, -csv and -json: give one\n$");
    EXPECT_EXIT(failWhy(ENOENT, {"Unable to open '", "x.prof", "'"}), ::testing::ExitedWithCode(1),
                "^QAVPROF: Unable to open 'x.prof'\n  \\(No such file or directory\\)\n$");
}

// Room is zeroed, a text cut to its room, and a count whose bytes overflow, or that no memory
// holds, ends the run with one message rather than a short block.
TEST(Messages, RoomIsZeroedOrTheRunEndsOutOfMemory) {
    test_support::resetStreamTable();
    std::uint64_t* const room = allocateArray<std::uint64_t>(1000);
    std::uint64_t sum = 0;
    for (int k = 0; k < 1000; ++k) sum |= room[k];
    EXPECT_EQ(sum, 0u);
    std::free(room);
    char* const text = allocatedText(8, "%s-%d", "abc", 12345);
    EXPECT_STREQ(text, "abc-123");
    std::free(text);
    EXPECT_EXIT(allocateArray<std::uint64_t>(SIZE_MAX / 4), ::testing::ExitedWithCode(1), "^QAVPROF: Out of memory\n$");
    EXPECT_EXIT(allocateZeroed(SIZE_MAX / 2, SIZE_MAX / 2), ::testing::ExitedWithCode(1),
                "^QAVPROF: Out of memory\n$");
}

}  // namespace
