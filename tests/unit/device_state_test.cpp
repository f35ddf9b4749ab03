// Enable, disable and remove: which devices a hardware ID reaches, what each
// action asks of the Setup API and in which order, and what the user sees
// when a step fails.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "device_fixture.h"
#include "run/run_log.h"

namespace {

using ostrel_test::Box;
using ostrel_test::DeviceFixture;
using ostrel_test::ErrorBox;
using ostrel_test::kAccessDeniedText;
using ostrel_test::kClassGuidMissing;
using ostrel_test::kDefaultInfPath;
using ostrel_test::kGetClassFailed;
using ostrel_test::kOstrelClass;
using ostrel_test::kOtherClass;
using ostrel_test::kRebootRequired;
using ostrel_test::kWidget;
using ostrel_test::NoBoxes;
using platform::BOOL;

using OperationFn = ostrel::Result (*)(ostrel::RunContext&, const char16_t*);

struct StateOperation {
    const char* name;
    OperationFn run;
    const char* failureMessage;        // the catalogue text, "%1" already given the ID below
    const char* actionCall;            // the call whose failure is the action's failure
    unsigned callsPerDevice;           // how often a handled device sees the action call
    bool enableFirst;                  // the device starts disabled, so that enabling shows
    bool (*done)(const sim::Device*);  // whether it has done its work on the device, null once it is gone
};

std::ostream& operator<<(std::ostream& out, const StateOperation& operation) { return out << operation.name; }

const StateOperation kOperations[] = {
    {"Remove", ostrel::RemoveDevice, "Remove device ostrel\\widget failed.", "SetupDiRemoveDevice", 1, false,
     [](const sim::Device* device) { return device == nullptr; }},
    {"Disable", ostrel::DisableDevice, "Disable device ostrel\\widget failed.", "SetupDiCallClassInstaller", 1, false,
     [](const sim::Device* device) { return device != nullptr && device->disabledInProfile; }},
    {"Enable", ostrel::EnableDevice, "Enable device ostrel\\widget failed.", "SetupDiCallClassInstaller", 2, true,
     [](const sim::Device* device) { return device != nullptr && device->Enabled(); }},
    {"Restart", ostrel::RestartDevice, "Restart of device ostrel\\widget failed.", "SetupDiCallClassInstaller", 1,
     false, [](const sim::Device* device) { return device != nullptr && device->restarts == 1; }},
};

// One operation's view of the machine; each suite says which operation it runs.
class StateFixture : public DeviceFixture {
protected:
    virtual const StateOperation& Operation() const = 0;

    sim::Device& Add(const std::u16string& instanceId, std::initializer_list<std::u16string> hardwareIds)
    {
        sim::Device& device = AddDevice(instanceId, hardwareIds);
        device.disabledInProfile = Operation().enableFirst;
        return device;
    }
    sim::Device& AddRaw(const std::u16string& instanceId, const std::u16string& data)
    {
        sim::Device& device = machine.devices.AddRaw(instanceId, kOstrelClass, data);
        device.disabledInProfile = Operation().enableFirst;
        return device;
    }

    int Run(const std::u16string& hardwareId)
    {
        return ostrel_test::WalkAnswer(Operation().run(run, hardwareId.c_str()));
    }

    bool Changed(const std::u16string& instanceId)
    {
        return Operation().done(machine.devices.FindByInstanceId(instanceId));
    }

    unsigned ActionCalls() const { return machine.CallCount(Operation().actionCall); }

    Box Failure() const { return ErrorBox(std::string(Operation().failureMessage) + "\n" + kAccessDeniedText); }
};

class StateChangeTest : public StateFixture, public ::testing::WithParamInterface<StateOperation> {
protected:
    const StateOperation& Operation() const override { return GetParam(); }
};

// An operation together with one case of a table.
template <typename Case>
class StateCaseTest : public StateFixture, public ::testing::WithParamInterface<std::tuple<StateOperation, Case>> {
protected:
    const StateOperation& Operation() const override { return std::get<0>(StateCaseTest::GetParam()); }
    static const Case& TheCase() { return std::get<1>(StateCaseTest::GetParam()); }
};

template <typename Case>
std::string OperationAndCase(const ::testing::TestParamInfo<std::tuple<StateOperation, Case>>& info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

TEST_P(StateChangeTest, TwoMatchingDevicesAreBothHandledThoughTheFirstFails)
{
    Add(u"PCI\\A", {kWidget});
    Add(u"PCI\\B", {u"pci\\other", kWidget});
    machine.FailCall(sim::Fault::On(GetParam().actionCall, u"PCI\\A"));

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_EQ(Boxes(), std::vector<Box>{Failure()});
    EXPECT_FALSE(Changed(u"PCI\\A"));
    EXPECT_TRUE(Changed(u"PCI\\B"));
    EXPECT_EQ(OpenSets(), 0u);
}

// Each case: the device's raw SPDRP_HARDWAREID data and the argument.
struct MatchCase {
    const char* name;
    std::u16string data;
    std::u16string argument;
    bool handled;
};

std::ostream& operator<<(std::ostream& out, const MatchCase& c) { return out << c.name; }

std::u16string Repeat(char16_t c, std::size_t count) { return std::u16string(count, c); }

// 520 bytes exactly: a filler string, then `last`, with or without its
// terminator, and no closing empty string either way.
std::u16string FullBuffer(const std::u16string& last, bool terminated)
{
    const std::size_t filler = 260 - last.size() - (terminated ? 1 : 0) - 1;
    std::u16string data = Repeat(u'a', filler) + u'\0' + last;
    if (terminated) data.push_back(u'\0');
    return data;
}

const MatchCase kMatchCases[] = {
    {"ThirdHardwareId", sim::MultiString({u"pci\\a", u"pci\\b", kWidget}), kWidget, true},
    {"CapitalLettersInTheArgument", sim::MultiString({kWidget}), u"OSTREL\\WIDGET", true},
    {"CapitalLettersInTheList", sim::MultiString({u"OSTREL\\Widget"}), kWidget, true},
    {"ListedTwiceHandledOnce", sim::MultiString({kWidget, kWidget}), kWidget, true},
    {"FullBufferLastStringTerminated", FullBuffer(kWidget, true), kWidget, true},
    {"FullBufferLastStringUnterminated", FullBuffer(kWidget, false), kWidget, false},
    {"AccentedCapitalLetter", sim::MultiString({u"ostrel\u00E4"}), u"OSTREL\u00C4", false},
    {"EmptyArgument", sim::MultiString({kWidget}), u"", false},
    {"ArgumentAPrefixOfTheListedId", sim::MultiString({kWidget}), u"ostrel\\widge", false},
    {"ListedIdAPrefixOfTheArgument", sim::MultiString({kWidget}), u"ostrel\\widgets", false},
    {"IdAfterAnEmptyString", u"pci\\a" + std::u16string(2, u'\0') + kWidget + std::u16string(2, u'\0'), kWidget, false},
    {"ThirdIdOfAListOf2000Bytes", sim::MultiString({Repeat(u'a', 600), Repeat(u'b', 385), kWidget}), kWidget, true},
    {"NoHardwareIdsAtAll", sim::MultiString({}), kWidget, false},
};

class HardwareIdMatchTest : public StateCaseTest<MatchCase> {};

TEST_P(HardwareIdMatchTest, HandlesExactlyTheDevicesThatListTheId)
{
    const MatchCase& c = TheCase();
    AddRaw(u"PCI\\A", c.data);

    EXPECT_EQ(Run(c.argument), 1);
    EXPECT_EQ(Changed(u"PCI\\A"), c.handled);
    EXPECT_EQ(ActionCalls(), c.handled ? Operation().callsPerDevice : 0);
    EXPECT_EQ(Boxes(), NoBoxes());
}

INSTANTIATE_TEST_SUITE_P(Device, HardwareIdMatchTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations), ::testing::ValuesIn(kMatchCases)),
                         OperationAndCase<MatchCase>);

TEST_P(StateChangeTest, OnlyPresentDevicesOfTheInfClassAreLookedAt)
{
    Add(u"PCI\\GONE", {kWidget}).present = false;
    machine.devices.Add(u"PCI\\OTHER", kOtherClass, {kWidget});
    sim::Device& compatible = Add(u"PCI\\COMPATIBLE", {u"pci\\x"});
    compatible.compatibleIds = sim::MultiString({kWidget});

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_EQ(ActionCalls(), 0u);
    EXPECT_EQ(Boxes(), NoBoxes());
}

// A list without its closing empty string must not be read on into the
// list of the device scanned before it.
TEST_P(StateChangeTest, AListWithoutItsClosingEmptyStringDoesNotInheritThePreviousDevicesIds)
{
    Add(u"PCI\\LONG", {u"aaaaaaaa", kWidget});
    AddRaw(u"PCI\\SHORT", std::u16string(u"x") + u'\0');

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_TRUE(Changed(u"PCI\\LONG"));
    EXPECT_FALSE(Changed(u"PCI\\SHORT"));
}

TEST_P(StateChangeTest, AFailedHardwareIdReadSkipsTheDeviceSilently)
{
    Add(u"PCI\\A", {kWidget});
    Add(u"PCI\\B", {kWidget});
    machine.FailCall(sim::Fault::On("SetupDiGetDeviceRegistryPropertyW", u"PCI\\A"));

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_FALSE(Changed(u"PCI\\A"));
    EXPECT_TRUE(Changed(u"PCI\\B"));
    EXPECT_EQ(Boxes(), NoBoxes());
}

struct RestartCase {
    const char* name;
    platform::DWORD flagsAfterChange;
    BOOL before;
    bool queryFails;
    BOOL after;
};

std::ostream& operator<<(std::ostream& out, const RestartCase& c) { return out << c.name; }

const RestartCase kRestartCases[] = {
    {"NeedReboot", platform::DI_NEEDREBOOT, platform::FALSE, false, platform::TRUE},
    {"NeedRestart", platform::DI_NEEDRESTART, platform::FALSE, false, platform::TRUE},
    {"NoRestart", 0, platform::FALSE, false, platform::FALSE},
    {"NoRestartKeepsAnEarlierOne", 0, platform::TRUE, false, platform::TRUE},
    {"QueryFails", platform::DI_NEEDREBOOT, platform::FALSE, true, platform::FALSE},
};

class RestartRecordTest : public StateCaseTest<RestartCase> {};

TEST_P(RestartRecordTest, RecordsARestartThatWindowsAsksFor)
{
    const RestartCase& c = TheCase();
    Add(u"PCI\\A", {kWidget}).flagsAfterChange = c.flagsAfterChange;
    SetRestartNeeded(c.before);
    if (c.queryFails) machine.FailCall(sim::Fault::Nth("SetupDiGetDeviceInstallParamsW", 1));

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_EQ(RestartNeeded(), c.after);
    EXPECT_EQ(Boxes(), NoBoxes());
}

INSTANTIATE_TEST_SUITE_P(Device, RestartRecordTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations), ::testing::ValuesIn(kRestartCases)),
                         OperationAndCase<RestartCase>);

TEST_P(StateChangeTest, AFailedActionMakesNoRestartCheck)
{
    Add(u"PCI\\A", {kWidget}).flagsAfterChange = platform::DI_NEEDREBOOT;
    machine.FailCall(sim::Fault::Every(GetParam().actionCall));

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_EQ(RestartNeeded(), platform::FALSE);
    EXPECT_EQ(machine.CallCount("SetupDiGetDeviceInstallParamsW"), 0u);
}

TEST_P(StateChangeTest, NoMatchingDeviceIsSilent)
{
    Add(u"PCI\\A", {u"pci\\other"});
    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_EQ(Run(u"unknown"), 1);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(OpenSets(), 0u);
}

// Another process adds IDs between two reads: the list is read again at the
// size Windows reports. A list that is still growing after three reads is
// passed over, and the log says which device and why; so is one that
// cannot be read at all.
TEST_P(StateChangeTest, AListThatGrowsIsReadAgainAndOneThatCannotBeReadIsPassedOverInTheLog)
{
    const std::u16string longer = sim::MultiString({Repeat(u'a', 300), kWidget});
    AddRaw(u"PCI\\GROWS", sim::MultiString({Repeat(u'a', 280), kWidget})).hardwareIdsLater = {longer};
    AddRaw(u"PCI\\KEEPS", longer).hardwareIdsLater = {longer + longer, longer + longer + longer,
                                                      longer + longer + longer + longer};
    Add(u"PCI\\NONE", {}).hardwareIds.reset();
    ostrel::RunLog log;
    ASSERT_FALSE(log.Open(u"C:\\Tools\\run.log").Failed());
    run.log = &log;

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_TRUE(Changed(u"PCI\\GROWS"));
    EXPECT_FALSE(Changed(u"PCI\\KEEPS"));
    const std::string logged = machine.fileBytes[u"C:\\Tools\\run.log"];
    std::string keyword = Operation().name;  // the action's own word, in lower case
    keyword[0] = static_cast<char>(keyword[0] - 'A' + 'a');
    for (const std::string& line :
         {keyword + " device ostrel\\widget: present device #1 passed over, its hardware IDs cannot be read: "
                    "0x0000007A (122, ERROR_INSUFFICIENT_BUFFER)",
          keyword + " device ostrel\\widget: present device #2 passed over, its hardware IDs cannot be read: "
                    "0x0000000D (13, ERROR_INVALID_DATA)",
          keyword + " device ostrel\\widget: 1 of 3 present devices of the class list it"})
        EXPECT_NE(logged.find(line), std::string::npos) << line << "\n" << logged;
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

TEST_P(StateChangeTest, AFailedScanIsReportedBeforeTheSetIsDestroyed)
{
    Add(u"PCI\\A", {kWidget});
    Add(u"PCI\\B", {kWidget});
    machine.FailCall(sim::Fault::Nth("SetupDiEnumDeviceInfo", 2));

    EXPECT_EQ(Run(kWidget), 1);
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("Scan of devices failed.\n" + kAccessDeniedText)});
    EXPECT_TRUE(Changed(u"PCI\\A"));
    EXPECT_FALSE(Changed(u"PCI\\B"));
    const std::vector<std::string> calls = DeviceCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "box");
    EXPECT_EQ(calls.back(), "SetupDiDestroyDeviceInfoList(set1)");
}

INSTANTIATE_TEST_SUITE_P(Device, StateChangeTest, ::testing::ValuesIn(kOperations), ostrel_test::CaseName());

// Failures before the scan: shown, result 0, no device touched.
struct LookupFailure {
    const char* name;
    const char* failingCall;  // null: the INF file names no class
    Box box;
};

std::ostream& operator<<(std::ostream& out, const LookupFailure& failure) { return out << failure.name; }

const LookupFailure kLookupFailures[] = {
    {"InfClassUnreadable", "SetupDiGetINFClassW", ErrorBox(kGetClassFailed + "\n" + kAccessDeniedText)},
    {"NoClassGuid", nullptr, ErrorBox(kClassGuidMissing)},
    {"NoDeviceList", "SetupDiGetClassDevsW",
     ErrorBox("Get device information for class failed.\n" + kAccessDeniedText)},
};

class LookupFailureTest : public DeviceFixture,
                          public ::testing::WithParamInterface<std::tuple<StateOperation, LookupFailure>> {};

TEST_P(LookupFailureTest, IsShownAndEndsTheOperationWithZero)
{
    const auto& [operation, failure] = GetParam();
    AddDevice(u"PCI\\A", {kWidget});
    if (failure.failingCall != nullptr)
        machine.FailCall(sim::Fault::Every(failure.failingCall));
    else
        DropInfClass();

    EXPECT_EQ(ostrel_test::WalkAnswer(operation.run(run, kWidget.c_str())), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{failure.box});
    EXPECT_EQ(machine.CallCount("SetupDiEnumDeviceInfo"), 0u);
    EXPECT_NE(machine.devices.FindByInstanceId(u"PCI\\A"), nullptr);
    EXPECT_EQ(OpenSets(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Device, LookupFailureTest,
                         ::testing::Combine(::testing::ValuesIn(kOperations), ::testing::ValuesIn(kLookupFailures)),
                         OperationAndCase<LookupFailure>);

}  // namespace

namespace {

class StateCallsTest : public DeviceFixture {
protected:
    StateCallsTest() { AddDevice(u"PCI\\A", {kWidget}); }

    int Enable() { return ostrel_test::WalkAnswer(ostrel::EnableDevice(run, kWidget.c_str())); }

    std::vector<std::string> ActionCalls() const
    {
        return machine.CallsTo({"SetupDiSetClassInstallParamsW", "SetupDiCallClassInstaller", "SetupDiRemoveDevice",
                                "SetupDiGetDeviceInstallParamsW", "MessageBoxW"});
    }
};

const std::string kGlobalEnable =
    "SetupDiSetClassInstallParamsW(set1, PCI\\A, DIF_PROPERTYCHANGE, DICS_ENABLE, DICS_FLAG_GLOBAL, 0, 20)";
const std::string kProfileEnable =
    "SetupDiSetClassInstallParamsW(set1, PCI\\A, DIF_PROPERTYCHANGE, DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC, 0, 20)";
const std::string kPropertyChange = "SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set1, PCI\\A)";
const std::string kRestartQuery = "SetupDiGetDeviceInstallParamsW(set1, PCI\\A)";

TEST_F(StateCallsTest, EachOperationScansThePresentDevicesOfTheInfClass)
{
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::RemoveDevice(run, kWidget.c_str())), 1);
    EXPECT_EQ(DeviceCalls(), (std::vector<std::string>{
                                 "SetupDiGetINFClassW(C:\\Tools\\OstrelSetup.inf, 32)",
                                 "SetupDiGetClassDevsW({6A1D2E4F-11C3-4B2A-9E10-52337C0DA401}, (null), (null), 0x2)",
                                 "SetupDiEnumDeviceInfo(set1, 0)",
                                 "SetupDiGetDeviceRegistryPropertyW(set1, PCI\\A, SPDRP_HARDWAREID, 520)",
                                 "SetupDiRemoveDevice(set1, PCI\\A)",
                                 kRestartQuery,
                                 "SetupDiEnumDeviceInfo(set1, 1)",
                                 "SetupDiDestroyDeviceInfoList(set1)",
                             }));
}

TEST_F(StateCallsTest, DisableChangesTheCurrentProfileOnly)
{
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::DisableDevice(run, kWidget.c_str())), 1);
    EXPECT_EQ(ActionCalls(), (std::vector<std::string>{
                                 "SetupDiSetClassInstallParamsW(set1, PCI\\A, DIF_PROPERTYCHANGE, DICS_DISABLE, "
                                 "DICS_FLAG_CONFIGSPECIFIC, 0, 20)",
                                 kPropertyChange,
                                 kRestartQuery,
                             }));
}

TEST_F(StateCallsTest, EnableClearsAGlobalDisableAndThenEnablesInTheProfile)
{
    sim::Device& device = *machine.devices.FindByInstanceId(u"PCI\\A");
    device.disabledGlobally = true;
    device.disabledInProfile = true;

    EXPECT_EQ(Enable(), 1);
    EXPECT_EQ(ActionCalls(), (std::vector<std::string>{kGlobalEnable, kPropertyChange, kProfileEnable, kPropertyChange,
                                                       kRestartQuery}));
    EXPECT_TRUE(device.Enabled());
}

// Only the enable in the profile decides; the global one may fail unseen.
struct EnableCase {
    const char* name;
    const char* failingCall;
    unsigned callNumber;
    std::vector<std::string> calls;
    bool reported;
};

std::ostream& operator<<(std::ostream& out, const EnableCase& c) { return out << c.name; }

const std::string kFailureBox = "box";

const EnableCase kEnableCases[] = {
    {"GlobalParametersRefused",
     "SetupDiSetClassInstallParamsW",
     1,
     {kGlobalEnable, kProfileEnable, kPropertyChange, kRestartQuery},
     false},
    {"GlobalInstallerCallFails",
     "SetupDiCallClassInstaller",
     1,
     {kGlobalEnable, kPropertyChange, kProfileEnable, kPropertyChange, kRestartQuery},
     false},
    {"ProfileParametersRefused",
     "SetupDiSetClassInstallParamsW",
     2,
     {kGlobalEnable, kPropertyChange, kProfileEnable, kFailureBox},
     true},
    {"ProfileInstallerCallFails",
     "SetupDiCallClassInstaller",
     2,
     {kGlobalEnable, kPropertyChange, kProfileEnable, kPropertyChange, kFailureBox},
     true},
};

class EnableFailureTest : public StateCallsTest, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(EnableFailureTest, OnlyTheProfileEnableDecides)
{
    const EnableCase& c = GetParam();
    machine.FailCall(sim::Fault::Nth(c.failingCall, c.callNumber));

    EXPECT_EQ(Enable(), 1);
    std::vector<std::string> calls = ActionCalls();
    for (std::string& call : calls)
        if (call.rfind("MessageBoxW(", 0) == 0) call = kFailureBox;
    EXPECT_EQ(calls, c.calls);
    const std::vector<std::string> failed = {"Enable device ostrel\\widget failed.\n" + kAccessDeniedText};
    EXPECT_EQ(BoxTexts(), c.reported ? failed : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Device, EnableFailureTest, ::testing::ValuesIn(kEnableCases), ostrel_test::CaseName());

// The class installer itself may refuse the property change, as Wine's does.
TEST_F(StateCallsTest, AClassInstallerThatRefusesPropertyChangesFailsEnableAndDisable)
{
    machine.devices.classes.front().propertyChangeRefusal = platform::ERROR_ACCESS_DENIED;
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::DisableDevice(run, kWidget.c_str())), 1);
    EXPECT_EQ(Enable(), 1);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Disable device ostrel\\widget failed.\n" + kAccessDeniedText,
                                                    "Enable device ostrel\\widget failed.\n" + kAccessDeniedText}));
    EXPECT_FALSE(machine.devices.FindByInstanceId(u"PCI\\A")->disabledInProfile);
}

}  // namespace

namespace {

// Whole runs: the walk over the IDs and the restart step after it.
class StateRunTest : public DeviceFixture {
protected:
    StateRunTest()
    {
        AddDevice(u"PCI\\A", {kWidget}).flagsAfterChange = platform::DI_NEEDREBOOT;
        AddDevice(u"PCI\\B", {u"ostrel\\gadget"});
    }
};

TEST_F(StateRunTest, ARestartWindowsAsksForIsAnnouncedAtTheEnd)
{
    EXPECT_EQ(Run("remove device ostrel\\widget ostrel\\gadget"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{ostrel_test::InformationBox(kRebootRequired)});
    EXPECT_TRUE(machine.devices.byDevInst.empty());
}

TEST_F(StateRunTest, WithRebootTheSystemAsksInstead)
{
    EXPECT_EQ(Run("/reboot disable device ostrel\\widget"), 0);
    EXPECT_EQ(Boxes(), NoBoxes());
    EXPECT_EQ(machine.restartPrompts, 1u);
}

TEST_F(StateRunTest, AMissingClassGuidEndsTheWalk)
{
    DropInfClass();
    EXPECT_EQ(Run("remove device ostrel\\gadget ostrel\\widget"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox(kClassGuidMissing)});
    EXPECT_EQ(machine.CallCount("SetupDiGetINFClassW"), 1u);
    EXPECT_EQ(machine.devices.byDevInst.size(), 2u);
}

}  // namespace
