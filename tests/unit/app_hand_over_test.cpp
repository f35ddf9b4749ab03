// The 32-bit program on 64-bit Windows: it hands the run to the 64-bit
// program beside it, or without one refuses the device actions itself.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::NoBoxes;
using platform::DWORD;

const std::u16string kSibling = u"C:\\Tools\\x64\\OstrelSetup.exe";
const std::string kNeeds64Bit =
    "Devices on 64-bit Windows need the 64-bit OstrelSetup: x64\\OstrelSetup.exe beside this program.";

class HandOverTest : public ostrel_test::SimFixture {
protected:
    HandOverTest()
    {
        machine.services.Add(u"S");
        machine.devices.wow64 = true;
        machine.processMachine = platform::IMAGE_FILE_MACHINE_I386;
        machine.AddFile(kSibling);
    }

    std::vector<std::u16string> ChildCommandLines() const
    {
        std::vector<std::u16string> lines;
        for (const sim::ProcessStart& start : machine.processStarts) lines.push_back(start.commandLine.value_or(u"?"));
        return lines;
    }
};

TEST_F(HandOverTest, TheSiblingGetsTheSameLineWithTheInfFileNamedAndItsExitCodeIsTheRunsOwn)
{
    machine.childExitCode = 3010;
    EXPECT_EQ(Run(u"/de  start service  S   /reboot"), 3010) << "passed through, whatever the mode";
    ASSERT_EQ(machine.processStarts.size(), 1U);
    EXPECT_EQ(machine.processStarts[0].applicationName, kSibling) << "never found through the search path";
    EXPECT_EQ(ChildCommandLines()[0],
              u"\"" + kSibling + u"\" /f \"C:\\Tools\\OstrelSetup.inf\" /de  start service  S   /reboot");
    EXPECT_FALSE(machine.services.IsRunning(u"S")) << "nothing is done twice";
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.handles.OpenCount(), 0U);

    // The longest line Windows takes goes through as it came; one unit more
    // is refused, never cut.
    const std::u16string prefix = u"\"" + kSibling + u"\" /f \"C:\\Tools\\OstrelSetup.inf\" ";
    const std::u16string longest = u"start service " + std::u16string(32766 - prefix.size() - 14, u'x');
    Run(longest);
    ASSERT_EQ(machine.processStarts.size(), 2U);
    EXPECT_EQ(ChildCommandLines()[1], prefix + longest);
    EXPECT_EQ(ChildCommandLines()[1].size(), 32766U);
    machine.boxes.clear();
    machine.threadLocale = platform::LOCALE_ENGLISH_US;  // the first run chose German
    Run(longest + u"x");
    EXPECT_EQ(machine.processStarts.size(), 2U);
    EXPECT_EQ(Boxes(), std::vector<Box>{Report("Start of the 64-bit OstrelSetup " + sim::U8(kSibling) + " failed.",
                                               platform::ERROR_FILENAME_EXCED_RANGE)});
}

struct MachineCase {
    const char* what;
    bool wow64;
    platform::USHORT nativeMachine;
    bool hasIsWow64Process2;
    bool handsOver;
};

void PrintTo(const MachineCase& c, std::ostream* out) { *out << c.what; }

class HandOverMachineTest : public HandOverTest, public ::testing::WithParamInterface<MachineCase> {};

TEST_P(HandOverMachineTest, OnlyA32BitProgramUnderWow64OnAnX64CapableMachineHandsOver)
{
    machine.devices.wow64 = GetParam().wow64;
    machine.nativeMachine = GetParam().nativeMachine;
    machine.hasIsWow64Process2 = GetParam().hasIsWow64Process2;
    Run("start service S");
    EXPECT_EQ(machine.processStarts.size(), GetParam().handsOver ? 1U : 0U);
    EXPECT_EQ(machine.services.IsRunning(u"S"), !GetParam().handsOver);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, HandOverMachineTest,
    ::testing::Values(
        MachineCase{"WOW64 on x64", true, platform::IMAGE_FILE_MACHINE_AMD64, true, true},
        MachineCase{"WOW64 on ARM64", true, platform::IMAGE_FILE_MACHINE_ARM64, true, true},
        MachineCase{"WOW64 before IsWow64Process2", true, platform::IMAGE_FILE_MACHINE_AMD64, false, true},
        MachineCase{"32-bit Windows or the 64-bit program", false, platform::IMAGE_FILE_MACHINE_AMD64, true, false},
        MachineCase{"32-bit Windows before IsWow64Process2", false, platform::IMAGE_FILE_MACHINE_I386, false, false}));

TEST_F(HandOverTest, HelpIsAnsweredHere)
{
    Run("help");
    EXPECT_TRUE(machine.processStarts.empty());
    EXPECT_EQ(machine.boxes.size(), 1U);
}

TEST_F(HandOverTest, ASiblingThatCannotBeStartedIsReportedAndNothingElseIsDone)
{
    machine.FailCall(sim::Fault::Every("CreateProcessW", platform::ERROR_BAD_FORMAT));
    EXPECT_EQ(Run("start service S"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{Report("Start of the 64-bit OstrelSetup " + sim::U8(kSibling) + " failed.",
                                               platform::ERROR_BAD_FORMAT)});
    EXPECT_FALSE(machine.services.IsRunning(u"S"));
    machine.stdError = sim::StdTarget::file;
    EXPECT_EQ(static_cast<DWORD>(Run("/q start service S")), platform::ERROR_BAD_FORMAT);
}

// Without the sibling the device actions stop before touching anything;
// everything else goes on here.
TEST_F(HandOverTest, WithoutTheSiblingDeviceActionsAreRefusedInEitherLanguage)
{
    machine.RemoveFile(kSibling);
    Run("remove device X");
    Run("/de enable device X");
    ASSERT_EQ(machine.boxes.size(), 2U);
    EXPECT_EQ(Boxes()[0], ostrel_test::ErrorBox(kNeeds64Bit));
    EXPECT_EQ(sim::U8(machine.boxes[1].text).rfind("Ger\xC3\xA4te unter 64-Bit-Windows", 0), 0U);
    EXPECT_EQ(machine.CallCount("SetupDiGetINFClassW"), 0U);

    machine.stdError = sim::StdTarget::file;
    EXPECT_EQ(static_cast<DWORD>(Run("/quiet /en install device X")), platform::ERROR_IN_WOW64);
    EXPECT_EQ(machine.stdErrorBytes, kNeeds64Bit + "\r\n");
    EXPECT_EQ(Run("/quiet start service S"), 0);
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
}

}  // namespace
