// What only the simulated machine can be set up to show of newdev.dll and
// the library loader: a better driver in place, compatible IDs, a library
// planted beside the program, a system without the search flags. The rest of
// their contracts are cases of tests/contract, run under Wine too.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "device_fixture.h"
#include "platform/platform.h"

namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): these tests speak Win32
using ostrel_test::DeviceFixture;
using ostrel_test::kDefaultInfPath;
using ostrel_test::kUntouchedLastError;

struct Contract {
    const char* name;
    std::function<bool()> call;  // true when the call succeeded
    DWORD error;                 // the last error afterwards; kUntouchedLastError for a success
};

class SimDeviceTest : public DeviceFixture {
protected:
    void Check(const std::vector<Contract>& contracts)
    {
        for (const Contract& c : contracts) {
            SCOPED_TRACE(c.name);
            machine.lastError = kUntouchedLastError;
            EXPECT_EQ(c.call(), c.error == kUntouchedLastError);
            EXPECT_EQ(machine.lastError, c.error) << std::hex << machine.lastError;
        }
    }

    BOOL Update(const char16_t* id, DWORD flags = 0, const char16_t* inf = nullptr)
    {
        return reinterpret_cast<UpdateDriverForPlugAndPlayDevicesWFn>(updateFunction)(
            nullptr, id, inf == nullptr ? kDefaultInfPath.c_str() : inf, flags, &restart);
    }

    FARPROC updateFunction = machine.SystemLibrary(u"newdev.dll")->exports.at("UpdateDriverForPlugAndPlayDevicesW");
    BOOL restart = TRUE;
};

TEST_F(SimDeviceTest, NewDevUpdate)
{
    AddDevice(u"PCI\\BETTER", {u"ostrel\\better"}).betterDriverInPlace = true;
    AddDevice(u"PCI\\COMPATIBLE", {u"pci\\c"}).compatibleIds = sim::MultiString({u"ostrel\\compatible"});
    sim::InfFile inf = *machine.infs.Find(kDefaultInfPath);
    inf.models.insert({u"ostrel\\better", u"ostrel\\compatible"});
    machine.AddInf(kDefaultInfPath, inf);
    Check({
        {"the driver in place is better", [&] { return Update(u"ostrel\\better") != 0; }, ERROR_NO_MORE_ITEMS},
        {"compatible ID", [&] { return Update(u"ostrel\\compatible") != 0; }, kUntouchedLastError},
        {"forced over a better driver", [&] { return Update(u"ostrel\\better", 0x1) != 0; }, kUntouchedLastError},
    });
    EXPECT_EQ(restart, FALSE);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"PCI\\BETTER")->driverInf, kDefaultInfPath);
}

TEST_F(SimDeviceTest, LibraryLoading)
{
    machine.libraries.push_back(sim::Library{u"C:\\Tools\\newdev.dll", {}});
    HMODULE module = nullptr;
    Check({
        {"search flags where the system has none",
         [&] {
             machine.hasSetDefaultDllDirectories = false;
             const bool loaded = LoadLibraryExW(u"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) != nullptr;
             machine.hasSetDefaultDllDirectories = true;
             return loaded;
         },
         ERROR_INVALID_PARAMETER},
        {"default directories: the system folder",
         [&] { return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0; }, kUntouchedLastError},
        {"bare name after that", [&] { return (module = LoadLibraryExW(u"NEWDEV.DLL", nullptr, 0)) != nullptr; },
         kUntouchedLastError},
        {"freed", [&] { return FreeLibrary(module) != 0; }, kUntouchedLastError},
        {"freed twice", [&] { return FreeLibrary(module) != 0; }, ERROR_INVALID_HANDLE},
    });
    EXPECT_EQ(machine.loadedLibraries, std::vector<std::u16string>{u"C:\\windows\\system32\\newdev.dll"});
}

}  // namespace
