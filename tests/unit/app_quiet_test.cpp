// Quiet runs: the same messages without boxes, the exit code that tells the
// outcome, the log, and no window from the system either.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_fixture.h"
#include "inf_section_fixture.h"
#include "run/outcome.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::kRebootRequired;
using ostrel_test::NoBoxes;
using platform::DWORD;

// The fixture's INF file is present; S runs, Stopped is stopped.
class QuietTest : public ostrel_test::SimFixture {
protected:
    QuietTest()
    {
        machine.services.Add(u"S", true);
        machine.services.Add(u"Stopped");
        machine.stdError = sim::StdTarget::file;
    }

    // What a person's run shows as boxes, as a quiet run writes it.
    static std::string AsEntries(const std::vector<std::string>& texts)
    {
        std::string entries;
        for (std::string text : texts) {
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            std::string crlf;
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
                crlf += (text[i] == '\n' || text[i] == '\r') ? std::string("\r\n") : std::string(1, text[i]);
            }
            entries += crlf + "\r\n";
        }
        return entries;
    }

    std::string Log(const std::u16string& path = u"C:\\Tools\\run.log") const
    {
        auto it = machine.fileBytes.find(path);
        return it == machine.fileBytes.end() ? std::string() : it->second;
    }
};

struct ExitCase {
    std::string commandLine;  // after "/quiet "
    DWORD exitCode;
};

void PrintTo(const ExitCase& c, std::ostream* out) { *out << '"' << c.commandLine << '"'; }

class QuietExitCodeTest : public QuietTest, public ::testing::WithParamInterface<ExitCase> {};

// Each message a person sees in a box is written, word for word, to the
// standard error handle of a quiet run, and the exit code names the failure.
TEST_P(QuietExitCodeTest, WritesWhatABoxWouldShowAndEndsWithTheFailuresCode)
{
    EXPECT_EQ(Run(GetParam().commandLine), 0);
    const std::string shown = AsEntries(BoxTexts());
    machine.boxes.clear();
    machine.services.Add(u"S", true);  // as before the first run

    EXPECT_EQ(static_cast<DWORD>(Run("/quiet " + GetParam().commandLine)), GetParam().exitCode);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.stdErrorBytes, shown);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, QuietExitCodeTest,
    ::testing::Values(ExitCase{"start service S Stopped", 0},     // already running, then started
                      ExitCase{"start service Missing S", 1060},  // the failure's own code
                      ExitCase{"/log C:\\Tools\\run.log", platform::ERROR_INVALID_COMMAND_LINE},  // no blank after
                      ExitCase{"stop service S Missing Stopped", 1060},  // the walk still stops there
                      ExitCase{"frobnicate", platform::ERROR_INVALID_COMMAND_LINE},
                      ExitCase{"start service ", platform::ERROR_INVALID_COMMAND_LINE},
                      ExitCase{"/f \"C:\\x.inf", platform::ERROR_INVALID_COMMAND_LINE},
                      ExitCase{"/f C:\\nowhere\\a.inf stop service S", platform::ERROR_PATH_NOT_FOUND},
                      ExitCase{"start service " + std::string(256, 'x'), platform::ERROR_INVALID_COMMAND_LINE}));

// A name from a script may hold any units: an unpaired surrogate becomes
// U+FFFD in the UTF-8 of files and pipes, a pair one code point.
TEST_F(QuietTest, UnpairedSurrogatesReachFilesAsReplacementCharacters)
{
    const std::u16string name =
        u"a\xD800"
        u"b\xDC00"
        u"c\xD83D\xDE00";
    EXPECT_EQ(Run(u"/quiet /log C:\\Tools\\run.log start service " + name), 1060);
    const std::string utf8 =
        "a\xEF\xBF\xBD"
        "b\xEF\xBF\xBD"
        "c\xF0\x9F\x98\x80";
    EXPECT_EQ(sim::U8(name), utf8);
    EXPECT_NE(machine.stdErrorBytes.find("Open of service " + utf8 + " failed.\r\n"), std::string::npos)
        << machine.stdErrorBytes;
    EXPECT_NE(Log().find(utf8), std::string::npos);
}

TEST(OutcomeTest, TheFirstFailureDecidesThenARestartThenADeviceLeftAlone)
{
    ostrel::Outcome outcome;
    EXPECT_EQ(outcome.ExitCode(), 0U);
    outcome.RecordDeviceLeftAlone();
    EXPECT_EQ(outcome.ExitCode(), platform::ERROR_NO_MORE_ITEMS);
    outcome.RecordRestartNeeded();
    EXPECT_EQ(outcome.ExitCode(), platform::ERROR_SUCCESS_REBOOT_REQUIRED);
    outcome.RecordRestartStarted();
    EXPECT_EQ(outcome.ExitCode(), platform::ERROR_SUCCESS_REBOOT_INITIATED);
    outcome.RecordFailure(0);
    EXPECT_EQ(outcome.ExitCode(), platform::ERROR_INSTALL_FAILURE) << "a failure that left no code";
    outcome.RecordFailure(1060);
    EXPECT_EQ(outcome.ExitCode(), platform::ERROR_INSTALL_FAILURE) << "a later failure changes nothing";
}

TEST_F(QuietTest, AWindowStationNobodySeesMakesEveryRunQuietAndHelpGoesToStandardOutput)
{
    machine.windowStationVisible = false;
    machine.stdOutput = sim::StdTarget::pipe;
    EXPECT_EQ(static_cast<DWORD>(Run("/log C:\\Tools\\run.log start service Missing")), 1060U);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_NE(machine.stdErrorBytes.find("Open of service Missing failed.\r\n"), std::string::npos);
    EXPECT_NE(Log().find("quiet: yes, the window station is not visible"), std::string::npos);

    EXPECT_EQ(Run("/?"), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.stdOutputBytes.rfind("OstrelSetup can be used to install", 0), 0U);
    EXPECT_EQ(machine.stdOutputBytes.substr(machine.stdOutputBytes.size() - 2), "\r\n");
}

TEST_F(QuietTest, WithoutStandardHandlesItWritesToTheParentsConsoleOrOnlyToTheLog)
{
    machine.stdError = sim::StdTarget::none;
    machine.parentHasConsole = true;
    Run("/q start service Missing");
    EXPECT_EQ(machine.consoleText.rfind(u"Open of service Missing failed.\r\n", 0), 0U);
    EXPECT_EQ(machine.handles.OpenCount(sim::HandleKind::file), 0U) << "the console's handle is closed again";

    // A new process whose parent has no console.
    machine.parentHasConsole = false;
    machine.consoleAttached = false;
    machine.consoleText.clear();
    EXPECT_EQ(static_cast<DWORD>(Run("/q /log C:\\Tools\\run.log start service Missing")), 1060U);
    EXPECT_TRUE(machine.consoleText.empty());
    EXPECT_EQ(machine.CallCount("MessageBoxW"), 0U);
    EXPECT_NE(Log().find("error: Open of service Missing failed."), std::string::npos);
}

// A person's run with "/log" shows its boxes and ends with 0; the log holds
// everything in order and says what a quiet run would have returned.
TEST_F(QuietTest, TheLogTellsTheWholeRunAndIsAppendedTo)
{
    machine.fileBytes[u"C:\\Tools\\run.log"] = "earlier run\r\n";
    EXPECT_EQ(Run("/log C:\\Tools\\run.log start service Stopped Missing Third"), 0);
    EXPECT_EQ(machine.boxes.size(), 1U);
    const std::string log = Log();
    const std::vector<std::string> expected = {
        "earlier run\r\n",
        "2026-12-08 11:37:19.000 OstrelSetup 2.1.0.0, ",
        "user: Tester, elevated: yes\r\n",
        "quiet: no\r\n",
        "command line: \"C:\\Tools\\OstrelSetup.exe\" /log C:\\Tools\\run.log start service Stopped Missing "
        "Third\r\n",
        "INF file: C:\\Tools\\OstrelSetup.inf\r\n",
        "start service Stopped: start requested; the service reports RUNNING\r\n",
        "start service Missing: failed\r\n",
        "error: Open of service Missing failed.\r\n                        The specified service",
        "\r\n                        code: 0x00000424 (1060, ERROR_SERVICE_DOES_NOT_EXIST)\r\n",
        "restart: not needed\r\n",
        "exit code: 0 (a quiet run would end with 1060)\r\n",
    };
    std::size_t at = 0;
    for (const std::string& piece : expected) {
        const std::size_t found = log.find(piece, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\nlog:\n" << log;
        at = found + piece.size();
    }
    EXPECT_EQ(log.find("Third"), log.find("Third\r\n")) << "Third appears only in the command line";
}

// The column counts in the line as the log's header shows it: the
// program's name, quoted, a blank, then the 30th character of the rest.
TEST_F(QuietTest, ACommandLineFaultIsLoggedWithItsColumnAndWhatWasFound)
{
    Run("/q /log C:\\Tools\\run.log /de /reboot");
    EXPECT_NE(Log().find("command line refused at column 57, an option without its blank: \"/reboot\""),
              std::string::npos)
        << Log();
    EXPECT_NE(Log().find("Ung\xC3\xBCltige Kommandozeile."), std::string::npos) << "messages keep the run's language";
}

TEST_F(QuietTest, ALogThatCannotBeOpenedStopsTheRunBeforeAnythingIsDone)
{
    const std::string notOpened = "Open of log file C:\\nowhere\\run.log failed.";
    EXPECT_EQ(Run("/log C:\\nowhere\\run.log stop service S"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{Report(notOpened, platform::ERROR_PATH_NOT_FOUND)});
    EXPECT_TRUE(machine.services.IsRunning(u"S"));

    machine.boxes.clear();
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet /log C:\\nowhere\\run.log stop service S")),
              platform::ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(machine.stdErrorBytes.rfind(notOpened + "\r\n", 0), 0U);
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
}

class QuietRestartTest : public ostrel_test::InfSectionFixture {
protected:
    QuietRestartTest()
    {
        sim::InfSection tools = ostrel_test::ToolSection();
        tools.restartFlags = platform::SPFILEQ_REBOOT_RECOMMENDED;
        WithSections({{u"Tools", tools}});
        machine.stdError = sim::StdTarget::file;
    }
};

// Never a prompt: 3010 for the deployment system to act on, or with
// "/reboot" a planned restart at once, and 1641.
TEST_F(QuietRestartTest, ARestartIsReportedOrStartedButNeverAskedFor)
{
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet install inf Tools")), platform::ERROR_SUCCESS_REBOOT_REQUIRED);
    EXPECT_EQ(machine.stdErrorBytes, kRebootRequired + "\r\n");
    EXPECT_TRUE(machine.shutdowns.empty());

    EXPECT_EQ(static_cast<DWORD>(Run("/quiet /reboot install inf Tools")), platform::ERROR_SUCCESS_REBOOT_INITIATED);
    ASSERT_EQ(machine.shutdowns.size(), 1U);
    EXPECT_EQ(machine.shutdowns[0].reason, 0x80040002U);
    EXPECT_EQ(machine.shutdowns[0].timeout, 0U);
    EXPECT_EQ(machine.restartPrompts, 0U);
    EXPECT_EQ(Boxes(), NoBoxes());
}

TEST_F(QuietRestartTest, WithoutTheShutdownPrivilegeTheRestartIsLeftToTheCaller)
{
    machine.holdsShutdownPrivilege = false;
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet /reboot /log C:\\Tools\\run.log install inf Tools")),
              platform::ERROR_SUCCESS_REBOOT_REQUIRED);
    EXPECT_TRUE(machine.shutdowns.empty());
    EXPECT_NE(machine.fileBytes[u"C:\\Tools\\run.log"].find("restart: needed, could not be started (error 1300)"),
              std::string::npos);
}

// The disk prompt and the copy error would wait for an answer: the quiet
// callback refuses them, the commit fails with their error, and the
// default callback is made without a progress window.
TEST_F(QuietRestartTest, TheQueueIsCommittedWithoutAnyDialog)
{
    sim::InfSection tools = ostrel_test::ToolSection();
    tools.missingSources = {ostrel_test::kToolFile};
    sim::InfSection help = ostrel_test::HelpSection();
    help.failingCopies = {{ostrel_test::kHelpFile, platform::ERROR_ACCESS_DENIED}};
    WithSections({{u"Tools", tools}, {u"Help", help}});

    EXPECT_EQ(static_cast<DWORD>(Run("/quiet install inf Tools")), platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet install inf Help")), platform::ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.stdErrorBytes.find("Execution of file queue operations failed.\r\n"), 0U);
    EXPECT_TRUE(machine.infs.setupDialogs.empty());
    EXPECT_EQ(machine.infs.progressWindows, std::vector<platform::HWND>(2, platform::INVALID_HANDLE_VALUE));

    Run("install inf Tools");
    EXPECT_EQ(machine.infs.setupDialogs.size(), 1U) << "a person's run keeps the system's prompt";
}

class QuietDeviceTest : public ostrel_test::DeviceFixture {
protected:
    // The flags of the calls that decide about a user interface, from call
    // number `from` on.
    std::vector<std::string> InterfaceFlags(std::size_t from) const
    {
        std::vector<std::string> flags;
        for (std::size_t i = from; i < machine.Calls().size(); ++i) {
            const sim::CallRecord& call = machine.Calls()[i];
            if (call.function == "SetupDiSetDeviceInstallParamsW") flags.push_back(sim::U8(call.arguments.at(2)));
            if (call.function == "UpdateDriverForPlugAndPlayDevicesW") flags.push_back(sim::U8(call.arguments.at(3)));
        }
        return flags;
    }
};

TEST_F(QuietDeviceTest, OnlyAQuietRunAsksTheDeviceCallsForNoUserInterface)
{
    AddDevice(u"ROOT\\OSTRELDEV\\0000", {ostrel_test::kWidget});
    Run("disable device ostrel\\widget");
    Run("install device ostrel\\widget");
    EXPECT_EQ(InterfaceFlags(0), std::vector<std::string>{"0x0"});

    const std::size_t quietFrom = machine.Calls().size();
    Run("/quiet enable device ostrel\\widget");
    Run("/quiet install device ostrel\\widget");
    EXPECT_EQ(InterfaceFlags(quietFrom), (std::vector<std::string>{"0x800000", "0x4"}));
}

// Windows' own driver tool answers 259 when the device keeps its better
// driver; a failure elsewhere in the run still decides first.
TEST_F(QuietDeviceTest, ADeviceLeftWithItsNewerDriverEndsWith259)
{
    machine.stdError = sim::StdTarget::file;
    AddDevice(u"PCI\\A", {ostrel_test::kWidget}).betterDriverInPlace = true;
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet install device ostrel\\widget")), platform::ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(machine.stdErrorBytes.rfind("A newer driver exists already for hardware ID ostrel\\widget.", 0), 0U);
    machine.FailCall(sim::Fault::Nth("UpdateDriverForPlugAndPlayDevicesW", 3));
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet install device ostrel\\widget ostrel\\widget")),
              platform::ERROR_ACCESS_DENIED);
}

}  // namespace
