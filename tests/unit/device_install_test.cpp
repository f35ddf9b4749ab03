// install device: the driver update on present devices, the new
// root-enumerated device when there is none, every failure on the way, and
// where newdev.dll is loaded from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_fixture.h"
#include "platform/platform.h"

namespace {

using ostrel_test::Box;
using ostrel_test::DeviceFixture;
using ostrel_test::ErrorBox;
using ostrel_test::InformationBox;
using ostrel_test::kAccessDeniedText;
using ostrel_test::kClassGuidMissing;
using ostrel_test::kDefaultInfPath;
using ostrel_test::kGetClassFailed;
using ostrel_test::kNoSuchDevinstText;
using ostrel_test::kOstrelClass;
using ostrel_test::kRebootRequired;
using ostrel_test::kWidget;
using ostrel_test::kWow64Text;
using ostrel_test::NoBoxes;
using platform::BOOL;

const std::u16string kNewDevice = u"ROOT\\OSTRELDEV\\0000";
const std::string kSystemNewDev = "C:\\windows\\system32\\newdev.dll";
const std::string kNewerDriver =
    "A newer driver exists already for hardware ID ostrel\\widget. You must uninstall the existing driver first.";
const std::string kModuleNotFoundText = "The specified module could not be found.\r";
const std::string kProcNotFoundText = "The specified procedure could not be found.\r";

const std::vector<std::string> kUpdateCalls = {
    "LoadLibraryExW(newdev.dll, (null), 0x800)",
    "GetProcAddress(" + kSystemNewDev + ", UpdateDriverForPlugAndPlayDevicesW)",
    "UpdateDriverForPlugAndPlayDevicesW((null), ostrel\\widget, C:\\Tools\\OstrelSetup.inf, 0x0, (BOOL*))",
    "FreeLibrary(" + kSystemNewDev + ")",
};

Box ExclamationBox(std::string text) { return Box{std::move(text), platform::MB_ICONEXCLAMATION}; }

class InstallTest : public DeviceFixture {
protected:
    int Install(const std::u16string& id) { return ostrel_test::WalkAnswer(ostrel::InstallDevice(run, id.c_str())); }
    int Update(const std::u16string& id)
    {
        return ostrel_test::WalkAnswer(ostrel::UpdateDeviceDriver(run, id.c_str()));
    }

    void AddModels(std::initializer_list<std::u16string> models)
    {
        sim::InfFile inf = *machine.infs.Find(kDefaultInfPath);
        inf.models.insert(models);
        machine.AddInf(kDefaultInfPath, inf);
    }

    // The function names of DeviceCalls() after the first driver update.
    std::vector<std::string> StepsAfterFirstUpdate() const
    {
        std::vector<std::string> steps;
        const std::vector<std::string> calls = DeviceCalls();
        for (std::size_t i = kUpdateCalls.size(); i < calls.size(); ++i)
            steps.push_back(calls[i].substr(0, calls[i].find('(')));
        return steps;
    }
};

TEST_F(InstallTest, APresentDeviceWithTheIdGetsTheDriverAndNothingIsCreated)
{
    sim::Device& device = AddDevice(u"PCI\\A", {u"pci\\ven_1", kWidget});

    EXPECT_EQ(Install(kWidget), 1);
    EXPECT_EQ(device.driverInf, kDefaultInfPath);
    EXPECT_EQ(DeviceCalls(), kUpdateCalls);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(LoadedLibraries(), 0u);
}

TEST_F(InstallTest, ABetterDriverInPlaceShowsMessage33AndCreatesNothing)
{
    sim::Device& device = AddDevice(u"PCI\\A", {kWidget});
    device.betterDriverInPlace = true;

    EXPECT_EQ(Install(kWidget), 1);
    EXPECT_EQ(Boxes(), std::vector<Box>{ExclamationBox(kNewerDriver)});
    EXPECT_EQ(device.driverInf, u"");
    EXPECT_EQ(machine.CallCount("SetupDiCreateDeviceInfoList"), 0u);
}

TEST_F(InstallTest, WithoutAPresentDeviceANewRootDeviceIsCreatedRegisteredAndGivenTheDriver)
{
    AddDevice(u"PCI\\GONE", {kWidget}).present = false;

    EXPECT_EQ(Install(kWidget), 1);
    std::vector<std::string> expected = kUpdateCalls;
    const std::vector<std::string> creation = {
        "SetupDiGetINFClassW(C:\\Tools\\OstrelSetup.inf, 32)",
        "SetupDiCreateDeviceInfoList({6A1D2E4F-11C3-4B2A-9E10-52337C0DA401}, (null))",
        "SetupDiCreateDeviceInfoW(set1, OstrelDev, {6A1D2E4F-11C3-4B2A-9E10-52337C0DA401}, (null), (null), 0x1)",
        "SetupDiSetDeviceRegistryPropertyW(set1, ROOT\\OSTRELDEV\\0000, SPDRP_HARDWAREID, ostrel\\widget\\0\\0, 30)",
        "SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set1, ROOT\\OSTRELDEV\\0000)",
    };
    expected.insert(expected.end(), creation.begin(), creation.end());
    expected.insert(expected.end(), kUpdateCalls.begin(), kUpdateCalls.end());
    expected.push_back("SetupDiDestroyDeviceInfoList(set1)");
    EXPECT_EQ(DeviceCalls(), expected);

    const sim::Device* created = machine.devices.FindByInstanceId(kNewDevice);
    ASSERT_NE(created, nullptr);
    EXPECT_TRUE(created->registered && created->present);
    EXPECT_TRUE(sim::SameGuid(created->classGuid, kOstrelClass));
    EXPECT_EQ(created->hardwareIds, sim::MultiString({kWidget}));
    EXPECT_EQ(created->driverInf, kDefaultInfPath);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(OpenSets(), 0u);
}

TEST_F(InstallTest, EachNewDeviceGetsAnInstanceIdOfItsOwn)
{
    AddModels({u"ostrel\\gadget"});
    EXPECT_EQ(Install(kWidget), 1);
    EXPECT_EQ(Install(u"ostrel\\gadget"), 1);
    EXPECT_EQ(machine.devices.WithHardwareId(u"ostrel\\gadget"), std::vector<std::u16string>{u"ROOT\\OSTRELDEV\\0001"});
}

// The INF file has no driver for the ID: the update on the new device finds
// none either. That is a failure, and the device is taken out again.
TEST_F(InstallTest, TheNewDeviceIsRemovedAgainWhenTheSecondUpdateFindsNoDriverForIt)
{
    EXPECT_EQ(Install(u"ostrel\\gadget"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("Update device driver for ostrel\\gadget failed.\n" +
                                                 std::string(kNoSuchDevinstText))});
    EXPECT_TRUE(machine.devices.byDevInst.empty());
    EXPECT_EQ(
        CallsTo({"SetupDiSetClassInstallParamsW", "SetupDiCallClassInstaller"}),
        (std::vector<std::string>{
            "SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set1, ROOT\\OSTRELDEV\\0000)",
            "SetupDiSetClassInstallParamsW(set1, ROOT\\OSTRELDEV\\0000, DIF_REMOVE, DI_REMOVEDEVICE_GLOBAL, 0, 16)",
            "SetupDiCallClassInstaller(DIF_REMOVE, set1, ROOT\\OSTRELDEV\\0000)"}));
    EXPECT_EQ(run.outcome.ExitCode(), platform::ERROR_NO_SUCH_DEVINST);
    EXPECT_EQ(OpenSets(), 0u);
}

// A removal that fails is reported too; the first failure stays the run's,
// and a quiet run asks the class installer not to prompt.
TEST_F(InstallTest, ARemovalThatFailsIsReportedAfterTheFailureThatLedToIt)
{
    machine.devices.classes.front().removalRefusal = platform::ERROR_ACCESS_DENIED;
    run.quiet = true;
    EXPECT_EQ(Install(u"ostrel\\gadget"), 0);
    EXPECT_EQ(Boxes(),
              (std::vector<Box>{
                  ErrorBox("Update device driver for ostrel\\gadget failed.\n" + std::string(kNoSuchDevinstText)),
                  ErrorBox("Remove of the new device for ostrel\\gadget failed.\n" + kAccessDeniedText)}));
    EXPECT_EQ(machine.devices.WithHardwareId(u"ostrel\\gadget"), std::vector<std::u16string>{kNewDevice});
    EXPECT_EQ(run.outcome.ExitCode(), platform::ERROR_NO_SUCH_DEVINST);
    EXPECT_EQ(machine.CallCount("SetupDiSetDeviceInstallParamsW"), 1u) << "DI_QUIETINSTALL before the removal";
}

TEST_F(InstallTest, MessageFromTheSecondUpdateDecidesTheResult)
{
    machine.FailCall(sim::Fault::Nth("UpdateDriverForPlugAndPlayDevicesW", 2, platform::ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(Install(kWidget), 1);
    EXPECT_EQ(Boxes(), std::vector<Box>{ExclamationBox(kNewerDriver)});
}

// A failure of the first update other than its two special errors is shown
// once, and no device is made for it.
struct UpdateFailure {
    const char* name;
    void (*arrange)(sim::Machine&);
    Box box;
};

const UpdateFailure kUpdateFailures[] = {
    {"NewDevMissing", [](sim::Machine& m) { m.RemoveLibrary(u"newdev.dll"); },
     ErrorBox("Load of newdev.dll failed.\n" + kModuleNotFoundText)},
    {"UpdateFunctionMissing",
     [](sim::Machine& m) {
         m.RemoveLibrary(u"newdev.dll");
         sim::AddNewDevLibrary(m, false);
     },
     ErrorBox("UpdateDriverForPlugAndPlayDevices function not found.\n" + kProcNotFoundText)},
    {"UpdateRefused", [](sim::Machine& m) { m.devices.wow64 = true; },
     ErrorBox("Update device driver for ostrel\\widget failed.\n" + kWow64Text)},
};

std::ostream& operator<<(std::ostream& out, const UpdateFailure& failure) { return out << failure.name; }

class UpdateFailureTest : public InstallTest, public ::testing::WithParamInterface<UpdateFailure> {};

TEST_P(UpdateFailureTest, IsShownOnceAndNothingIsCreated)
{
    GetParam().arrange(machine);

    EXPECT_EQ(Install(kWidget), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{GetParam().box});
    EXPECT_TRUE(machine.devices.byDevInst.empty());
    EXPECT_EQ(machine.CallCount("SetupDiCreateDeviceInfoW"), 0u);
    EXPECT_EQ(LoadedLibraries(), 0u);
    EXPECT_EQ(OpenSets(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, UpdateFailureTest, ::testing::ValuesIn(kUpdateFailures), ostrel_test::CaseName());

// The steps that create the device: each failure is shown, the set is
// destroyed after the box, and no device is left behind.
struct CreationFailure {
    const char* name;
    const char* failingCall;  // null: the class installer refuses the registration
    bool dropClass;
    Box box;
    std::vector<std::string> steps;
};

const CreationFailure kCreationFailures[] = {
    {"InfClassUnreadable",
     "SetupDiGetINFClassW",
     false,
     ErrorBox(kGetClassFailed + "\n" + kAccessDeniedText),
     {"SetupDiGetINFClassW", "box"}},
    {"NoClassGuid", nullptr, true, ErrorBox(kClassGuidMissing), {"SetupDiGetINFClassW", "box"}},
    {"NoDeviceInfoList",
     "SetupDiCreateDeviceInfoList",
     false,
     ErrorBox("Create of device info list failed.\n" + kAccessDeniedText),
     {"SetupDiGetINFClassW", "SetupDiCreateDeviceInfoList", "box"}},
    {"NoDeviceInfo",
     "SetupDiCreateDeviceInfoW",
     false,
     ErrorBox("Create device info failed.\n" + kAccessDeniedText),
     {"SetupDiGetINFClassW", "SetupDiCreateDeviceInfoList", "SetupDiCreateDeviceInfoW", "box",
      "SetupDiDestroyDeviceInfoList"}},
    {"HardwareIdRefused",
     "SetupDiSetDeviceRegistryPropertyW",
     false,
     ErrorBox("Add hardware ID device property ostrel\\widget failed.\n" + kAccessDeniedText),
     {"SetupDiGetINFClassW", "SetupDiCreateDeviceInfoList", "SetupDiCreateDeviceInfoW",
      "SetupDiSetDeviceRegistryPropertyW", "box", "SetupDiSetClassInstallParamsW", "SetupDiCallClassInstaller",
      "SetupDiDestroyDeviceInfoList"}},
    {"RegistrationRefused",
     nullptr,
     false,
     ErrorBox("Register device ostrel\\widget failed.\n" + kAccessDeniedText),
     {"SetupDiGetINFClassW", "SetupDiCreateDeviceInfoList", "SetupDiCreateDeviceInfoW",
      "SetupDiSetDeviceRegistryPropertyW", "SetupDiCallClassInstaller", "box", "SetupDiSetClassInstallParamsW",
      "SetupDiCallClassInstaller", "SetupDiDestroyDeviceInfoList"}},
};

std::ostream& operator<<(std::ostream& out, const CreationFailure& failure) { return out << failure.name; }

class CreationFailureTest : public InstallTest, public ::testing::WithParamInterface<CreationFailure> {};

TEST_P(CreationFailureTest, IsShownAndLeavesNoDevice)
{
    const CreationFailure& failure = GetParam();
    if (failure.failingCall != nullptr) machine.FailCall(sim::Fault::Every(failure.failingCall));
    if (failure.dropClass) DropInfClass();
    if (failure.failingCall == nullptr && !failure.dropClass)
        machine.devices.classes.front().registrationRefusal = platform::ERROR_ACCESS_DENIED;

    EXPECT_EQ(Install(kWidget), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{failure.box});
    EXPECT_EQ(StepsAfterFirstUpdate(), failure.steps);
    EXPECT_TRUE(machine.devices.byDevInst.empty());
    EXPECT_EQ(OpenSets(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, CreationFailureTest, ::testing::ValuesIn(kCreationFailures), ostrel_test::CaseName());

// The ID copy holds 255 characters; the updates and the reports get the
// whole argument. The update of the whole ID then finds no device with it:
// the new device is taken out again.
TEST_F(InstallTest, ALongIdIsCutForTheNewDeviceOnly)
{
    const std::u16string id(300, u'x');
    AddModels({id});

    EXPECT_EQ(Install(id), 0);
    const std::vector<std::string> written = CallsTo({"SetupDiSetDeviceRegistryPropertyW"});
    ASSERT_EQ(written.size(), 1u);
    EXPECT_NE(written[0].find(", " + std::string(255, 'x') + "\\0\\0, 514)"), std::string::npos) << written[0];
    EXPECT_TRUE(machine.devices.byDevInst.empty());
    unsigned updates = 0;
    for (const sim::CallRecord& call : machine.Calls()) {
        if (call.function != "UpdateDriverForPlugAndPlayDevicesW") continue;
        ++updates;
        EXPECT_EQ(call.arguments.at(1), id);
    }
    EXPECT_EQ(updates, 2u);
}

TEST_F(InstallTest, ReportsOfALongIdShowTheWholeArgument)
{
    const std::u16string id(300, u'x');
    machine.devices.classes.front().registrationRefusal = platform::ERROR_ACCESS_DENIED;
    machine.FailCall(sim::Fault::Nth("SetupDiSetDeviceRegistryPropertyW", 2));

    EXPECT_EQ(Install(id), 0);
    EXPECT_EQ(Install(id), 0);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                              "Register device " + sim::U8(id) + " failed.\n" + kAccessDeniedText,
                              "Add hardware ID device property " + sim::U8(id) + " failed.\n" + kAccessDeniedText,
                          }));
}

TEST_F(InstallTest, AnEmptyIdCreatesNothingAndLetsTheRunGoOn)
{
    EXPECT_EQ(Install(u""), 1);
    EXPECT_EQ(DeviceCalls(), std::vector<std::string>{});
    EXPECT_EQ(Boxes(), NoBoxes());
}

TEST_F(InstallTest, UnloadingNewDevKeepsTheErrorOfTheUpdate)
{
    machine.lastError = ostrel_test::kUntouchedLastError;
    machine.FailCall(sim::Fault::Every("FreeLibrary"));
    EXPECT_TRUE(ostrel::UpdateDeviceDriver(run, kWidget.c_str()).IsNothingFound());
    EXPECT_EQ(machine.lastError, platform::ERROR_NO_SUCH_DEVINST);
}

// Windows answers every update that needs no restart with FALSE.
TEST_F(InstallTest, ARestartOneUpdateNeedsIsNotForgottenByTheNext)
{
    AddModels({u"ostrel\\gadget"});
    AddDevice(u"PCI\\A", {kWidget}).restartAfterDriverInstall = true;
    AddDevice(u"PCI\\B", {u"ostrel\\gadget"});

    EXPECT_EQ(Update(kWidget), 1);
    EXPECT_EQ(RestartNeeded(), platform::TRUE);
    EXPECT_EQ(Update(u"ostrel\\gadget"), 1);
    EXPECT_EQ(RestartNeeded(), platform::TRUE);
}

// Where newdev.dll comes from.
BOOL PLATFORM_API PlantedUpdate(platform::HWND, platform::LPCWSTR, platform::LPCWSTR, platform::DWORD, BOOL*)
{
    sim::Machine::Current().Enter("planted newdev.dll ran");
    return platform::TRUE;
}

class NewDevLoadingTest : public InstallTest {
protected:
    NewDevLoadingTest()
    {
        machine.libraries.push_back(sim::Library{
            u"C:\\Tools\\newdev.dll",
            {{"UpdateDriverForPlugAndPlayDevicesW", reinterpret_cast<platform::FARPROC>(&PlantedUpdate)}}});
        AddDevice(u"PCI\\A", {kWidget});
    }
};

TEST_F(NewDevLoadingTest, APlantedLibraryBesideTheProgramWouldBeFoundByTheClassicSearch)
{
    const platform::HMODULE found = platform::LoadLibraryExW(u"newdev.dll", nullptr, 0);
    EXPECT_EQ(machine.handles.Label(found), u"C:\\Tools\\newdev.dll");
    platform::FreeLibrary(found);
}

TEST_F(NewDevLoadingTest, TheSystemFolderIsTheOnlyPlaceLookedIn)
{
    EXPECT_EQ(Update(kWidget), 1);
    EXPECT_EQ(machine.loadedLibraries, std::vector<std::u16string>{sim::U16(kSystemNewDev)});
    EXPECT_EQ(machine.CallCount("planted newdev.dll ran"), 0u);
}

TEST_F(NewDevLoadingTest, WithoutTheSearchFlagTheFullSystemPathIsUsed)
{
    machine.hasSetDefaultDllDirectories = false;

    EXPECT_EQ(Update(kWidget), 1);
    EXPECT_EQ(machine.CallsTo({"LoadLibraryExW"}),
              (std::vector<std::string>{"LoadLibraryExW(newdev.dll, (null), 0x800)",
                                        "LoadLibraryExW(" + kSystemNewDev + ", (null), 0x0)"}));
    EXPECT_EQ(machine.loadedLibraries, std::vector<std::u16string>{sim::U16(kSystemNewDev)});
    EXPECT_EQ(machine.CallCount("planted newdev.dll ran"), 0u);
}

TEST_F(NewDevLoadingTest, ASystemFolderPathTooLongForTheLibraryNameLoadsNothing)
{
    machine.hasSetDefaultDllDirectories = false;
    machine.systemDirectory = u"C:\\" + std::u16string(250, u'w');
    sim::AddSystemLibraries(machine);
    sim::AddNewDevLibrary(machine);

    EXPECT_EQ(Update(kWidget), 0);
    EXPECT_EQ(machine.CallCount("LoadLibraryExW"), 1u);
    ASSERT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(BoxTexts()[0].substr(0, 27), "Load of newdev.dll failed.\n");
}

// Whole runs: the walk over the IDs and the restart step.
class InstallRunTest : public InstallTest {
protected:
    InstallRunTest()
    {
        AddModels({u"ostrel\\gadget"});
        AddDevice(u"PCI\\A", {kWidget}).restartAfterDriverInstall = true;
        AddDevice(u"PCI\\B", {u"ostrel\\gadget"});
    }
};

TEST_F(InstallRunTest, ARestartNeededByAnEarlierIdIsAnnouncedAtTheEnd)
{
    EXPECT_EQ(Run("install device ostrel\\widget ostrel\\gadget"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{InformationBox(kRebootRequired)});
}

TEST_F(InstallRunTest, WithRebootTheSystemAsksInstead)
{
    EXPECT_EQ(Run("/reboot install device ostrel\\widget ostrel\\gadget"), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.restartPrompts, 1u);
}

TEST_F(InstallRunTest, AnEmptyFirstIdIsPassedOver)
{
    EXPECT_EQ(Run("install device  ostrel\\gadget"), 0);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"PCI\\B")->driverInf, kDefaultInfPath);
    EXPECT_EQ(Boxes(), NoBoxes());
}

TEST_F(InstallRunTest, AnIdThatEndsWithoutADriverFailsLeavesNoDeviceAndStopsTheWalk)
{
    EXPECT_EQ(Run("install device ostrel\\unknown ostrel\\gadget"), 0);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"PCI\\B")->driverInf, u"");
    EXPECT_TRUE(machine.devices.WithHardwareId(u"ostrel\\unknown").empty());
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("Update device driver for ostrel\\unknown failed.\n" +
                                                 std::string(kNoSuchDevinstText))});
    EXPECT_EQ(static_cast<platform::DWORD>(Run("/quiet install device ostrel\\unknown ostrel\\gadget")),
              platform::ERROR_NO_SUCH_DEVINST);
}

}  // namespace
