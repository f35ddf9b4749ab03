// The simulated machine holds the program to the buffer sizes it gives, so
// that a wrong size fails a test run instead of passing by luck.
#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace {

TEST(CallerBufferDeathTest, ASizeLargerThanTheBufferIsCaughtEvenWhenWhatIsCopiedFits)
{
#ifndef OSTREL_SIM_CHECKS_REGIONS
    GTEST_SKIP() << "only AddressSanitizer knows how large the buffer really is";
#endif
    EXPECT_DEATH(
        {
            sim::Machine machine;
            machine.modulePath = u"C:\\a.exe";
            std::vector<char16_t> path(16);
            platform::GetModuleFileNameW(nullptr, path.data(), 260);
        },
        "GetModuleFileNameW: the caller's buffer is smaller than the size it gave");
}

TEST(CallerBufferDeathTest, ATextWithoutRoomForItsTerminatorIsNotCopied)
{
    std::vector<char16_t> buffer(4);
    EXPECT_DEATH(sim::CopyTextToCaller("Test", buffer.data(), buffer.size(), u"four", 4),
                 "Test: the text and its terminator would run past the caller's buffer");
}

}  // namespace
