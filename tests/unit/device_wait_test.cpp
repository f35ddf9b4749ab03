// The wait for Plug and Play's pending installations around a device
// action: a quiet run (or one with /wait) waits before the first device call
// and, after "install device", once more; installations still pending
// before the action end the run with nothing done.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_fixture.h"

namespace {

using ostrel_test::DeviceFixture;
using ostrel_test::kWidget;
using platform::DWORD;

const std::string kPending = "Device installations are still in progress. Try again later.";

struct WaitCase {
    const char* name;
    const char* commandLine;
    DWORD pendingMs;
    const char16_t* library;  // the one that has the wait, or null
    DWORD exitCode;
    std::vector<std::string> waits;  // the timeouts asked for
    bool removed;
};

const WaitCase kWaitCases[] = {
    {"NothingPending", "/quiet remove device ostrel\\widget", 0, u"cfgmgr32.dll", 0, {"120000"}, true},
    {"PendingLessThanTheBound", "/quiet remove device ostrel\\widget", 30000, u"cfgmgr32.dll", 0, {"120000"}, true},
    {"PendingLongerThanTheBound",
     "/quiet remove device ostrel\\widget",
     200000,
     u"cfgmgr32.dll",
     1618,
     {"120000"},
     false},
    {"NoLibraryHasIt", "/quiet remove device ostrel\\widget", 200000, nullptr, 0, {}, true},
    {"APersonsRunWaitsForNothing", "remove device ostrel\\widget", 200000, u"cfgmgr32.dll", 0, {}, true},
    {"APersonsRunWithABound", "/wait 5 remove device ostrel\\widget", 200000, u"cfgmgr32.dll", 0, {"5000"}, false},
    {"ABoundOfItsOwn", "/quiet /wait 300 remove device ostrel\\widget", 200000, u"cfgmgr32.dll", 0, {"300000"}, true},
    {"NoWaitAtAll", "/quiet /wait 0 remove device ostrel\\widget", 200000, u"cfgmgr32.dll", 0, {}, true},
    {"InstallWaitsBeforeAndAfter",
     "/quiet install device ostrel\\widget",
     0,
     u"cfgmgr32.dll",
     0,
     {"120000", "120000"},
     true},
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class DeviceWaitTest : public DeviceFixture, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(DeviceWaitTest, WaitsWithTheRunsBoundAndDoesNothingWhileInstallationsArePending)
{
    const WaitCase& c = GetParam();
    machine.stdError = sim::StdTarget::file;
    machine.RemoveLibrary(u"cfgmgr32.dll");
    if (c.library != nullptr) sim::AddPendingInstallWait(machine, c.library);
    machine.devices.pendingInstallationMs = c.pendingMs;
    sim::Device& device = AddDevice(u"PCI\\A", {kWidget});
    const bool installs = std::string(c.commandLine).find("install") != std::string::npos;

    EXPECT_EQ(static_cast<DWORD>(Run(c.commandLine)), c.exitCode);
    std::vector<std::string> waits;
    for (const sim::CallRecord& call : machine.Calls())
        if (call.function == "CMP_WaitNoPendingInstallEvents") waits.push_back(sim::U8(call.arguments[0]));
    EXPECT_EQ(waits, c.waits);
    const bool done = installs ? device.driverInf == ostrel_test::kDefaultInfPath
                               : machine.devices.FindByInstanceId(u"PCI\\A") == nullptr;
    EXPECT_EQ(done, c.removed);
    if (!c.removed) {
        EXPECT_EQ(machine.CallCount("SetupDiGetINFClassW"), 0U) << "nothing is done";
        const bool quiet = std::string(c.commandLine).rfind("/quiet", 0) == 0;
        EXPECT_EQ(quiet ? machine.stdErrorBytes : sim::U8(machine.boxes.at(0).text),
                  quiet ? kPending + "\r\n" : kPending);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DeviceWaitTest, ::testing::ValuesIn(kWaitCases), ostrel_test::CaseName());

// A wait that fails cannot tell: the action goes on, and the log says why.
TEST_F(DeviceFixture, AFailedWaitIsLoggedAndTheActionGoesOn)
{
    machine.FailCall(sim::Fault::Every("CMP_WaitNoPendingInstallEvents", platform::ERROR_ACCESS_DENIED));
    AddDevice(u"PCI\\A", {kWidget});

    EXPECT_EQ(Run("/quiet /log C:\\Tools\\run.log remove device ostrel\\widget"), 0);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"PCI\\A"), nullptr);
    EXPECT_NE(machine.fileBytes[u"C:\\Tools\\run.log"].find(
                  "devices: the wait for pending installations failed, going on: 0x00000005 (5, ERROR_ACCESS_DENIED)"),
              std::string::npos);
}

}  // namespace
