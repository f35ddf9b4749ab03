// SETUPAPI, SHELL32 and USER32 are loaded at the first call that needs them:
// a run loads only what its action needs, and a library or function that
// cannot be had fails its call like any other failure of that call.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::ErrorBox;
using ostrel_test::kWidget;
using platform::DWORD;

const std::string kModuleNotFoundText = "The specified module could not be found.\r";
const std::string kProcNotFoundText = "The specified procedure could not be found.\r";

// The INF file has a section Tools; a present device has the sample's ID; the
// service S is stopped.
class SystemLibraryTest : public ostrel_test::DeviceFixture {
protected:
    SystemLibraryTest()
    {
        sim::InfFile inf = *machine.infs.Find(ostrel_test::kDefaultInfPath);
        inf.sections[u"tools"].registryValues = {{u"HKLM\\Software\\Ostrel\\Tool", u"1"}};
        machine.AddInf(ostrel_test::kDefaultInfPath, inf);
        AddDevice(u"ROOT\\OSTREL\\0000", {kWidget});
        machine.services.Add(u"S");
        machine.stdError = sim::StdTarget::file;
    }

    // The file names of the libraries loaded, in order.
    std::vector<std::string> Loaded() const
    {
        std::vector<std::string> names;
        for (const std::u16string& path : machine.loadedLibraries)
            names.push_back(sim::U8(path.substr(path.find_last_of(u'\\') + 1)));
        return names;
    }
};

struct LoadCase {
    const char* name;
    const char* commandLine;
    std::vector<std::string> loaded;
};

// USER32 tells whether boxes can be seen and shows them; a quiet run asks
// neither. newdev.dll is the device installation's own, loaded per update.
const LoadCase kLoadCases[] = {
    {"StopService", "stop service S", {"user32.dll"}},
    {"QuietStopService", "/quiet stop service S", {}},
    {"Help", "help", {"user32.dll"}},
    {"QuietInstallSection", "/quiet install inf Tools", {"setupapi.dll"}},
    // The wait for pending installations before and after the walk.
    {"QuietInstallDevice", "/quiet install device ostrel\\widget", {"cfgmgr32.dll", "newdev.dll", "cfgmgr32.dll"}},
    {"RemoveDevice", "remove device ostrel\\widget", {"user32.dll", "setupapi.dll"}},
    {"DefaultInstall", "", {"user32.dll", "shell32.dll"}},
    {"FailedQuietStart", "/quiet start service Missing", {}},
};

class LoadTest : public SystemLibraryTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, LoadsOnlyTheLibrariesItsActionNeedsEachOnce)
{
    Run(GetParam().commandLine);

    EXPECT_EQ(Loaded(), GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(Runs, LoadTest, ::testing::ValuesIn(kLoadCases), ostrel_test::CaseName());

struct MissingCase {
    const char* name;
    std::function<void(sim::Machine&)> arrange;
    const char* commandLine;  // a quiet run
    std::string written;      // to standard error
    DWORD exitCode;
};

void Remove(sim::Machine& m, const char16_t* library) { m.RemoveLibrary(library); }
void Strip(sim::Machine& m, const char16_t* library, const char* function)
{
    m.SystemLibrary(library)->exports.erase(function);
}

const MissingCase kMissingCases[] = {
    {"SetupApiForASection", [](sim::Machine& m) { Remove(m, u"setupapi.dll"); }, "install inf Tools",
     ostrel_test::kOpenInfFailed + "\r\n" + kModuleNotFoundText + "\n", platform::ERROR_MOD_NOT_FOUND},
    {"CommitFunction", [](sim::Machine& m) { Strip(m, u"setupapi.dll", "SetupCommitFileQueueW"); }, "install inf Tools",
     ostrel_test::kCommitFailed + "\r\n" + kProcNotFoundText + "\n", platform::ERROR_PROC_NOT_FOUND},
    {"SetupApiForADevice", [](sim::Machine& m) { Remove(m, u"setupapi.dll"); }, "remove device ostrel\\widget",
     ostrel_test::kGetClassFailed + "\r\n" + kModuleNotFoundText + "\n", platform::ERROR_MOD_NOT_FOUND},
    // The device installation needs none of the Setup API itself when a
    // device with the ID is present.
    {"SetupApiForAPresentDevice", [](sim::Machine& m) { Remove(m, u"setupapi.dll"); }, "install device ostrel\\widget",
     "", 0},
    {"User32ForAQuietRun", [](sim::Machine& m) { Remove(m, u"user32.dll"); }, "stop service S", "", 0},
};

class MissingLibraryTest : public SystemLibraryTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingLibraryTest, FailsTheCallWithTheSystemsErrorAsReportedThere)
{
    GetParam().arrange(machine);

    EXPECT_EQ(static_cast<DWORD>(Run(std::string("/quiet ") + GetParam().commandLine)), GetParam().exitCode);
    EXPECT_EQ(machine.stdErrorBytes, GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Runs, MissingLibraryTest, ::testing::ValuesIn(kMissingCases), ostrel_test::CaseName());

// A person's run: the shell that cannot be loaded answers as the shell does
// for a library it cannot load (SE_ERR_DLLNOTFOUND, 32), and the run shows
// the refused installation with the text the program gives that code.
TEST_F(SystemLibraryTest, AShellThatCannotBeLoadedIsARefusedDefaultInstallation)
{
    machine.RemoveLibrary(u"shell32.dll");
    machine.systemTexts[0x80070020] = u"The process cannot access the file.\r\n";

    EXPECT_EQ(Run(""), 0);

    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("Install failed.\nThe process cannot access the file.")});
    EXPECT_TRUE(machine.shellInstalls.empty());
}

}  // namespace
