// The unattended contract under hostile command lines: quiet wherever it is
// asked for, the whole line checked before anything is done, a log that
// never writes into the files the run works with, and a run that is quiet
// where nobody can tell whether a box would be seen.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/quiet_scan.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::kInvalidCommandLine;
using ostrel_test::NoBoxes;
using platform::DWORD;

const std::u16string kLog = u"C:\\Tools\\run.log";
const std::string kInfBytes = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

struct ScanCase {
    const char16_t* line;
    bool quiet;
};

TEST(QuietScan, FindsQuietInTheOptionAreaOutsideQuotationMarks)
{
    const std::vector<ScanCase> cases = {
        {u"/log C:\\t\\x.log /f C:\\my drivers\\pkg.inf /quiet stop service NoSuch", true},
        {u"/quiet/log x stop service S", true},
        {u"/quiet\tstop service S", true},
        {u"/de/q stop service S", true},
        {u"/f \"C:\\x.inf\"/Q stop service S", true},
        {u"frobnicate /quiet", true},  // no action: the whole line is the option area
        {u"stop service /q", false},   // an argument
        {u"install device /quiet", false},
        {u"/f \"C:\\a /q b.inf\" stop service S", false},
        {u"/f C:\\x/q stop service S", false},  // inside a word that is no option
        {u"/qx /quiet2 stop service S", false},
        {u"/f \"C:\\x stop service /q", false},  // a quotation mark never closed
    };
    for (const ScanCase& c : cases) EXPECT_EQ(ostrel::AsksForQuiet(c.line), c.quiet) << sim::U8(c.line);
}

class UnattendedTest : public ostrel_test::SimFixture {
protected:
    UnattendedTest()
    {
        machine.services.Add(u"S", true);
        machine.stdError = sim::StdTarget::file;
        machine.fileBytes[ostrel_test::kDefaultInfPath] = kInfBytes;
    }
    std::string Log() { return machine.fileBytes[kLog]; }
    DWORD RunQuietly(const std::string& arguments) { return static_cast<DWORD>(Run(arguments)); }
};

// A deployment that asked for quiet gets no box and a failure in its exit
// code, wherever its "/quiet" stands, and nothing is done. The unquoted
// blank makes "C:\my" the INF file, whose test comes first, as ever.
TEST_F(UnattendedTest, QuietAskedAfterAFaultyOptionStillMeansNoBoxAndAFailure)
{
    const std::vector<std::pair<std::string, DWORD>> cases = {
        {"/log C:\\Tools\\x.log /f C:\\my drivers\\pkg.inf /quiet stop service S", platform::ERROR_FILE_NOT_FOUND},
        {"/quiet/log x stop service S", platform::ERROR_INVALID_COMMAND_LINE},
        {"/quiet\tstop service S", platform::ERROR_INVALID_COMMAND_LINE},
        {"/de/quiet stop service S", platform::ERROR_INVALID_COMMAND_LINE},
    };
    for (const auto& [line, exitCode] : cases) {
        machine.stdErrorBytes.clear();
        EXPECT_EQ(RunQuietly(line), exitCode) << line;
        const std::string& expected =
            exitCode == platform::ERROR_FILE_NOT_FOUND ? ostrel_test::kOpenInfFailed : kInvalidCommandLine;
        EXPECT_EQ(machine.stdErrorBytes.rfind(expected + "\r\n", 0), 0U) << line;
    }
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
}

// An argument too long for the buffer at the end of the line refuses the
// whole line before the first argument is acted on, with a box first for a
// person and with 1639 in a quiet run.
TEST_F(UnattendedTest, ALateCommandLineFaultComesBeforeAnythingIsDone)
{
    const std::string tooLong(256, 'L');
    EXPECT_EQ(Run("stop service S " + tooLong), 0);
    EXPECT_EQ(Boxes(), std::vector<ostrel_test::Box>{ostrel_test::ErrorBox(kInvalidCommandLine)});
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\run.log remove device A B " + tooLong),
              platform::ERROR_INVALID_COMMAND_LINE);
    EXPECT_EQ(RunQuietly("/quiet install inf A " + tooLong), platform::ERROR_INVALID_COMMAND_LINE);
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
    for (const char* call : {"OpenSCManagerW", "SetupDiGetINFClassW", "SetupOpenInfFileW"})
        EXPECT_EQ(machine.CallCount(call), 0U) << call;
    EXPECT_NE(Log().find("command line refused at column 75, an argument of 256 characters or more"), std::string::npos)
        << Log();
}

// The log is compared with the run's files as files, not as spellings; a
// log that is one of them is refused before anything is written or done.
TEST_F(UnattendedTest, ALogThatIsAFileOfTheRunIsRefusedAndTheFileLeftAsItWas)
{
    machine.AddFile(u"C:\\Tools\\x64\\OstrelSetup.exe");
    machine.AddFile(u"C:\\x\\a.inf");
    machine.fileLinks[u"C:\\Tools\\OSTREL~1.INF"] = ostrel_test::kDefaultInfPath;
    for (const char* options :
         {"/log C:\\Tools\\OstrelSetup.inf", "/log c:/TOOLS/./sub/../OSTRELSETUP.INF", "/log C:\\Tools\\OSTREL~1.INF",
          "/f C:\\x\\a.inf /log C:\\X\\A.INF", "/log C:\\Tools\\x64\\OstrelSetup.exe"}) {
        machine.stdErrorBytes.clear();
        EXPECT_EQ(RunQuietly(std::string("/quiet ") + options + " stop service S"),
                  platform::ERROR_INVALID_COMMAND_LINE)
            << options;
        EXPECT_EQ(machine.stdErrorBytes.find("Log file "), 0U) << options;
        EXPECT_NE(machine.stdErrorBytes.find("is a file this run works with"), std::string::npos) << options;
    }
    EXPECT_EQ(machine.fileBytes[ostrel_test::kDefaultInfPath], kInfBytes);
    EXPECT_EQ(machine.CallCount("WriteFile"), 5U) << "the five messages on standard error, nothing else";
    EXPECT_TRUE(machine.services.IsRunning(u"S"));

    // Windows itself refuses to open a running program for writing.
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\OstrelSetup.exe stop service S"), 32U);
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\OstrelSetup.log stop service S"), 0U);
}

TEST_F(UnattendedTest, ASecondLogIsRefusedAndTheFirstSaysWhere)
{
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\run.log /log C:\\Tools\\other.log stop service S"),
              platform::ERROR_INVALID_COMMAND_LINE);
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
    EXPECT_EQ(machine.fileBytes.count(u"C:\\Tools\\other.log"), 0U);
    EXPECT_NE(Log().find("command line refused at column 57, a second /log: \"/log C:\\Tools\\other.log"),
              std::string::npos)
        << Log();
}

// A refused "/f" leaves the INF path at its default: the header does not
// name a file the run never settled on.
TEST_F(UnattendedTest, TheHeaderNamesTheInfFileOnlyOnceTheOptionsWereRead)
{
    Run("/quiet /log C:\\Tools\\run.log /f \"C:\\x");
    EXPECT_EQ(Log().find("INF file:"), std::string::npos) << Log();
    Run("/quiet /log C:\\Tools\\run.log frobnicate");
    EXPECT_NE(Log().find("INF file: C:\\Tools\\OstrelSetup.inf"), std::string::npos) << Log();
}

// Where the system cannot say whether the window station is visible, no box
// is risked: the run is quiet and the log says why.
TEST_F(UnattendedTest, AWindowStationOfUnknownVisibilityMakesTheRunQuiet)
{
    for (const sim::Fault& fault :
         {sim::Fault::Nth("GetUserObjectInformationW", 1), sim::Fault::Every("GetProcessWindowStation")}) {
        machine.FailCall(fault);
        machine.fileBytes.erase(kLog);
        EXPECT_EQ(RunQuietly("/log C:\\Tools\\run.log start service Missing"), 1060U) << fault.function;
        EXPECT_NE(Log().find("quiet: yes, whether the window station is visible cannot be told (error 5)"),
                  std::string::npos)
            << Log();
    }
    machine.stdOutput = sim::StdTarget::file;
    EXPECT_EQ(Run("help"), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.stdOutputBytes.rfind("OstrelSetup can be used", 0), 0U);
}

}  // namespace
