// The simulated file-queue commit talks to the program's own callback as
// Windows does: a missing disk and a failed copy are asked about, and the
// answer decides; an abort leaves the error the callback set.
#include <ostream>
#include <string>
#include <vector>

#include "inf_section_fixture.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel_test {
namespace {

using platform::DWORD;
using platform::FILEOP_ABORT;
using platform::FILEOP_SKIP;
using platform::SPFILENOTIFY_COPYERROR;
using platform::SPFILENOTIFY_ENDCOPY;
using platform::SPFILENOTIFY_ENDQUEUE;
using platform::SPFILENOTIFY_ENDSUBQUEUE;
using platform::SPFILENOTIFY_NEEDMEDIA;
using platform::SPFILENOTIFY_STARTCOPY;
using platform::SPFILENOTIFY_STARTQUEUE;
using platform::SPFILENOTIFY_STARTSUBQUEUE;
using platform::UINT;

const std::u16string kReadme = u"C:\\Tools\\bin\\readme.txt";

// The program's callback: answers a missing disk or a failed copy as told,
// setting its own error before it aborts, and lets everything else go on.
struct Answers {
    UINT toNeedMedia = FILEOP_ABORT;
    UINT toCopyError = FILEOP_ABORT;
    DWORD abortError = platform::ERROR_INSTALL_FAILURE;
    std::vector<UINT> heard;
    std::u16string mediaFile;
    DWORD copyError = 0;
};

UINT PLATFORM_API ProgramCallback(void* context, UINT notification, platform::UINT_PTR param1,
                                  platform::UINT_PTR /*param2*/)
{
    auto& answers = *static_cast<Answers*>(context);
    answers.heard.push_back(notification);
    UINT answer = 1;
    if (notification == SPFILENOTIFY_NEEDMEDIA) {
        // Asked before every copy; only a file that is not there is a question.
        const auto* media = reinterpret_cast<const platform::SOURCE_MEDIA_W*>(param1);
        const std::u16string source = std::u16string(media->SourcePath) + u"\\" + media->SourceFile;
        if (platform::GetFileAttributesW(source.c_str()) != platform::INVALID_FILE_ATTRIBUTES) return 1;
        answers.mediaFile = media->SourceFile;
        answer = answers.toNeedMedia;
    } else if (notification == SPFILENOTIFY_COPYERROR) {
        answers.copyError = reinterpret_cast<const platform::FILEPATHS_W*>(param1)->Win32Error;
        answer = answers.toCopyError;
    } else if (notification == SPFILENOTIFY_ENDCOPY || notification == SPFILENOTIFY_ENDQUEUE ||
               notification == SPFILENOTIFY_ENDSUBQUEUE) {
        return platform::ERROR_SUCCESS;
    }
    if (answer == FILEOP_ABORT) platform::SetLastError(answers.abortError);
    return answer;
}

struct CallbackCase {
    const char* name;
    bool sourceMissing;  // the tool's source is not on the disk
    bool copyFails;      // copying the tool fails with ERROR_ACCESS_DENIED
    UINT answer;         // to the one question asked
    bool committed;
    bool toolCopied;
};

const CallbackCase kCallbackCases[] = {
    {"disk missing, aborted", true, false, FILEOP_ABORT, false, false},
    {"disk missing, skipped", true, false, FILEOP_SKIP, true, false},
    {"copy failed, aborted", false, true, FILEOP_ABORT, false, false},
    {"copy failed, skipped", false, true, FILEOP_SKIP, true, false},
};

void PrintTo(const CallbackCase& c, std::ostream* out) { *out << c.name; }

class QueueCallbackTest : public InfSectionFixture {
protected:
    platform::BOOL Commit(const sim::InfSection& section, Answers& answers)
    {
        WithSections({{u"Tools", section}});
        platform::unique_inf_file inf(platform::SetupOpenInfFileW(kDefaultInfPath.c_str(), nullptr, 0x2, nullptr));
        platform::unique_file_queue queue(platform::SetupOpenFileQueue());
        EXPECT_TRUE(
            platform::SetupInstallFilesFromInfSectionW(inf.get(), nullptr, queue.get(), u"Tools", nullptr, 0x8400));
        return platform::SetupCommitFileQueueW(nullptr, queue.get(), ProgramCallback, &answers);
    }
};

class QueueAnswerTest : public QueueCallbackTest, public ::testing::WithParamInterface<CallbackCase> {};

TEST_P(QueueAnswerTest, TheAnswerDecidesAndAnAbortKeepsTheCallbacksError)
{
    const CallbackCase& c = GetParam();
    sim::InfSection tools = ToolSection();
    tools.files.push_back(kReadme);
    if (c.sourceMissing) tools.missingSources.insert(kToolFile);
    if (c.copyFails) tools.failingCopies[kToolFile] = platform::ERROR_ACCESS_DENIED;
    Answers answers;
    answers.toNeedMedia = answers.toCopyError = c.answer;

    EXPECT_EQ(Commit(tools, answers), c.committed ? platform::TRUE : platform::FALSE);

    if (!c.committed) {
        EXPECT_EQ(machine.lastError, platform::ERROR_INSTALL_FAILURE) << "the callback's, not the copy's";
    }
    if (c.sourceMissing) {
        EXPECT_EQ(sim::U8(answers.mediaFile), "tool.dll");
    }
    if (c.copyFails) {
        EXPECT_EQ(answers.copyError, platform::ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(HasFile(kToolFile), c.toolCopied);
    EXPECT_EQ(HasFile(kReadme), c.committed) << "the file after it";
    EXPECT_EQ(answers.heard.back(), SPFILENOTIFY_ENDQUEUE);
    EXPECT_TRUE(machine.infs.setupDialogs.empty()) << "the program's callback shows nothing";
}

INSTANTIATE_TEST_SUITE_P(EachAnswer, QueueAnswerTest, ::testing::ValuesIn(kCallbackCases));

TEST_F(QueueCallbackTest, AQueueWithNothingWrongHearsEachStageInWindowsOrder)
{
    Answers answers;
    ASSERT_TRUE(Commit(ToolSection(), answers));

    EXPECT_EQ(answers.heard, (std::vector<UINT>{SPFILENOTIFY_STARTQUEUE, SPFILENOTIFY_STARTSUBQUEUE,
                                                SPFILENOTIFY_NEEDMEDIA, SPFILENOTIFY_STARTCOPY, SPFILENOTIFY_ENDCOPY,
                                                SPFILENOTIFY_ENDSUBQUEUE, SPFILENOTIFY_ENDQUEUE}));
    EXPECT_TRUE(HasFile(kToolFile));
}

}  // namespace
}  // namespace ostrel_test
