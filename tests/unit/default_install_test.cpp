// A command line without an action hands the INF file to the shell's
// "install" verb; a refusal is shown with the text of its HRESULT.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "inf/inf.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::ErrorBox;
using ostrel_test::NoBoxes;

struct ShellCase {
    std::intptr_t shellResult;
    std::vector<Box> boxes;
};

void PrintTo(const ShellCase& c, std::ostream* out) { *out << "shell result " << c.shellResult; }

// Windows has a text for each of the shell's refusals, which are Win32
// errors, in their HRESULT form too; only an answer below 0 gets the
// fallback text.
std::vector<ShellCase> ShellCases()
{
    return {
        {0, {ErrorBox("Install failed.\nThe operation completed successfully.")}},
        {2, {ErrorBox("Install failed.\nThe system cannot find the file specified.")}},
        {31, {ErrorBox("Install failed.\nA device attached to the system is not functioning.")}},
        {32,
         {ErrorBox(
             "Install failed.\nThe process cannot access the file because it is being used by another process.")}},
        {-5, {ErrorBox("Install failed.\nUnknown error 0xFFFFFFFB")}},  // not above 0: taken as it is
        {33, {}},
        {42, {}},
    };
}

class DefaultInstallTest : public ostrel_test::SimFixture, public ::testing::WithParamInterface<ShellCase> {};

TEST_P(DefaultInstallTest, ShowsARefusalWithTheTextOfItsHResultAndNoLastErrorLine)
{
    machine.shellResult = GetParam().shellResult;
    EXPECT_EQ(Run(""), 0);
    EXPECT_EQ(Boxes(), GetParam().boxes);
    EXPECT_TRUE(AllBoxesBelongToTheApp());
    EXPECT_EQ(
        CallsTo({"ShellExecuteW"}),
        std::vector<std::string>{"ShellExecuteW((null), install, C:\\Tools\\OstrelSetup.inf, (null), (null), 1)"});
    EXPECT_EQ(machine.shellInstalls.size(), GetParam().shellResult > 32 ? 1U : 0U);
    EXPECT_EQ(machine.CallCount("SetupPromptReboot"), 0U);
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

INSTANTIATE_TEST_SUITE_P(DefaultInstall, DefaultInstallTest, ::testing::ValuesIn(ShellCases()));

class DefaultInstallScenarioTest : public ostrel_test::SimFixture {
protected:
    const sim::CallRecord& TheBoxCall() const
    {
        const auto& calls = machine.Calls();
        auto it = std::find_if(calls.begin(), calls.end(),
                               [](const sim::CallRecord& c) { return c.function == "MessageBoxW"; });
        EXPECT_NE(it, calls.end());
        return *it;
    }
    std::size_t MostMemoryHeldBeforeTheBox() const
    {
        std::size_t most = 0;
        for (const sim::CallRecord& call : machine.Calls()) {
            if (call.function == "MessageBoxW") break;
            most = std::max(most, call.liveAllocations);
        }
        return most;
    }
};

class RefusedInstallTest : public DefaultInstallScenarioTest, public ::testing::WithParamInterface<std::intptr_t> {};

// The HRESULT's text lives in local memory that belongs to the error object;
// it is held while message 5 is composed and gone before the box appears.
// Each shell answer on a machine of its own: the call log is read from its start.
TEST_P(RefusedInstallTest, TheHResultsTextIsReleasedBeforeTheBoxIsShown)
{
    machine.shellResult = GetParam();
    Run("");
    ASSERT_EQ(machine.boxes.size(), 1U);
    // The composed message is held too, until its box has been closed.
    EXPECT_GE(MostMemoryHeldBeforeTheBox(), 2U);
    EXPECT_EQ(TheBoxCall().liveAllocations, 1U);
}

INSTANTIATE_TEST_SUITE_P(ShellAnswers, RefusedInstallTest, ::testing::Values(std::intptr_t{0}, std::intptr_t{31}));

TEST_F(DefaultInstallScenarioTest, MessageFiveFollowsTheLanguageAndNoRestartStepFollows)
{
    machine.shellResult = 31;
    EXPECT_EQ(Run("/reboot /de "), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("Die Installation konnte nicht durchgef\xC3\xBChrt werden.\n"
                                                 "A device attached to the system is not functioning.")});
    EXPECT_EQ(machine.CallCount("SetupPromptReboot"), 0U);
}

TEST_F(DefaultInstallScenarioTest, AnAcceptedInstallIsLeftToTheShell)
{
    EXPECT_EQ(Run("/f C:\\Tools\\OstrelSetup.inf "), 0);
    EXPECT_EQ(machine.shellInstalls, std::vector<std::u16string>{ostrel_test::kDefaultInfPath});
    EXPECT_EQ(Boxes(), NoBoxes());
}

}  // namespace
