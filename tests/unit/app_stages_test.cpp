// The stages of RunSetup one by one: start-up, default INF path, usage text,
// the INF test, the action table, the walk over the arguments and the
// restart step.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/restart.h"
#include "app/run_setup.h"
#include "device/device.h"
#include "inf/inf.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::ErrorBox;
using ostrel_test::InformationBox;
using ostrel_test::kInvalidCommandLine;
using ostrel_test::kOpenInfFailed;
using ostrel_test::kRebootRequired;
using ostrel_test::NoBoxes;

class StartUpTest : public ostrel_test::SimFixture {};

TEST_F(StartUpTest, AddsTheQuietErrorModesToTheModeThereWasAndKeepsDllsToTheSystemFolder)
{
    machine.errorMode = 0x0004;  // SEM_NOALIGNMENTFAULTEXCEPT, set by whoever started us
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(machine.errorMode, 0x8005U);
    EXPECT_EQ(machine.defaultDllDirectories, platform::LOAD_LIBRARY_SEARCH_SYSTEM32);
}

TEST_F(StartUpTest, RunsWhereTheSystemCannotRestrictTheDllSearch)
{
    machine.hasSetDefaultDllDirectories = false;
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.shellInstalls, std::vector<std::u16string>{ostrel_test::kDefaultInfPath});
}

TEST_F(StartUpTest, HelpInAnyCaseShowsTheUsageTextEvenWithoutAnInfFile)
{
    machine.RemoveFile(ostrel_test::kDefaultInfPath);
    for (const char* word : {"help", "HELP", "hElP"}) {
        machine.boxes.clear();
        EXPECT_EQ(Run(word), 0);
        ASSERT_EQ(machine.boxes.size(), 1U) << word;
        EXPECT_EQ(machine.boxes[0].type, platform::MB_ICONINFORMATION);
    }
    EXPECT_EQ(machine.CallCount("GetFileAttributesW"), 0U);
    EXPECT_EQ(machine.CallCount("SetThreadLocale"), 0U);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back().push_back(c);
    }
    return lines;
}

TEST_F(StartUpTest, UsageTextHasItsThirtySevenLinesAndThreeOptionsOnOne)
{
    Run("help");
    ASSERT_EQ(machine.boxes.size(), 1U);
    const std::vector<std::string> lines = Lines(BoxTexts()[0]);
    ASSERT_EQ(lines.size(), 37U);
    EXPECT_EQ(lines[0], "OstrelSetup can be used to install/remove/disable/enable devices and");
    EXPECT_EQ(lines[4], "OstrelSetup.exe [<Options>] [<Action> <Arguments>]");
    EXPECT_EQ(lines[14], "- Install INF file section: 'install inf {<name>}'");
    EXPECT_EQ(lines[15], "- Stage the driver package of the .inf file: 'add driver'");
    EXPECT_EQ(lines[19], "- Scan for hardware changes: 'rescan'");
    for (std::size_t empty : {2U, 5U, 20U, 24U, 28U, 30U}) EXPECT_EQ(lines[empty], "") << "line " << empty + 1;
    EXPECT_EQ(lines[31], "/reboot = perform reboot if required (default: show message only)");
    EXPECT_EQ(lines[32], "/de = use german messages/en = use english messages/f <file> = specify .inf file");
    EXPECT_EQ(lines[33].rfind("/quiet or /q = ", 0), 0U);
    EXPECT_EQ(lines[35].rfind("/wait <seconds> = ", 0), 0U);
    EXPECT_EQ(lines[36], "/? = show this text (as 'help' does)");
}

struct MissingInfCase {
    const char* name;
    std::string commandLine;
    std::vector<Box> boxes;
};

void PrintTo(const MissingInfCase& c, std::ostream* out) { *out << '"' << c.commandLine << '"'; }

class MissingInfTest : public StartUpTest, public ::testing::WithParamInterface<MissingInfCase> {};

// Without an INF file every path past the options ends at message 23, with
// the system's text for the failed test, and touches nothing else.
TEST_P(MissingInfTest, EndsEveryRunThatGetsPastTheOptions)
{
    machine.RemoveFile(ostrel_test::kDefaultInfPath);
    machine.services.Add(u"S", true);
    EXPECT_EQ(Run(GetParam().commandLine), 0);
    EXPECT_EQ(Boxes(), GetParam().boxes);
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
    EXPECT_EQ(machine.CallCount("OpenSCManagerW"), 0U);
    EXPECT_EQ(machine.CallCount("ShellExecuteW"), 0U);
}

Box MissingInf() { return ErrorBox(kOpenInfFailed + "\n" + ostrel_test::kFileNotFoundText); }

INSTANTIATE_TEST_SUITE_P(Runs, MissingInfTest,
                         ::testing::Values(MissingInfCase{"NoAction", "", {MissingInf()}},
                                           MissingInfCase{"ServiceAction", "stop service S", {MissingInf()}},
                                           MissingInfCase{"EmptyArgumentList", "install device ", {MissingInf()}},
                                           MissingInfCase{"UnknownWord", "frobnicate", {MissingInf()}},
                                           MissingInfCase{"German",
                                                          "/reboot /de stop service S",
                                                          {ErrorBox("Die .inf Datei kann nicht ge\xC3\xB6"
                                                                    "ffnet werden.\n" +
                                                                    ostrel_test::kFileNotFoundText)}},
                                           MissingInfCase{"FaultyFileOption",
                                                          "/f C:\\Tools\\OstrelSetup.inf",
                                                          {ErrorBox(kInvalidCommandLine)}}),
                         ostrel_test::CaseName());

// RunSetup's answer is the process's exit code: 0 for a person's run
// whatever happened, the outcome for a quiet one.
TEST_F(StartUpTest, RunSetupAnswersTheExitCodeOfTheRun)
{
    EXPECT_EQ(RunSetupWith(u"frobnicate"), 0);
    EXPECT_EQ(RunSetupWith(u"/f C:\\Tools\\missing.inf "), 0);
    EXPECT_EQ(Run("/f C:\\Tools\\missing.inf "), 0);
    EXPECT_EQ(RunSetupWith(u"/quiet /f C:\\Tools\\missing.inf "), static_cast<int>(platform::ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RunSetupWith(u"/quiet frobnicate"), static_cast<int>(platform::ERROR_INVALID_COMMAND_LINE));
}

TEST_F(StartUpTest, AnEmptyQuotedInfNameFailsTheInfTest)
{
    EXPECT_EQ(RunSetupWith(u"/f \"\" stop service S"), 0);
    EXPECT_EQ(CallsTo({"GetFileAttributesW"}), std::vector<std::string>{"GetFileAttributesW()"});
    ASSERT_EQ(machine.boxes.size(), 1U);
    EXPECT_EQ(Boxes()[0], Report(kOpenInfFailed, platform::ERROR_PATH_NOT_FOUND));
}

// The default INF path is the program's own, cut at its last dot. The run is
// left at the INF test, whose argument shows the path.
struct InfPathCase {
    std::u16string programPath;
    std::u16string infPath;  // empty: none could be made
};

class DefaultInfPathTest : public ostrel_test::SimFixture {
protected:
    std::u16string DefaultInfPathFor(const std::u16string& programPath)
    {
        machine.modulePath = programPath;
        ostrel::InfPathBuffer infPath;
        ostrel::SetDefaultInfPath(infPath);
        return infPath;
    }
};

TEST_F(DefaultInfPathTest, CutsAtTheLastDotAndRefusesWhatDoesNotFit)
{
    const std::u16string folder = u"C:\\";
    const auto pathOfLength = [&](std::size_t length, const std::u16string& ending) {
        return folder + std::u16string(length - folder.size() - ending.size(), u'p') + ending;
    };
    const std::vector<InfPathCase> cases = {
        {u"C:\\Tools\\OstrelSetup.exe", u"C:\\Tools\\OstrelSetup.inf"},
        {u"C:\\Tools.old\\OstrelSetup", u"C:\\Tools.inf"},
        {u"C:\\a.b\\c.d.exe", u"C:\\a.b\\c.d.inf"},
        {u"C:\\Tools\\OstrelSetup.", u"C:\\Tools\\OstrelSetup.inf"},
        {u"C:\\Tools\\OstrelSetup", u"C:\\Tools\\OstrelSetup.inf"},  // no dot anywhere
        {pathOfLength(259, u".exe"), pathOfLength(259, u".inf")},
        {pathOfLength(259, u".ex"), u""},  // ".inf" would end at 260
        {pathOfLength(258, u".ex"), pathOfLength(259, u".inf")},
        {pathOfLength(255, u""), pathOfLength(259, u".inf")},
        {pathOfLength(256, u""), u""},
        {pathOfLength(260, u".exe"), u""},  // cut by GetModuleFileNameW
        {pathOfLength(300, u".exe"), u""},
    };
    for (const InfPathCase& c : cases)
        EXPECT_EQ(sim::U8(DefaultInfPathFor(c.programPath)), sim::U8(c.infPath)) << sim::U8(c.programPath);
}

TEST_F(DefaultInfPathTest, AFolderInfThatExistsIsUsedAndAMissingOneReported)
{
    machine.modulePath = u"C:\\Tools.old\\OstrelSetup";
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{Report(kOpenInfFailed, platform::ERROR_FILE_NOT_FOUND)});

    machine.boxes.clear();
    machine.AddFile(u"C:\\Tools.inf");
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.shellInstalls, std::vector<std::u16string>{u"C:\\Tools.inf"});
}

// The action table, keyword by keyword.
TEST(ActionTable, KeywordsPickTheirOperationsAndEmptyListMessagesInOrder)
{
    struct Row {
        const char16_t* text;
        ostrel::Operation operation;  // null for the service rows, checked by their effect
        unsigned emptyListMessage;
        std::size_t keywordLength;
    };
    const std::vector<Row> rows = {
        {u"install device X", ostrel::InstallDevice, 2, 15},
        {u"remove device X", ostrel::RemoveDevice, 2, 14},
        {u"disable device X", ostrel::DisableDevice, 2, 15},
        {u"enable device X", ostrel::EnableDevice, 2, 14},
        {u"stop service X", nullptr, 3, 13},
        {u"start service X", nullptr, 3, 14},
        {u"remove service X", nullptr, 3, 15},
        {u"install inf X", ostrel::InstallInfSection, 4, 12},
        {u"Install Inf X", ostrel::InstallInfSection, 4, 12},
    };
    for (const Row& row : rows) {
        const ostrel::Action* action = ostrel::FindAction(row.text);
        ASSERT_NE(action, nullptr) << sim::U8(row.text);
        if (row.operation != nullptr) {
            EXPECT_EQ(action->operation, row.operation) << sim::U8(row.text);
        }
        EXPECT_EQ(action->emptyListMessage, row.emptyListMessage) << sim::U8(row.text);
        EXPECT_EQ(action->keyword.size(), row.keywordLength) << sim::U8(row.text);
    }
    for (const char16_t* text : {u"install device", u"install  device X", u"installdevice X", u"install\tinf X",
                                 u"start service", u"", u" stop service X"})
        EXPECT_EQ(ostrel::FindAction(text), nullptr) << sim::U8(text);
}

class ServiceRowsTest : public ostrel_test::SimFixture {};

TEST_F(ServiceRowsTest, EachServiceKeywordMakesItsOwnRequest)
{
    machine.services.Add(u"Up", true);
    machine.services.Add(u"Down");
    machine.services.Add(u"Gone");
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::FindAction(u"stop service ")->operation(run, u"Up")), 1);
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::FindAction(u"start service ")->operation(run, u"Down")), 1);
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::FindAction(u"remove service ")->operation(run, u"Gone")), 1);
    EXPECT_FALSE(machine.services.IsRunning(u"Up"));
    EXPECT_TRUE(machine.services.IsRunning(u"Down"));
    EXPECT_FALSE(machine.services.Exists(u"Gone"));
    EXPECT_EQ(RestartNeeded(), platform::FALSE);
}

// The walk over an argument list, with an operation that records what it
// was given and fails on the argument "fail". An operation is a bare
// function, so it reaches its record through Recording::Of().
struct Recording {
    std::vector<std::u16string> arguments;
    const char16_t* infPath = nullptr;

    static Recording& Of()
    {
        static Recording recording;
        return recording;
    }
};

// "fail" fails as an operation does once it has reported its failure.
ostrel::Result RecordingOperation(ostrel::RunContext& run, const char16_t* argument)
{
    Recording::Of().arguments.emplace_back(argument);
    Recording::Of().infPath = run.infPath;
    run.outcome.RecordRestartNeeded();
    if (std::u16string(argument) == u"fail") return ostrel::Result::Failure(platform::ERROR_ACCESS_DENIED).AsReported();
    return ostrel::Result::Done();
}

class WalkTest : public ostrel_test::SimFixture {
protected:
    // The arguments the operation was given, one walk on its own.
    std::vector<std::u16string> Walk(const std::u16string& argumentList)
    {
        Recording::Of() = Recording{};
        const ostrel::Action action{"test ", RecordingOperation, 2, false};
        run.infPath = u"C:\\a.inf";
        run.outcome = ostrel::Outcome{};
        ostrel::WalkArguments(run, action, argumentList.c_str());
        EXPECT_EQ(RestartNeeded(), platform::TRUE);
        EXPECT_EQ(std::u16string(Recording::Of().infPath), u"C:\\a.inf");
        return Recording::Of().arguments;
    }
};

TEST_F(WalkTest, GoesLeftToRightAndStopsAtTheFirstFailure)
{
    using Arguments = std::vector<std::u16string>;
    EXPECT_EQ(Walk(u"A fail B"), (Arguments{u"A", u"fail"}));
    EXPECT_EQ(Walk(u"  A"), (Arguments{u"", u"A"}));
    EXPECT_EQ(Walk(u"A /reboot"), (Arguments{u"A", u"/reboot"}));
    EXPECT_EQ(Boxes(), NoBoxes());
}

TEST_F(WalkTest, AnArgumentTooLongForTheBufferIsRefusedAndEndsTheWalk)
{
    const std::u16string tooLong(256, u'y');
    EXPECT_EQ(Walk(u"A " + tooLong + u" B"), std::vector<std::u16string>{u"A"});
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox(kInvalidCommandLine)});
}

// The restart step after the action.
struct RestartCase {
    const char* name;
    platform::BOOL rebootNeeded;
    int rebootOption;
    bool notice;  // message 7 instead of the prompt
    unsigned prompts;
};

void PrintTo(const RestartCase& c, std::ostream* out) { *out << c.name; }

class RestartTest : public ostrel_test::SimFixture {};
class RestartCaseTest : public RestartTest, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(RestartCaseTest, PromptsWithTheOptionElseTellsTheUser)
{
    SetRestartNeeded(GetParam().rebootNeeded);
    ostrel::RestartIfNeeded(run, GetParam().rebootOption);
    EXPECT_EQ(Boxes(), GetParam().notice ? std::vector<Box>{InformationBox(kRebootRequired)} : NoBoxes());
    EXPECT_EQ(machine.restartPrompts, GetParam().prompts);
    EXPECT_EQ(CallsTo({"SetupPromptReboot"}),
              std::vector<std::string>(GetParam().prompts, "SetupPromptReboot((null), (null), 0)"));
}

INSTANTIATE_TEST_SUITE_P(Cases, RestartCaseTest,
                         ::testing::Values(RestartCase{"NotNeeded", platform::FALSE, 0, false, 0},
                                           RestartCase{"NotNeededWithOption", platform::FALSE, 1, false, 0},
                                           RestartCase{"Needed", platform::TRUE, 0, true, 0},
                                           RestartCase{"NeededWithOption", platform::TRUE, 1, false, 1}),
                         ostrel_test::CaseName());

TEST_F(RestartTest, AFailingPromptIsPassedOverSilently)
{
    machine.FailCall(sim::Fault::Every("SetupPromptReboot"));
    SetRestartNeeded(platform::TRUE);
    ostrel::RestartIfNeeded(run, 1);
    EXPECT_EQ(Boxes(), NoBoxes());
}

}  // namespace
