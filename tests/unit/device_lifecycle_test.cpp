// The life of a driver package: "add driver" stages it, "query device"
// tells which devices run it, "rescan" lets arriving devices find it, and
// "delete driver" takes it out of the driver store again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device.h"
#include "device_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::DeviceFixture;
using ostrel_test::ErrorBox;
using ostrel_test::InformationBox;
using ostrel_test::kAccessDeniedText;
using ostrel_test::kDefaultInfPath;
using ostrel_test::kInvalidCommandLine;
using ostrel_test::kRebootRequired;
using ostrel_test::kWidget;
using ostrel_test::NoBoxes;
using platform::DWORD;

const std::u16string kOtherInf = u"C:\\Vendor\\Other.inf";
const std::u16string kLog = u"C:\\Tools\\run.log";
const std::string kInUse =
    "Driver package oem0.inf is still in use by devices. Call 'OstrelSetup remove device' for them first.";
const std::string kHeader =
    "HardwareId\tInstanceId\tState\tProblem\tProblemName\tInf\tProvider\tVersion\tDate\tThisPackage";

class LifeCycleTest : public DeviceFixture {
protected:
    LifeCycleTest()
    {
        machine.stdOutput = sim::StdTarget::file;
        machine.stdError = sim::StdTarget::file;
        sim::InfFile& ours = machine.infs.byPath.at(sim::FoldCase(kDefaultInfPath));
        ours.provider = u"Ostrel";
        ours.driverVersion = u"2.1.0.0";
        ours.driverDate = u"12-8-2026";
        sim::InfFile other = ours;
        other.provider = u"Contoso";
        machine.AddInf(kOtherInf, other);
    }

    // A present device with the widget's ID and the driver of the package
    // staged from `inf`.
    sim::Device& WithDriver(const std::u16string& instanceId, const std::u16string& inf)
    {
        sim::Device& device = AddDevice(instanceId, {kWidget});
        sim::DeviceTree::InstallDriver(device, inf, machine.devices.Stage(inf), *machine.infs.Find(inf));
        return device;
    }

    std::vector<std::u16string> Store() const
    {
        std::vector<std::u16string> names;
        for (const sim::DriverPackage& package : machine.devices.driverStore)
            names.push_back(package.publishedName + u"=" + package.source);
        return names;
    }

    int Quiet(const std::string& commandLine) { return Run("/quiet /log C:\\Tools\\run.log " + commandLine); }
    bool Logged(const std::string& line) const { return machine.fileBytes.at(kLog).find(line) != std::string::npos; }
};

// --- add driver and delete driver ------------------------------------------

TEST_F(LifeCycleTest, AddDriverStagesThePackageOnceAndNamesItOnStandardOutput)
{
    EXPECT_EQ(Quiet("add driver"), 0);
    EXPECT_EQ(Store(), std::vector<std::u16string>{u"oem0.inf=" + kDefaultInfPath});
    EXPECT_EQ(machine.stdOutputBytes, "oem0.inf\r\n");
    EXPECT_TRUE(Logged("add driver: staged as oem0.inf\r\n"));
    // Nothing was installed on the device that the package has a driver for.
    EXPECT_TRUE(AddDevice(u"PCI\\A", {kWidget}).driverKey.empty());

    machine.stdOutputBytes.clear();
    EXPECT_EQ(Quiet("add driver"), 0);
    EXPECT_EQ(Store().size(), 1U);
    EXPECT_EQ(machine.stdOutputBytes, "oem0.inf\r\n");
    EXPECT_TRUE(Logged("add driver: already in the driver store as oem0.inf\r\n"));
    EXPECT_EQ(machine.CallsTo({"SetupCopyOEMInfW"}),
              std::vector<std::string>(2, "SetupCopyOEMInfW(C:\\Tools\\OstrelSetup.inf, (null), 1, 0x8, 260)"));
}

// SetupCopyOEMInfW looks for a bare name in the INF folder: a relative
// "/f" name is made whole against the current folder first.
TEST_F(LifeCycleTest, AddDriverGivesTheStoreTheFullPathOfARelativeInfName)
{
    machine.currentDirectory = u"C:\\Work\\Sub";
    machine.AddFile(u"..\\pkg.inf");
    machine.AddInf(u"C:\\Work\\pkg.inf", *machine.infs.Find(kDefaultInfPath));

    EXPECT_EQ(Run("/f ..\\pkg.inf add driver"), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(Store(), std::vector<std::u16string>{u"oem0.inf=C:\\Work\\pkg.inf"});
}

// The published name is found without staging: a package the store does
// not hold stays out of it.
TEST_F(LifeCycleTest, DeleteDriverTakesThePackageOutAndLeavesAStoreWithoutItAsItWas)
{
    machine.devices.Stage(kOtherInf);
    machine.devices.Stage(kDefaultInfPath);

    EXPECT_EQ(Quiet("delete driver"), 0);
    EXPECT_EQ(Store(), std::vector<std::u16string>{u"oem0.inf=" + kOtherInf});
    EXPECT_TRUE(Logged("delete driver: oem1.inf deleted from the driver store\r\n"));
    EXPECT_EQ(machine.CallsTo({"SetupCopyOEMInfW", "SetupUninstallOEMInfW"}),
              (std::vector<std::string>{"SetupCopyOEMInfW(C:\\Tools\\OstrelSetup.inf, (null), 1, 0xA, 260)",
                                        "SetupUninstallOEMInfW(oem1.inf, 0x0)"}));

    EXPECT_EQ(Quiet("delete driver"), 0);
    EXPECT_EQ(Store(), std::vector<std::u16string>{u"oem0.inf=" + kOtherInf});
    EXPECT_TRUE(Logged("delete driver: not in the driver store\r\n"));
    EXPECT_EQ(machine.CallCount("SetupUninstallOEMInfW"), 1U);
}

struct InUseCase {
    const char* name;
    bool hasUninstallDriver;
    bool restartToUninstall;
    std::vector<std::string> boxes;
    DWORD quietExitCode;
    bool packageLeft;
};

const InUseCase kInUseCases[] = {
    {"BeforeWindows10_1703", false, false, {kInUse + "\n0xE000023D (ERROR_INF_IN_USE_BY_DEVICES)"}, 0xE000023D, true},
    {"MovesTheDevicesOff", true, false, {}, 0, false},
    {"AndNeedsARestart", true, true, {kRebootRequired}, 3010, false},
};

class DriverInUseTest : public LifeCycleTest, public ::testing::WithParamInterface<InUseCase> {};

TEST_P(DriverInUseTest, IsTakenOffItsDevicesWhereWindowsCanElseTheRunSaysRemoveTheDevicesFirst)
{
    const InUseCase& c = GetParam();
    if (c.hasUninstallDriver) sim::AddUninstallDriver(machine);
    WithDriver(u"PCI\\A", kDefaultInfPath);
    machine.devices.driverStore.back().restartToUninstall = c.restartToUninstall;

    EXPECT_EQ(Run("delete driver"), 0);
    EXPECT_EQ(BoxTexts(), c.boxes);
    EXPECT_EQ(Store().size(), c.packageLeft ? 1U : 0U);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"PCI\\A")->driverKey.empty(), !c.packageLeft);

    WithDriver(u"PCI\\B", kDefaultInfPath);  // staged again where it went
    machine.devices.driverStore.back().restartToUninstall = c.restartToUninstall;
    EXPECT_EQ(static_cast<DWORD>(Quiet("delete driver")), c.quietExitCode);
}

INSTANTIATE_TEST_SUITE_P(DeleteDriver, DriverInUseTest, ::testing::ValuesIn(kInUseCases), ostrel_test::CaseName());

struct StoreFailureCase {
    const char* name;
    const char* commandLine;
    sim::Fault fault;
    std::string message;
};

const StoreFailureCase kStoreFailures[] = {
    {"AddFails", "add driver", sim::Fault::Every("SetupCopyOEMInfW"),
     "Add of driver package C:\\Tools\\OstrelSetup.inf to the driver store failed."},
    {"LookUpFails", "delete driver", sim::Fault::Every("SetupCopyOEMInfW"),
     "Look-up of driver package C:\\Tools\\OstrelSetup.inf in the driver store failed."},
    {"UninstallFails", "delete driver", sim::Fault::Every("SetupUninstallOEMInfW"),
     "Delete of driver package oem0.inf from the driver store failed."},
    {"DiUninstallDriverFails", "delete driver", sim::Fault::Every("DiUninstallDriverW"),
     "Delete of driver package oem0.inf from the driver store failed."},
    {"QueryLooksUpFirst", "query device ostrel\\widget", sim::Fault::Every("SetupCopyOEMInfW"),
     "Look-up of driver package C:\\Tools\\OstrelSetup.inf in the driver store failed."},
    // Not having seen every device, the query answers neither "no device" nor a list.
    {"QueryWhoseScanBreaksOff", "query device ostrel\\widget", sim::Fault::Every("SetupDiEnumDeviceInfo"),
     "Scan of devices failed."},
};

class StoreFailureTest : public LifeCycleTest, public ::testing::WithParamInterface<StoreFailureCase> {};

TEST_P(StoreFailureTest, IsReportedWithTheCallsErrorWhichEndsAQuietRun)
{
    sim::AddUninstallDriver(machine);
    WithDriver(u"PCI\\A", kDefaultInfPath);
    machine.FailCall(GetParam().fault);

    EXPECT_EQ(Run(GetParam().commandLine), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox(GetParam().message + "\n" + kAccessDeniedText)});
    EXPECT_EQ(Store().size(), 1U);
    EXPECT_EQ(static_cast<DWORD>(Quiet(GetParam().commandLine)), platform::ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.stdOutputBytes.find("PCI\\A"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Store, StoreFailureTest, ::testing::ValuesIn(kStoreFailures), ostrel_test::CaseName());

// --- query device -------------------------------------------------------------

struct QueryCase {
    const char* name;
    const char* ids;
    DWORD exitCode;
    std::string lines;  // after the header
};

// PCI\A runs this package, PCI\B is disabled with it, PCI\C failed to start
// with it, PCI\D runs another package and PCI\E has no driver.
const QueryCase kQueryCases[] = {
    {"Started", "pci\\a", 0, "pci\\a\tPCI\\A\tstarted\t\t\toem0.inf\tOstrel\t2.1.0.0\t12-8-2026\tyes\r\n"},
    {"Disabled", "pci\\b", ostrel::kQueryNotStarted,
     "pci\\b\tPCI\\B\tdisabled\t22\tCM_PROB_DISABLED\toem0.inf\tOstrel\t2.1.0.0\t12-8-2026\tyes\r\n"},
    {"Problem", "pci\\c", ostrel::kQueryNotStarted,
     "pci\\c\tPCI\\C\tproblem\t10\tCM_PROB_FAILED_START\toem0.inf\tOstrel\t2.1.0.0\t12-8-2026\tyes\r\n"},
    {"ForeignDriver", "pci\\d", ostrel::kQueryOtherDriver,
     "pci\\d\tPCI\\D\tstarted\t\t\toem1.inf\tContoso\t2.1.0.0\t12-8-2026\tno\r\n"},
    {"NoDriver", "pci\\e", ostrel::kQueryOtherDriver,
     "pci\\e\tPCI\\E\tproblem\t28\tCM_PROB_FAILED_INSTALL\t\t\t\t\tno\r\n"},
    {"NoDevice", "pci\\f", ostrel::kQueryNoDevice, "pci\\f\t\tabsent\t\t\t\t\t\t\tno\r\n"},
    {"OneStartedAmongOthersIsEnough", "ostrel\\widget", 0, ""},
    {"TheFirstIdThatFailsDecides", "pci\\a pci\\f pci\\b", ostrel::kQueryNoDevice, ""},
};

class QueryTest : public LifeCycleTest, public ::testing::WithParamInterface<QueryCase> {
protected:
    QueryTest()
    {
        WithDriver(u"PCI\\A", kDefaultInfPath);
        WithDriver(u"PCI\\B", kDefaultInfPath).disabledInProfile = true;
        WithDriver(u"PCI\\C", kDefaultInfPath).problem = 10;
        WithDriver(u"PCI\\D", kOtherInf);
        AddDevice(u"PCI\\E", {kWidget});
        for (auto& [number, device] : machine.devices.byDevInst)
            device.hardwareIds = sim::MultiString({sim::FoldCase(device.instanceId), kWidget});
    }
};

TEST_P(QueryTest, WritesEachDeviceUnderTheHeaderAndEndsWithTheAnswersCode)
{
    EXPECT_EQ(static_cast<DWORD>(Quiet(std::string("query device ") + GetParam().ids)), GetParam().exitCode);
    if (!GetParam().lines.empty()) {
        EXPECT_EQ(machine.stdOutputBytes, kHeader + "\r\n" + GetParam().lines);
    }
    EXPECT_EQ(machine.stdOutputBytes.rfind(kHeader, 0), 0U);
    EXPECT_EQ(machine.stdErrorBytes, "");
    EXPECT_EQ(Store().size(), 2U);  // the query staged nothing
}

INSTANTIATE_TEST_SUITE_P(Query, QueryTest, ::testing::ValuesIn(kQueryCases), ostrel_test::CaseName());

TEST_F(LifeCycleTest, AQueryShowsOneBoxPerIdWithTheDevicesInTheRunsLanguage)
{
    WithDriver(u"PCI\\A", kDefaultInfPath);
    WithDriver(u"PCI\\B", kOtherInf).disabledInProfile = true;
    AddDevice(u"PCI\\C", {kWidget});

    EXPECT_EQ(Run("/de query device ostrel\\widget pci\\none"), 0);
    EXPECT_EQ(Boxes(),
              (std::vector<Box>{InformationBox("Ger\xC3\xA4te mit Hardware ID ostrel\\widget:\n"
                                               "PCI\\A: gestartet, oem0.inf, Ostrel, 2.1.0.0, 12-8-2026, dieses Paket\n"
                                               "PCI\\B: deaktiviert 22 CM_PROB_DISABLED, oem1.inf, Contoso, 2.1.0.0, "
                                               "12-8-2026, ein anderes Paket\n"
                                               "PCI\\C: Problem 28 CM_PROB_FAILED_INSTALL, kein Treiber"),
                                InformationBox("Kein vorhandenes Ger\xC3\xA4t hat die Hardware ID pci\\none.")}));
}

TEST_F(LifeCycleTest, ABoxListsTenDevicesAndCountsTheRest)
{
    for (char c = 'A'; c <= 'L'; ++c) AddDevice(u"PCI\\" + std::u16string(1, c), {kWidget});
    machine.SystemLibrary(u"cfgmgr32.dll")->exports.erase("CM_Get_DevNode_Status");

    EXPECT_EQ(Run("query device ostrel\\widget"), 0);
    ASSERT_EQ(BoxTexts().size(), 1U);
    const std::string text = BoxTexts()[0];
    EXPECT_NE(text.find("\nPCI\\J: state unknown, no driver\n... and 2 more."), std::string::npos) << text;
    EXPECT_EQ(text.find("PCI\\K"), std::string::npos);
}

// --- restart device and rescan ------------------------------------------------

TEST_F(LifeCycleTest, RestartDeviceIsQuietInAQuietRunAndCarriesARestartIntoTheExitCode)
{
    AddDevice(u"PCI\\A", {kWidget}).flagsAfterChange = platform::DI_NEEDREBOOT;

    EXPECT_EQ(static_cast<DWORD>(Quiet("restart device ostrel\\widget")), platform::ERROR_SUCCESS_REBOOT_REQUIRED);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"PCI\\A")->restarts, 1U);
    EXPECT_EQ(machine.CallsTo({"SetupDiSetDeviceInstallParamsW", "SetupDiSetClassInstallParamsW"}),
              (std::vector<std::string>{"SetupDiSetDeviceInstallParamsW(set1, PCI\\A, 0x800000)",
                                        "SetupDiSetClassInstallParamsW(set1, PCI\\A, DIF_PROPERTYCHANGE, 3, "
                                        "DICS_FLAG_CONFIGSPECIFIC, 0, 20)"}));
    EXPECT_TRUE(Logged("restart device ostrel\\widget: present device #0 restarted\r\n"));
}

// A device that arrives finds the package that "add driver" staged.
TEST_F(LifeCycleTest, RescanFindsArrivingDevicesWhichTakeTheStagedDriverAndWaitsForThemInAQuietRun)
{
    machine.devices.Stage(kDefaultInfPath);
    sim::Device& arriving = AddDevice(u"USB\\A", {kWidget});
    arriving.present = false;
    arriving.arrivesOnRescan = true;

    EXPECT_EQ(Quiet("rescan"), 0);
    EXPECT_TRUE(arriving.present);
    EXPECT_EQ(arriving.driverKey.at(u"InfPath"), u"oem0.inf");
    EXPECT_EQ(machine.CallsTo({"CM_Locate_DevNodeW", "CM_Reenumerate_DevNode", "CMP_WaitNoPendingInstallEvents"}),
              (std::vector<std::string>{"CM_Locate_DevNodeW((root), 0x0)", "CM_Reenumerate_DevNode(0x10000, 0x1)",
                                        "CMP_WaitNoPendingInstallEvents(120000)"}));
    EXPECT_TRUE(Logged("rescan: done\r\n"));
    EXPECT_TRUE(Logged("devices: no installation pending after the rescan\r\n"));
}

struct RescanFailureCase {
    const char* name;
    sim::Fault fault;
    DWORD exitCode;
    std::string logLine;
};

const RescanFailureCase kRescanFailures[] = {
    {"AccessDenied", sim::Fault::Every("CM_Reenumerate_DevNode", platform::CR_ACCESS_DENIED), 5,
     "rescan: failed, CM_Reenumerate_DevNode answered CONFIGRET 51"},
    {"NoWin32Error", sim::Fault::Every("CM_Locate_DevNodeW", platform::CR_FAILURE), platform::ERROR_GEN_FAILURE,
     "rescan: failed, CM_Locate_DevNodeW answered CONFIGRET 19"},
    {"NoFunction", sim::Fault::Every("GetProcAddress", platform::ERROR_PROC_NOT_FOUND), platform::ERROR_PROC_NOT_FOUND,
     "rescan: failed"},
};

class RescanFailureTest : public LifeCycleTest, public ::testing::WithParamInterface<RescanFailureCase> {};

TEST_P(RescanFailureTest, IsReportedWithTheWin32ErrorOfTheConfigurationManagersAnswer)
{
    machine.FailCall(GetParam().fault);
    EXPECT_EQ(static_cast<DWORD>(Quiet("rescan")), GetParam().exitCode);
    EXPECT_EQ(machine.stdErrorBytes.rfind("Scan for hardware changes failed.\r\n", 0), 0U) << machine.stdErrorBytes;
    EXPECT_TRUE(Logged(GetParam().logLine + "\r\n"));
    EXPECT_EQ(machine.devices.rescans, 0U);
}

INSTANTIATE_TEST_SUITE_P(Rescan, RescanFailureTest, ::testing::ValuesIn(kRescanFailures), ostrel_test::CaseName());

// --- the command line -----------------------------------------------------------

struct CommandLineCase {
    const char* name;
    const char* commandLine;
    DWORD exitCode;
    const char* why;  // in the log line of a refused command line
};

const CommandLineCase kCommandLines[] = {
    {"AddDriverWithAnArgument", "add driver x", 1639, "an argument after an action that takes none"},
    {"DeleteDriverWithAnArgument", "delete driver  x", 1639, "an argument after an action that takes none"},
    {"RescanWithAnArgument", "RESCAN ostrel\\widget", 1639, "an argument after an action that takes none"},
    {"AWordThatOnlyBeginsLikeOne", "rescanned", 1639, "an unknown word"},
    {"QueryWithoutIds", "query device ", 1639, "an action without arguments"},
    {"BlanksAfterOneAreNoArgument", "Add Driver   ", 0, nullptr},
};

class LifeCycleCommandLineTest : public LifeCycleTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(LifeCycleCommandLineTest, AnActionWithoutArgumentsTakesNone)
{
    const CommandLineCase& c = GetParam();
    EXPECT_EQ(static_cast<DWORD>(Quiet(c.commandLine)), c.exitCode);
    EXPECT_EQ(machine.CallCount("SetupCopyOEMInfW"), c.exitCode == 0 ? 1U : 0U);
    EXPECT_EQ(machine.CallCount("CM_Reenumerate_DevNode"), 0U);
    EXPECT_EQ(c.why == nullptr || Logged(c.why), true) << c.why;
}

INSTANTIATE_TEST_SUITE_P(Grammar, LifeCycleCommandLineTest, ::testing::ValuesIn(kCommandLines),
                         ostrel_test::CaseName());

// Windows refuses device changes to a 32-bit program on 64-bit Windows: each
// new action goes to the 64-bit program, or is refused without it.
TEST_F(LifeCycleTest, EveryNewActionNeedsThe64BitProgramUnderWow64)
{
    machine.processMachine = platform::IMAGE_FILE_MACHINE_I386;
    machine.devices.wow64 = true;
    for (const char* commandLine :
         {"add driver", "delete driver", "query device ostrel\\widget", "restart device ostrel\\widget", "rescan"}) {
        EXPECT_EQ(static_cast<DWORD>(Run(std::string("/quiet ") + commandLine)), platform::ERROR_IN_WOW64)
            << commandLine;
    }
    EXPECT_EQ(machine.CallCount("SetupCopyOEMInfW") + machine.CallCount("SetupDiGetClassDevsW"), 0U);
}

}  // namespace
