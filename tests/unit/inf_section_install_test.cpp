// "install inf": a section's files through a file queue, the rest of the
// section, the restart scan, and what still happens after each failure.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "inf/inf.h"
#include "inf_section_fixture.h"
#include "platform/platform.h"

namespace ostrel_test {
namespace {

using platform::BOOL;
using platform::DWORD;

const std::string kOpen = "SetupOpenInfFileW";
const std::string kOpenQueue = "SetupOpenFileQueue";
const std::string kQueueFiles = "SetupInstallFilesFromInfSectionW";
const std::string kInitContext = "SetupInitDefaultQueueCallback";
const std::string kCommit = "SetupCommitFileQueueW";
const std::string kInstallRest = "SetupInstallFromInfSectionW";
const std::string kTermContext = "SetupTermDefaultQueueCallback";
const std::string kScan = "SetupPromptReboot";
const std::string kCloseQueue = "SetupCloseFileQueue";
const std::string kCloseInf = "SetupCloseInfFile";
const std::string kBox = "MessageBoxW";

class InstallInfTest : public InfSectionFixture {};

TEST_F(InstallInfTest, InstallsTheSectionWithTheValuesWindowsExpects)
{
    WithSections({{u"Tools", ToolSection()}});

    EXPECT_EQ(Run("install inf tools"), 0);

    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_TRUE(HasFile(kToolFile));
    EXPECT_EQ(Registry(kToolValue), "1");
    const std::vector<std::string> expected = {
        R"(SetupOpenInfFileW(C:\Tools\OstrelSetup.inf, (null), 0x2))",
        "SetupOpenFileQueue()",
        R"(SetupInstallFilesFromInfSectionW(inf:C:\Tools\OstrelSetup.inf, (null), queue, tools, (null), 0x8400))",
        "SetupInitDefaultQueueCallback((null))",
        "SetupCommitFileQueueW((null), queue, SetupDefaultQueueCallbackW, callback-context)",
        R"(SetupInstallFromInfSectionW((null), inf:C:\Tools\OstrelSetup.inf, tools, 0x1EF, (null), A:\, 0x0, )"
        "(null), (null), (null), (null))",
        "SetupTermDefaultQueueCallback(callback-context)",
        "SetupPromptReboot(queue, (null), 1)",
        "SetupCloseFileQueue(queue)",
        R"(SetupCloseInfFile(inf:C:\Tools\OstrelSetup.inf))",
    };
    EXPECT_EQ(CallsTo({kOpen, kOpenQueue, kQueueFiles, kInitContext, kCommit, kInstallRest, kTermContext, kScan,
                       kCloseQueue, kCloseInf}),
              expected);
    EXPECT_EQ(OpenInfObjects(), 0u);
}

// The first of two sections fails at one step; the second is never tried.
struct StepFailure {
    const char* step;
    void (*arrange)(sim::Machine&, sim::InfSection& failing);
    std::string message;
    DWORD error;
    std::vector<std::string> steps;
};

const StepFailure kStepFailures[] = {
    {"open the INF file",
     [](sim::Machine& m, sim::InfSection&) { m.FailCall(sim::Fault::Nth(kOpen, 1)); },
     kOpenInfFailed,
     platform::ERROR_ACCESS_DENIED,
     {kOpen, kBox}},
    {"open the queue",
     [](sim::Machine& m, sim::InfSection&) {
         m.FailCall(sim::Fault::Nth(kOpenQueue, 1, platform::ERROR_NOT_ENOUGH_MEMORY));
     },
     kOpenQueueFailed,
     platform::ERROR_NOT_ENOUGH_MEMORY,
     {kOpen, kOpenQueue, kBox, kCloseInf}},
    {"queue the files",
     [](sim::Machine&, sim::InfSection& s) { s.queueError = platform::ERROR_FILE_NOT_FOUND; },
     kQueueFilesFailed,
     platform::ERROR_FILE_NOT_FOUND,
     {kOpen, kOpenQueue, kQueueFiles, kBox, kScan, kCloseQueue, kCloseInf}},
    {"commit the queue",
     [](sim::Machine&, sim::InfSection& s) { s.copyError = platform::ERROR_ACCESS_DENIED; },
     kCommitFailed,
     platform::ERROR_ACCESS_DENIED,
     {kOpen, kOpenQueue, kQueueFiles, kInitContext, kCommit, kBox, kTermContext, kScan, kCloseQueue, kCloseInf}},
    {"install the rest",
     [](sim::Machine&, sim::InfSection& s) { s.installError = platform::ERROR_PATH_NOT_FOUND; },
     kInstallSectionFailed,
     platform::ERROR_PATH_NOT_FOUND,
     {kOpen, kOpenQueue, kQueueFiles, kInitContext, kCommit, kInstallRest, kBox, kTermContext, kScan, kCloseQueue,
      kCloseInf}},
    // No context, no commit: nothing was created, so nothing is released.
    {"create the callback context",
     [](sim::Machine& m, sim::InfSection&) {
         m.FailCall(sim::Fault::Nth(kInitContext, 1, platform::ERROR_NOT_ENOUGH_MEMORY));
     },
     kCommitFailed,
     platform::ERROR_NOT_ENOUGH_MEMORY,
     {kOpen, kOpenQueue, kQueueFiles, kInitContext, kBox, kScan, kCloseQueue, kCloseInf}},
};

void PrintTo(const StepFailure& failure, std::ostream* out) { *out << failure.step; }

class StepFailureTest : public InfSectionFixture, public ::testing::WithParamInterface<StepFailure> {};

TEST_P(StepFailureTest, IsReportedAtOnceAndOnlyWhatExistsIsReleasedInReverse)
{
    const StepFailure& failure = GetParam();
    sim::InfSection tools = ToolSection();
    failure.arrange(machine, tools);
    WithSections({{u"Tools", tools}, {u"Help", HelpSection()}});

    EXPECT_EQ(Run("install inf Tools Help"), 0);

    EXPECT_EQ(Boxes(), std::vector<Box>{Report(failure.message, failure.error)});
    EXPECT_EQ(Steps(), failure.steps);
    EXPECT_EQ(OpenInfObjects(), 0u);
    EXPECT_EQ(Registry(kToolValue), "(none)");
    EXPECT_EQ(machine.CallCount(kOpen), 1u) << "the walk stops at the failing section";
    EXPECT_FALSE(HasFile(kHelpFile));
}

INSTANTIATE_TEST_SUITE_P(EachStep, StepFailureTest, ::testing::ValuesIn(kStepFailures));

TEST_F(InstallInfTest, WithoutACallbackContextTheFilesAreNeitherCommittedNorCopied)
{
    WithSections({{u"Tools", ToolSection()}});
    machine.FailCall(sim::Fault::Every(kInitContext, platform::ERROR_NOT_ENOUGH_MEMORY));

    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::InstallInfSection(run, u"Tools")), 0);

    EXPECT_EQ(machine.CallCount(kCommit), 0u);
    EXPECT_EQ(machine.CallCount(kTermContext), 0u);
    EXPECT_EQ(machine.CallCount(kInstallRest), 0u);
    EXPECT_FALSE(HasFile(kToolFile));
    EXPECT_EQ(RestartNeeded(), platform::FALSE);
}

// The restart flag after one section, from what the scan answers.
struct ScanCase {
    const char* name;
    int restartFlags;  // what the commit leaves on the queue
    bool scanFails;    // the scan answers -1 instead
    DWORD queueError;
    DWORD copyError;
    DWORD installError;
    BOOL before;
    BOOL after;
    int result;
};

constexpr DWORD kNone = platform::ERROR_SUCCESS;
constexpr DWORD kDenied = platform::ERROR_ACCESS_DENIED;

const ScanCase kScanCases[] = {
    {"nothing in use", 0, false, kNone, kNone, kNone, platform::FALSE, platform::FALSE, 1},
    {"a file in use, no restart recommended", 0x1, false, kNone, kNone, kNone, platform::FALSE, platform::FALSE, 1},
    {"restart recommended", 0x2, false, kNone, kNone, kNone, platform::FALSE, platform::TRUE, 1},
    {"file in use and restart recommended", 0x3, false, kNone, kNone, kNone, platform::FALSE, platform::TRUE, 1},
    {"an earlier restart is never cleared", 0x0, false, kNone, kNone, kNone, platform::TRUE, platform::TRUE, 1},
    {"a failed scan has every bit set but counts for nothing", 0x2, true, kNone, kNone, kNone, platform::FALSE,
     platform::FALSE, 1},
    {"a failed scan clears nothing", 0x0, true, kNone, kNone, kNone, platform::TRUE, platform::TRUE, 1},
    {"a commit that failed part of the way", 0x2, false, kNone, kDenied, kNone, platform::FALSE, platform::TRUE, 0},
    {"a failed install of the rest", 0x2, false, kNone, kNone, kDenied, platform::FALSE, platform::TRUE, 0},
    {"files never queued are never committed", 0x2, false, kDenied, kNone, kNone, platform::FALSE, platform::FALSE, 0},
};

void PrintTo(const ScanCase& c, std::ostream* out) { *out << c.name; }

class RestartScanTest : public InfSectionFixture, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(RestartScanTest, SetsTheRestartFlagOnlyForARecommendedRestart)
{
    const ScanCase& c = GetParam();
    sim::InfSection tools = ToolSection();
    tools.restartFlags = c.restartFlags;
    tools.queueError = c.queueError;
    tools.copyError = c.copyError;
    tools.installError = c.installError;
    WithSections({{u"Tools", tools}});
    if (c.scanFails) machine.FailCall(sim::Fault::Every(kScan, kDenied));

    SetRestartNeeded(c.before);
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::InstallInfSection(run, u"Tools")), c.result);

    EXPECT_EQ(RestartNeeded(), c.after);
    EXPECT_EQ(machine.boxes.size(), c.result == 1 ? 0u : 1u) << "a failed scan shows nothing";
    EXPECT_EQ(OpenInfObjects(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EachAnswer, RestartScanTest, ::testing::ValuesIn(kScanCases));

class TwoSectionsTest : public InfSectionFixture {
protected:
    TwoSectionsTest()
    {
        sim::InfSection tools = ToolSection();
        tools.restartFlags = platform::SPFILEQ_REBOOT_RECOMMENDED;
        sim::InfSection help = HelpSection();
        help.installError = platform::ERROR_ACCESS_DENIED;
        WithSections({{u"Tools", tools}, {u"Help", help}});
    }
};

TEST_F(TwoSectionsTest, TheFirstSectionsRestartOutlivesTheSecondsFailure)
{
    EXPECT_EQ(Run("install inf Tools Help"), 0);

    EXPECT_EQ(Boxes(), (std::vector<Box>{Report(kInstallSectionFailed, platform::ERROR_ACCESS_DENIED),
                                         InformationBox(kRebootRequired)}));
    EXPECT_TRUE(HasFile(kToolFile));
    EXPECT_EQ(Registry(kToolValue), "1");
    EXPECT_TRUE(HasFile(kHelpFile)) << "what the failing section committed stays";
    EXPECT_EQ(Registry(kHelpValue), "(none)");
    EXPECT_EQ(machine.restartPrompts, 0u);
}

TEST_F(TwoSectionsTest, WithRebootTheRestartPromptFollowsInstead)
{
    EXPECT_EQ(Run("/reboot install inf Tools Help"), 0);

    EXPECT_EQ(Boxes(), std::vector<Box>{Report(kInstallSectionFailed, platform::ERROR_ACCESS_DENIED)});
    EXPECT_EQ(machine.restartPrompts, 1u);
    const std::vector<std::string> scans = CallsTo({kScan});
    ASSERT_EQ(scans.size(), 3u);
    EXPECT_EQ(scans.back(), "SetupPromptReboot((null), (null), 0)");
}

TEST_F(InstallInfTest, AnEmptySectionNameReachesTheSetupApiAsItCame)
{
    WithSections({{u"Tools", ToolSection()}});

    EXPECT_EQ(Run("install inf  Tools"), 0);

    EXPECT_EQ(
        CallsTo({kQueueFiles}),
        std::vector<std::string>{
            R"(SetupInstallFilesFromInfSectionW(inf:C:\Tools\OstrelSetup.inf, (null), queue, , (null), 0x8400))"});
    EXPECT_EQ(Boxes(), std::vector<Box>{Report(kQueueFilesFailed, platform::ERROR_SECTION_NOT_FOUND)});
    EXPECT_FALSE(HasFile(kToolFile));
}

}  // namespace
}  // namespace ostrel_test
