// INF files, file queues, the queue callback and section installs, as
// "install inf" and the default installation make them: the files through a
// queue committed with the default callback (or, quiet, the program's own
// callback in front of it), then the section's other directives.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "contract.h"
#include "platform/sim/win32_constants.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

constexpr UINT kCopyFlags = SP_COPY_NOSKIP | SP_COPY_NOBROWSE;
constexpr UINT kSectionFlags = 0x1EF;  // every directive but the files, the INF file and device properties
constexpr char16_t kSourceRoot[] = u"A:\\";

// An INF file beside its sources, with the section Tools: two files copied
// into "out\bin" (which the copy makes), and a value in the case's
// registry key.
class Sections : public Case {
protected:
    InfSection Tools() const
    {
        return InfSection{u"Tools", {u"tool.dll", u"readme.txt"}, bin, {{world.RegistryKey(), u"Tools", u"1"}}};
    }

    // Writes the INF file with these sections, and the sources of their files
    // but those named in `missing`.
    void WithSections(const std::vector<InfSection>& sections, const std::vector<std::u16string>& missing = {})
    {
        world.MakeFolder(out);
        Inf inf;
        inf.sections = sections;
        for (const InfSection& section : sections)
            for (const std::u16string& file : section.files)
                if (std::find(missing.begin(), missing.end(), file) == missing.end())
                    world.WriteFile(world.PathIn(file), "source of " + U8(file));
        world.WriteInf(infPath, inf);
    }

    unique_inf_file Open() const
    {
        UINT errorLine = 0;
        return unique_inf_file(SetupOpenInfFileW(infPath.c_str(), nullptr, INF_STYLE_WIN4, &errorLine));
    }

    std::u16string Copied(const std::u16string& file) const { return bin + u"\\" + file; }

    const std::u16string infPath = world.PathIn(u"contract.inf");
    const std::u16string out = world.PathIn(u"out");
    const std::u16string bin = out + u"\\bin";
};

// --- Opening INF files -----------------------------------------------------

TEST_F(Sections, OpeningAnInfFile)
{
    WithSections({Tools()});
    world.WriteFile(world.PathIn(u"notes.txt"), "just some text\r\n");
    world.WriteFile(world.PathIn(u"empty.inf"), "");

    EXPECT_TRUE(Open()) << std::hex << TakeLastError();

    UINT errorLine = 0;
    EXPECT_EQ(SetupOpenInfFileW(world.PathIn(u"none.inf").c_str(), nullptr, INF_STYLE_WIN4, &errorLine),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeLastError(), ERROR_FILE_NOT_FOUND);
    // Whatever else is refused is reported with the error it left: one of its own.
    for (const char16_t* name : {u"notes.txt", u"empty.inf", u"out"}) {
        SCOPED_TRACE(U8(name));
        EXPECT_EQ(SetupOpenInfFileW(world.PathIn(name).c_str(), nullptr, INF_STYLE_WIN4, &errorLine),
                  INVALID_HANDLE_VALUE);
        EXPECT_NE(TakeLastError(), kSeed);
    }
}

// --- Queuing and committing a section's files --------------------------------

TEST_F(Sections, TheDefaultCallbackCopiesEveryFileOfTheSection)
{
    WithSections({Tools()});
    const unique_inf_file inf = Open();
    const unique_file_queue queue(SetupOpenFileQueue());
    ASSERT_TRUE(queue);
    ASSERT_TRUE(SetupInstallFilesFromInfSectionW(inf.get(), nullptr, queue.get(), u"Tools", nullptr, kCopyFlags));
    const unique_queue_callback_context context(SetupInitDefaultQueueCallback(nullptr));
    ASSERT_TRUE(context);

    EXPECT_TRUE(SetupCommitFileQueueW(nullptr, queue.get(), SetupDefaultQueueCallbackW, context.get()))
        << std::hex << TakeLastError();

    EXPECT_EQ(world.Contents(Copied(u"tool.dll")), "source of tool.dll");
    EXPECT_TRUE(world.Exists(Copied(u"readme.txt")));
    EXPECT_EQ(SetupPromptReboot(queue.get(), nullptr, TRUE), 0) << "nothing in use was replaced";
}

TEST_F(Sections, ASectionTheFileLacksCannotBeQueued)
{
    WithSections({Tools()});
    const unique_inf_file inf = Open();
    const unique_file_queue queue(SetupOpenFileQueue());

    const bool queued =
        SetupInstallFilesFromInfSectionW(inf.get(), nullptr, queue.get(), u"Missing", nullptr, kCopyFlags) != FALSE;

    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "a section the INF file lacks installs as an empty one", [&] {
        EXPECT_FALSE(queued);
        EXPECT_EQ(error, ERROR_SECTION_NOT_FOUND) << std::hex << error;
    });
}

// The program's quiet callback: a missing medium and a failed copy are
// refused with an error of the program's own, everything else goes to the
// default callback (with no progress window).
struct Heard {
    void* defaultContext = nullptr;
    UINT answerToMissingMedium = FILEOP_ABORT;
    UINT answerToCopyError = FILEOP_ABORT;
    std::vector<UINT> notifications;
    std::u16string missingFile;
    DWORD copyError = 0;
};

UINT PLATFORM_API QuietCallback(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    auto& heard = *static_cast<Heard*>(context);
    heard.notifications.push_back(notification);
    UINT answer = FILEOP_ABORT;
    if (notification == SPFILENOTIFY_NEEDMEDIA) {
        // Asked before the copies; only a file that is not there is a question.
        const auto* media = reinterpret_cast<const SOURCE_MEDIA_W*>(param1);
        const std::u16string source = std::u16string(media->SourcePath) + u"\\" + media->SourceFile;
        if (GetFileAttributesW(source.c_str()) != INVALID_FILE_ATTRIBUTES) return FILEOP_DOIT;
        heard.missingFile = media->SourceFile;
        answer = heard.answerToMissingMedium;
    } else if (notification == SPFILENOTIFY_COPYERROR) {
        heard.copyError = reinterpret_cast<const FILEPATHS_W*>(param1)->Win32Error;
        answer = heard.answerToCopyError;
    } else {
        return SetupDefaultQueueCallbackW(heard.defaultContext, notification, param1, param2);
    }
    if (answer == FILEOP_ABORT) SetLastError(ERROR_INSTALL_FAILURE);
    return answer;
}

class QuietCommit : public Sections {
protected:
    bool Commit(const char16_t* section)
    {
        inf = Open();
        queue.reset(SetupOpenFileQueue());
        EXPECT_TRUE(SetupInstallFilesFromInfSectionW(inf.get(), nullptr, queue.get(), section, nullptr, kCopyFlags));
        context.reset(SetupInitDefaultQueueCallbackEx(nullptr, INVALID_HANDLE_VALUE, 0, 0, nullptr));
        EXPECT_TRUE(context);
        heard.defaultContext = context.get();
        SetLastError(kSeed);
        const bool committed = SetupCommitFileQueueW(nullptr, queue.get(), QuietCallback, &heard) != FALSE;
        commitError = GetLastError();
        return committed;
    }

    unique_inf_file inf;
    unique_file_queue queue;
    unique_queue_callback_context context;
    Heard heard;
    DWORD commitError = 0;
};

TEST_F(QuietCommit, HearsEachStageInOrder)
{
    WithSections({InfSection{u"Tools", {u"tool.dll"}, bin, {}}});

    ASSERT_TRUE(Commit(u"Tools")) << std::hex << commitError;

    EXPECT_EQ(heard.notifications,
              (std::vector<UINT>{SPFILENOTIFY_STARTQUEUE, SPFILENOTIFY_STARTSUBQUEUE, SPFILENOTIFY_NEEDMEDIA,
                                 SPFILENOTIFY_STARTCOPY, SPFILENOTIFY_ENDCOPY, SPFILENOTIFY_ENDSUBQUEUE,
                                 SPFILENOTIFY_ENDQUEUE}));
    EXPECT_TRUE(world.Exists(Copied(u"tool.dll")));
}

struct AnswerCase {
    const char* name;
    bool sourceMissing;  // tool.dll's source is not beside the INF file
    bool copyFails;      // a folder stands where tool.dll would go
    UINT answer;         // to the one question asked
    bool committed;
};

const AnswerCase kAnswerCases[] = {
    {"missing_source_refused", true, false, FILEOP_ABORT, false},
    {"missing_source_skipped", true, false, FILEOP_SKIP, true},
    {"failed_copy_refused", false, true, FILEOP_ABORT, false},
    {"failed_copy_skipped", false, true, FILEOP_SKIP, true},
};

class QuietAnswer : public QuietCommit, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(QuietAnswer, DecidesAndARefusalKeepsTheCallbacksError)
{
    const AnswerCase& c = GetParam();
    WithSections({Tools()}, c.sourceMissing ? std::vector<std::u16string>{u"tool.dll"} : std::vector<std::u16string>{});
    if (c.copyFails) {
        world.MakeFolder(bin);
        world.MakeFolder(Copied(u"tool.dll"));
    }
    heard.answerToMissingMedium = heard.answerToCopyError = c.answer;

    EXPECT_EQ(Commit(u"Tools"), c.committed);

    if (!c.committed) {
        EXPECT_EQ(commitError, ERROR_INSTALL_FAILURE) << "the callback's, not the copy's";
    }
    if (c.sourceMissing) {
        EXPECT_EQ(U8(heard.missingFile), "tool.dll");
        EXPECT_FALSE(world.Exists(Copied(u"tool.dll")));
    }
    if (c.copyFails) {
        EXPECT_EQ(heard.copyError, ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(world.Exists(Copied(u"readme.txt")), c.committed) << "the file after it";
    ASSERT_FALSE(heard.notifications.empty());
    EXPECT_EQ(heard.notifications.back(), SPFILENOTIFY_ENDQUEUE);
}

INSTANTIATE_TEST_SUITE_P(Answers, QuietAnswer, ::testing::ValuesIn(kAnswerCases), CaseName());

// --- The rest of the section ------------------------------------------------

TEST_F(Sections, TheSectionsOtherDirectivesAreCarriedOut)
{
    WithSections({Tools()});
    const unique_inf_file inf = Open();

    // Section names are as the user typed them: any letter case.
    EXPECT_TRUE(SetupInstallFromInfSectionW(nullptr, inf.get(), u"TOOLS", kSectionFlags, nullptr, kSourceRoot, 0,
                                            nullptr, nullptr, nullptr, nullptr))
        << std::hex << TakeLastError();

    EXPECT_EQ(world.Registry(Tools().values[0]), std::optional<std::u16string>(u"1"));
    EXPECT_FALSE(world.Exists(Copied(u"tool.dll"))) << "the files are the queue's";
}

TEST_F(Sections, ASectionTheFileLacksCannotBeInstalled)
{
    WithSections({Tools()});
    const unique_inf_file inf = Open();

    const bool installed = SetupInstallFromInfSectionW(nullptr, inf.get(), u"Missing", kSectionFlags, nullptr,
                                                       kSourceRoot, 0, nullptr, nullptr, nullptr, nullptr) != FALSE;

    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "a section the INF file lacks installs as an empty one", [&] {
        EXPECT_FALSE(installed);
        EXPECT_EQ(error, ERROR_SECTION_NOT_FOUND) << std::hex << error;
    });
}

// --- The default installation: its section for this machine, its services --

struct DecorationCase {
    const char* name;
    std::vector<std::u16string> sections;
    bool decorated;  // the answer is DefaultInstall with this build's decoration
    const char* plainAnswer;
};

// The decoration the running program takes: x86 or x64.
std::u16string ThisDecoration() { return sizeof(void*) == 8 ? u".NTamd64" : u".NTx86"; }

const DecorationCase kDecorationCases[] = {
    {"for_this_architecture",
     {u"DefaultInstall", u"DefaultInstall.NT", u"DefaultInstall" + ThisDecoration()},
     true,
     nullptr},
    {"for_every_nt", {u"DefaultInstall", u"DefaultInstall.NT"}, false, "DefaultInstall.NT"},
    {"undecorated", {u"DefaultInstall"}, false, "DefaultInstall"},
};

class ActualSection : public Sections, public ::testing::WithParamInterface<DecorationCase> {};

TEST_P(ActualSection, IsTheMostParticularDecorationTheFileHas)
{
    std::vector<InfSection> sections;
    for (const std::u16string& name : GetParam().sections) sections.push_back(InfSection{name, {}, out, {}});
    WithSections(sections);
    const unique_inf_file inf = Open();
    char16_t actual[256] = {};

    ASSERT_TRUE(SetupDiGetActualSectionToInstallW(inf.get(), u"DefaultInstall", actual, 256, nullptr, nullptr))
        << std::hex << TakeLastError();

    EXPECT_EQ(U8(actual), GetParam().decorated ? U8(u"DefaultInstall" + ThisDecoration()) : GetParam().plainAnswer);
}

INSTANTIATE_TEST_SUITE_P(Decorations, ActualSection, ::testing::ValuesIn(kDecorationCases), CaseName());

TEST_F(Sections, AMissingServicesSectionIsToldApart)
{
    WithSections({InfSection{u"DefaultInstall", {}, out, {}}});
    const unique_inf_file inf = Open();

    EXPECT_FALSE(SetupInstallServicesFromInfSectionW(inf.get(), u"DefaultInstall.Services", 0));
    EXPECT_EQ(TakeLastError(), ERROR_SECTION_NOT_FOUND);
}

// --- The shell's "install" verb: the default installation of a person's run --

// Windows carries the section out after the call has returned.
TEST_F(Case, TheShellInstallsAnInfFilesDefaultSectionAndRefusesWhatItCannot)
{
    const std::u16string inf = world.PathIn(u"default.inf");
    const RegistryValue done{world.RegistryKey(), u"DefaultInstall", u"done"};
    world.WriteInf(inf, Inf{std::nullopt, std::nullopt, {InfSection{u"DefaultInstall", {}, u"", {done}}}, {}});
    world.WriteFile(world.PathIn(u"notes.txt"), "just some text\r\n");
    const auto install = [](const std::u16string& file) {
        return reinterpret_cast<std::intptr_t>(
            ShellExecuteW(nullptr, u"install", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    };

    EXPECT_GT(install(inf), 32);
    EXPECT_TRUE(world.WaitForRegistry(done));
    EXPECT_EQ(install(world.PathIn(u"none.inf")), 2) << "SE_ERR_FNF";
    EXPECT_EQ(install(world.PathIn(u"notes.txt")), 31) << "SE_ERR_NOASSOC: no install verb for the file";
}

}  // namespace
}  // namespace contract
