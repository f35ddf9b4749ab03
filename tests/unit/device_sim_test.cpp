// The simulated Setup API, newdev.dll and library loader keep the error
// contracts of Windows that the device operations rely on.
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
using ostrel_test::kOstrelClass;
using ostrel_test::kOtherClass;
using ostrel_test::kUntouchedLastError;
using ostrel_test::kWidget;

struct Contract {
    const char* name;
    std::function<bool()> call;  // true when the call succeeded
    DWORD error;                 // the last error afterwards; kUntouchedLastError for a success
};

class SimDeviceTest : public DeviceFixture {
protected:
    SimDeviceTest()
    {
        AddDevice(u"PCI\\A", {u"pci\\a", kWidget});
        presentSet = SetupDiGetClassDevsW(&kOstrelClass, nullptr, nullptr, DIGCF_PRESENT);
        record.cbSize = sizeof record;
        SetupDiEnumDeviceInfo(presentSet, 0, &record);
        newSet = SetupDiCreateDeviceInfoList(&kOstrelClass, nullptr);
    }
    ~SimDeviceTest() override
    {
        SetupDiDestroyDeviceInfoList(newSet);
        SetupDiDestroyDeviceInfoList(presentSet);
    }

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

    HDEVINFO presentSet = INVALID_HANDLE_VALUE;
    HDEVINFO newSet = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA record{};
    FARPROC updateFunction = machine.SystemLibrary(u"newdev.dll")->exports.at("UpdateDriverForPlugAndPlayDevicesW");
    BOOL restart = TRUE;
};

TEST_F(SimDeviceTest, DeviceInformationSets)
{
    BYTE buffer[520];
    DWORD required = 0;
    SP_DEVINFO_DATA created{};
    created.cbSize = sizeof created;
    SP_DEVINFO_DATA wrongSize = record;
    wrongSize.cbSize = 4;
    SP_DEVINSTALL_PARAMS_W installParams{};
    Check({
        {"enumeration past the end", [&] { return SetupDiEnumDeviceInfo(presentSet, 1, &record) != 0; },
         ERROR_NO_MORE_ITEMS},
        {"enumeration of a bad handle", [&] { return SetupDiEnumDeviceInfo(nullptr, 0, &record) != 0; },
         ERROR_INVALID_HANDLE},
        {"record of the wrong size", [&] { return SetupDiEnumDeviceInfo(presentSet, 0, &wrongSize) != 0; },
         ERROR_INVALID_USER_BUFFER},
        {"hardware IDs read back",
         [&] {
             return SetupDiGetDeviceRegistryPropertyW(presentSet, &record, SPDRP_HARDWAREID, nullptr, buffer,
                                                      sizeof buffer, &required) != 0;
         },
         kUntouchedLastError},
        {"hardware IDs into too small a buffer",
         [&] {
             return SetupDiGetDeviceRegistryPropertyW(presentSet, &record, SPDRP_HARDWAREID, nullptr, buffer, 10,
                                                      &required) != 0;
         },
         ERROR_INSUFFICIENT_BUFFER},
        {"no compatible IDs",
         [&] {
             return SetupDiGetDeviceRegistryPropertyW(presentSet, &record, SPDRP_COMPATIBLEIDS, nullptr, buffer,
                                                      sizeof buffer, nullptr) != 0;
         },
         ERROR_INVALID_DATA},
        {"a record of another set", [&] { return SetupDiRemoveDevice(newSet, &record) != 0; }, ERROR_INVALID_PARAMETER},
        {"a property change without parameters",
         [&] { return SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, presentSet, &record) != 0; },
         ERROR_NO_CLASS_INSTALL_PARAMS},
        {"install parameters of the wrong size",
         [&] { return SetupDiGetDeviceInstallParamsW(presentSet, &record, &installParams) != 0; },
         ERROR_INVALID_USER_BUFFER},
        {"a device of another class in a class's set",
         [&] {
             return SetupDiCreateDeviceInfoW(newSet, u"System", &kOtherClass, nullptr, nullptr, DICD_GENERATE_ID,
                                             &created) != 0;
         },
         ERROR_CLASS_MISMATCH},
        {"a generated ID from a name with a backslash",
         [&] {
             return SetupDiCreateDeviceInfoW(newSet, u"a\\b", &kOstrelClass, nullptr, nullptr, DICD_GENERATE_ID,
                                             &created) != 0;
         },
         ERROR_INVALID_DEVINST_NAME},
        {"an instance ID that exists",
         [&] { return SetupDiCreateDeviceInfoW(newSet, u"PCI\\A", &kOstrelClass, nullptr, nullptr, 0, &created) != 0; },
         ERROR_DEVINST_ALREADY_EXISTS},
        {"destroying a bad handle", [&] { return SetupDiDestroyDeviceInfoList(nullptr) != 0; }, ERROR_INVALID_HANDLE},
    });
    EXPECT_EQ(required, 2u * (6 + 14 + 1));
}

TEST_F(SimDeviceTest, OnlyRegisteredDevicesOutliveTheirSet)
{
    SP_DEVINFO_DATA first{};
    first.cbSize = sizeof first;
    SP_DEVINFO_DATA second = first;
    ASSERT_TRUE(
        SetupDiCreateDeviceInfoW(newSet, u"OstrelDev", &kOstrelClass, nullptr, nullptr, DICD_GENERATE_ID, &first));
    ASSERT_TRUE(
        SetupDiCreateDeviceInfoW(newSet, u"OstrelDev", &kOstrelClass, nullptr, nullptr, DICD_GENERATE_ID, &second));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, newSet, &second));

    ASSERT_TRUE(SetupDiDestroyDeviceInfoList(newSet));
    newSet = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    EXPECT_EQ(machine.devices.FindByInstanceId(u"ROOT\\OSTRELDEV\\0000"), nullptr);
    EXPECT_NE(machine.devices.FindByInstanceId(u"ROOT\\OSTRELDEV\\0001"), nullptr);
}

TEST_F(SimDeviceTest, InfClass)
{
    GUID guid{};
    char16_t name[MAX_CLASS_NAME_LEN];
    DWORD required = 0;
    machine.AddFile(u"C:\\x\\notes.txt");
    sim::InfFile byName;
    byName.className = u"ostreldev";
    machine.AddInf(u"C:\\x\\name.inf", byName);
    machine.AddInf(u"C:\\x\\classless.inf", sim::InfFile{});
    Check({
        {"missing file", [&] { return SetupDiGetINFClassW(u"C:\\x\\none.inf", &guid, name, 32, nullptr) != 0; },
         ERROR_FILE_NOT_FOUND},
        {"not an INF file", [&] { return SetupDiGetINFClassW(u"C:\\x\\notes.txt", &guid, name, 32, nullptr) != 0; },
         ERROR_INVALID_PARAMETER},
        {"no class named at all",
         [&] { return SetupDiGetINFClassW(u"C:\\x\\classless.inf", &guid, name, 32, nullptr) != 0; },
         ERROR_INVALID_CLASS},
        {"name buffer too small",
         [&] { return SetupDiGetINFClassW(kDefaultInfPath.c_str(), &guid, name, 9, &required) != 0; },
         ERROR_INSUFFICIENT_BUFFER},
        {"class known by name only",
         [&] { return SetupDiGetINFClassW(u"C:\\x\\name.inf", &guid, name, 32, nullptr) != 0; }, kUntouchedLastError},
    });
    EXPECT_EQ(required, 10u);
    EXPECT_TRUE(sim::SameGuid(guid, kOstrelClass));
}

TEST_F(SimDeviceTest, NewDevUpdate)
{
    AddDevice(u"PCI\\BETTER", {u"ostrel\\better"}).betterDriverInPlace = true;
    AddDevice(u"PCI\\NODRIVER", {u"pci\\nodriver"});
    AddDevice(u"PCI\\COMPATIBLE", {u"pci\\c"}).compatibleIds = sim::MultiString({u"ostrel\\compatible"});
    sim::InfFile inf = *machine.infs.Find(kDefaultInfPath);
    inf.models.insert({u"ostrel\\better", u"ostrel\\compatible"});
    machine.AddInf(kDefaultInfPath, inf);
    Check({
        {"no device lists the ID", [&] { return Update(u"ostrel\\none") != 0; }, ERROR_NO_SUCH_DEVINST},
        {"the INF has no driver for the device", [&] { return Update(u"pci\\nodriver") != 0; }, ERROR_NO_SUCH_DEVINST},
        {"the driver in place is better", [&] { return Update(u"ostrel\\better") != 0; }, ERROR_NO_MORE_ITEMS},
        {"unknown install flags", [&] { return Update(kWidget.c_str(), 0x8) != 0; }, ERROR_INVALID_FLAGS},
        {"missing INF file", [&] { return Update(kWidget.c_str(), 0, u"C:\\x\\none.inf") != 0; }, ERROR_FILE_NOT_FOUND},
        {"ID in capitals", [&] { return Update(u"OSTREL\\WIDGET") != 0; }, kUntouchedLastError},
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
        {"unknown library", [&] { return LoadLibraryExW(u"none.dll", nullptr, 0) != nullptr; }, ERROR_MOD_NOT_FOUND},
        {"default directories: the system folder",
         [&] { return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0; }, kUntouchedLastError},
        {"bare name after that", [&] { return (module = LoadLibraryExW(u"NEWDEV.DLL", nullptr, 0)) != nullptr; },
         kUntouchedLastError},
        {"unknown function", [&] { return GetProcAddress(module, "Missing") != nullptr; }, ERROR_PROC_NOT_FOUND},
        {"freed", [&] { return FreeLibrary(module) != 0; }, kUntouchedLastError},
        {"freed twice", [&] { return FreeLibrary(module) != 0; }, ERROR_INVALID_HANDLE},
        {"no default directories", [&] { return SetDefaultDllDirectories(0) != 0; }, ERROR_INVALID_PARAMETER},
    });
    // The Setup API came with the fixture's first call.
    EXPECT_EQ(machine.loadedLibraries, (std::vector<std::u16string>{u"C:\\windows\\system32\\setupapi.dll",
                                                                    u"C:\\windows\\system32\\newdev.dll"}));
}

}  // namespace
