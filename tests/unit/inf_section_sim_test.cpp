// The simulated file queue refuses what Windows cannot carry out, so that a
// section install that relied on it would fail here as it would there.
#include <ostream>
#include <string>

#include "inf_section_fixture.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel_test {
namespace {

using platform::DWORD;

struct CommitCase {
    const char* name;
    const char16_t* sourceRoot;  // given when the files are queued
    bool releaseContextFirst;    // commit with a context already released
    bool withoutContext;         // commit with no context at all
    DWORD error;                 // the commit's last error
};

const CommitCase kCommitCases[] = {
    {"no context", nullptr, false, true, platform::ERROR_INVALID_HANDLE},
    {"a released context", nullptr, true, false, platform::ERROR_INVALID_HANDLE},
    // The disk prompt offers neither skip nor browse: the user can only cancel.
    {"a source root the machine lacks", u"A:\\", false, false, platform::ERROR_CANCELLED},
};

void PrintTo(const CommitCase& c, std::ostream* out) { *out << c.name; }

class SimCommitTest : public InfSectionFixture, public ::testing::WithParamInterface<CommitCase> {};

TEST_P(SimCommitTest, FailsAndCopiesNothing)
{
    const CommitCase& c = GetParam();
    WithSections({{u"Tools", ToolSection()}});
    platform::unique_inf_file inf(platform::SetupOpenInfFileW(kDefaultInfPath.c_str(), nullptr, 0x2, nullptr));
    platform::unique_file_queue queue(platform::SetupOpenFileQueue());
    ASSERT_TRUE(
        platform::SetupInstallFilesFromInfSectionW(inf.get(), nullptr, queue.get(), u"Tools", c.sourceRoot, 0x8400));
    platform::unique_queue_callback_context context(platform::SetupInitDefaultQueueCallback(nullptr));
    void* given = c.withoutContext ? nullptr : context.get();
    if (c.releaseContextFirst) context.reset();

    EXPECT_FALSE(platform::SetupCommitFileQueueW(nullptr, queue.get(), platform::SetupDefaultQueueCallbackW, given));

    EXPECT_EQ(machine.lastError, c.error);
    EXPECT_FALSE(HasFile(kToolFile));
}

INSTANTIATE_TEST_SUITE_P(Refused, SimCommitTest, ::testing::ValuesIn(kCommitCases));

}  // namespace
}  // namespace ostrel_test
