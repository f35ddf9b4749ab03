// RunSetup as a whole: a command line in, the boxes shown and the calls made
// out. The service actions stand in for every action where only the walk
// over the arguments matters, since they touch nothing but the service
// manager.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::ErrorBox;
using ostrel_test::kHardwareIdMissing;
using ostrel_test::kInvalidCommandLine;
using ostrel_test::kInvalidCommandLineDe;
using ostrel_test::kNoSuchServiceText;
using ostrel_test::kSectionNameMissing;
using ostrel_test::kServiceNameMissing;
using ostrel_test::NoBoxes;

const std::string kDefaultInf = "C:\\Tools\\OstrelSetup.inf";
const std::string kOtherInf = "C:\\x\\a.inf";
// The longest name "/f" takes, 259 characters, and one more.
const std::string kLongestInf = "C:\\" + std::string(252, 'n') + ".inf";
const std::string kTooLongInf = "C:\\" + std::string(253, 'n') + ".inf";

std::string OpenServiceFailed(const std::string& name) { return "Open of service " + name + " failed."; }
std::string OpenServiceFailedGerman(const std::string& name)
{
    return "Der Dienst " + name +
           " kann nicht ge\xC3\xB6"
           "ffnet werden.";
}

class RunSetupTest : public ostrel_test::SimFixture {
protected:
    RunSetupTest()
    {
        machine.services.Add(u"Alpha");
        machine.services.Add(u"Beta");
        machine.services.Add(u"S", true);
        machine.AddFile(u"C:\\x\\a.inf");
        machine.AddFile(u"C:\\y\\b.inf");
        machine.AddFile(u"C:\\my dir\\a.inf");
        machine.AddFile(sim::U16(kLongestInf));
    }

    // What the run did that a command line decides, in order: the INF file
    // tested, the locale set, the services opened, the shell asked, the
    // restart prompt.
    std::vector<std::string> Effects() const
    {
        std::vector<std::string> effects;
        for (const sim::CallRecord& call : machine.Calls()) {
            if (call.function == "GetFileAttributesW") effects.push_back("test " + sim::U8(call.arguments.at(0)));
            if (call.function == "SetThreadLocale") effects.push_back("locale " + sim::U8(call.arguments.at(0)));
            if (call.function == "OpenServiceW") effects.push_back("open " + sim::U8(call.arguments.at(1)));
            if (call.function == "ShellExecuteW") effects.push_back("shell " + sim::U8(call.arguments.at(2)));
            if (call.function == "SetupPromptReboot") effects.push_back("restart prompt");
        }
        return effects;
    }
};

Box NoSuchService(const std::string& name) { return ErrorBox(OpenServiceFailed(name) + "\n" + kNoSuchServiceText); }

struct CommandLineCase {
    std::string commandLine;  // after the program's name, UTF-8
    std::vector<Box> boxes;
    std::vector<std::string> effects;
};

void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << "command line \"" << c.commandLine << "\""; }

// The grammar's worked examples and the edge cases around them. The INF file
// exists; Alpha and Beta are stopped, S is running.
std::vector<CommandLineCase> GrammarCases()
{
    const std::string testDefault = "test " + kDefaultInf;
    const std::string shellDefault = "shell " + kDefaultInf;
    const std::string testOther = "test " + kOtherInf;
    const std::string longName(255, 'x');
    const std::string tooLongName(256, 'y');

    std::vector<CommandLineCase> cases = {
        {"", {}, {testDefault, shellDefault}},
        {"help ", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"/de help", {ErrorBox(kInvalidCommandLineDe)}, {"locale 0xC07", testDefault}},
        {"/de ", {}, {"locale 0xC07", testDefault, shellDefault}},
        {"/de", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"/en", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"/reboot", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"/DE /Reboot ", {}, {"locale 0xC07", testDefault, shellDefault}},
        {"/de /en ", {}, {"locale 0xC07", "locale 0x409", testDefault, shellDefault}},
        {"   /de    /reboot   stop service S", {}, {"locale 0xC07", testDefault, "open S"}},
        {"install device ", {ErrorBox(kHardwareIdMissing)}, {testDefault}},
        {"remove device ", {ErrorBox(kHardwareIdMissing)}, {testDefault}},
        {"disable device ", {ErrorBox(kHardwareIdMissing)}, {testDefault}},
        {"enable device ", {ErrorBox(kHardwareIdMissing)}, {testDefault}},
        {"stop service ", {ErrorBox(kServiceNameMissing)}, {testDefault}},
        {"start service ", {ErrorBox(kServiceNameMissing)}, {testDefault}},
        {"remove service ", {ErrorBox(kServiceNameMissing)}, {testDefault}},
        {"install inf ", {ErrorBox(kSectionNameMissing)}, {testDefault}},
        {"install device", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"install  device A", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"start  service Alpha", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"frobnicate", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"STOP SERVICE S", {}, {testDefault, "open S"}},
        {"start service Alpha /reboot", {NoSuchService("/reboot")}, {testDefault, "open Alpha", "open /reboot"}},
        {"start service Alpha Beta", {}, {testDefault, "open Alpha", "open Beta"}},
        {"start service Alpha   Beta   ", {}, {testDefault, "open Alpha", "open Beta"}},
        {"start service Alpha Missing Beta", {NoSuchService("Missing")}, {testDefault, "open Alpha", "open Missing"}},
        {"start service  Alpha", {NoSuchService("")}, {testDefault, "open "}},
        {"start service Al\tpha", {NoSuchService("Al\tpha")}, {testDefault, "open Al\tpha"}},
        {"start service " + longName, {NoSuchService(longName)}, {testDefault, "open " + longName}},
        // Every argument is measured before the first is acted on.
        {"start service Alpha " + tooLongName + " Beta", {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"/de start service Alpha Beta " + tooLongName,
         {ErrorBox(kInvalidCommandLineDe)},
         {"locale 0xC07", testDefault}},
        {"start service " + tooLongName, {ErrorBox(kInvalidCommandLine)}, {testDefault}},
        {"/f C:\\x\\a.inf stop service S", {}, {testOther, "open S"}},
        {"/f C:\\x\\a.inf", {ErrorBox(kInvalidCommandLine)}, {}},
        {"/f C:\\x\\a.inf ", {}, {testOther, "shell " + kOtherInf}},
        {"/f \"C:\\my dir\\a.inf\" stop service S", {}, {"test C:\\my dir\\a.inf", "open S"}},
        {"/f \"C:\\x\\a.inf stop service S", {ErrorBox(kInvalidCommandLine)}, {}},
        {"/f \"C:\\x\\a.inf\"stop service S", {ErrorBox(kInvalidCommandLine)}, {testOther}},
        {"/f \"C:\\x\\a.inf\"", {}, {testOther, "shell " + kOtherInf}},
        {"/f \"", {ErrorBox(kInvalidCommandLine)}, {}},
        {"/f " + kLongestInf + " stop service S", {}, {"test " + kLongestInf, "open S"}},
        {"/f \"" + kLongestInf + "\" stop service S", {}, {"test " + kLongestInf, "open S"}},
        {"/f " + kTooLongInf + " stop service S", {ErrorBox(kInvalidCommandLine)}, {}},
        {"/f \"" + kTooLongInf + "\" stop service S", {ErrorBox(kInvalidCommandLine)}, {}},
        {"/f C:\\x\\a.inf /f C:\\y\\b.inf ", {}, {"test C:\\y\\b.inf", "shell C:\\y\\b.inf"}},
        {"/de /f C:\\x\\a.inf", {ErrorBox(kInvalidCommandLineDe)}, {"locale 0xC07"}},
        {"/en /de /reboot /f \"C:\\x", {ErrorBox(kInvalidCommandLineDe)}, {"locale 0x409", "locale 0xC07"}},
        {"/de start service Missing",
         {ErrorBox(OpenServiceFailedGerman("Missing") + "\n" + kNoSuchServiceText)},
         {"locale 0xC07", testDefault, "open Missing"}},
        {"/de /en start service Missing",
         {NoSuchService("Missing")},
         {"locale 0xC07", "locale 0x409", testDefault, "open Missing"}},
    };
    return cases;
}

class CommandLineGrammar : public RunSetupTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(CommandLineGrammar, ShowsTheseBoxesAndMakesTheseCalls)
{
    const CommandLineCase& c = GetParam();
    EXPECT_EQ(Run(c.commandLine), 0);
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(Effects(), c.effects);
    EXPECT_TRUE(AllBoxesBelongToTheApp());
}

INSTANTIATE_TEST_SUITE_P(RunSetup, CommandLineGrammar, ::testing::ValuesIn(GrammarCases()));

// The device and section operations get InfPath: here the file that "/f"
// names, which the Setup API is then asked to read.
TEST_F(RunSetupTest, DeviceAndSectionActionsReadTheInfFileThatOptionFNames)
{
    sim::AddNewDevLibrary(machine);
    for (const char* keyword :
         {"install device ", "remove device ", "disable device ", "enable device ", "install inf "}) {
        const std::size_t callsBefore = machine.Calls().size();
        EXPECT_EQ(Run(std::string("/f C:\\x\\a.inf ") + keyword + "A"), 0);
        std::vector<std::string> infsRead;
        for (std::size_t i = callsBefore; i < machine.Calls().size(); ++i) {
            const sim::CallRecord& call = machine.Calls()[i];
            if (call.function == "SetupDiGetINFClassW" || call.function == "SetupOpenInfFileW")
                infsRead.push_back(sim::U8(call.arguments.at(0)));
            if (call.function == "UpdateDriverForPlugAndPlayDevicesW")
                infsRead.push_back(sim::U8(call.arguments.at(2)));
        }
        ASSERT_FALSE(infsRead.empty()) << keyword;
        EXPECT_EQ(infsRead.front(), kOtherInf) << keyword;
    }
}

}  // namespace
