// The rest of a driver's life as "add driver", "delete driver", "query
// device" and "rescan" see it: the INF file's package staged in the driver
// store and found there by its published name, deleted again or refused
// while devices use it, a device's instance ID and driver key, and the
// configuration manager (cfgmgr32.dll) through the lazy binder.
#include <string>

#include "contract.h"
#include "platform/sim/win32_constants.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

const std::u16string kWidget = u"ostrel\\contract-widget";
// How "delete driver" and "query device" look a package up: only one staged
// already is copied, and that one is not, but named.
constexpr DWORD kLookUp = SP_COPY_REPLACEONLY | SP_COPY_NOOVERWRITE;

std::string Folded(const std::u16string& text)
{
    std::string folded = U8(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::u16string NameOf(const std::u16string& path) { return path.substr(path.find_last_of(u'\\') + 1); }

// The INF file: the contract class and a null driver for the widget, its
// package taken out of the store when the case ends.
class DriverStore : public Case {
protected:
    DriverStore()
    {
        Inf inf;
        inf.className = kContractClassName;
        inf.classGuid = kContractClass;
        inf.models = {kWidget};
        world.WriteInf(infPath, inf);
        world.DeletePackageAtEnd(infPath);
    }

    // SetupCopyOEMInfW as the program makes it: the full path, the published
    // path into a buffer of MAX_PATH.
    bool Copy(DWORD style, const std::u16string& path)
    {
        published[0] = u'\0';
        SetLastError(kSeed);
        const bool copied =
            SetupCopyOEMInfW(path.c_str(), nullptr, SPOST_PATH, style, published, MAX_PATH, nullptr, nullptr) != FALSE;
        error = GetLastError();
        return copied;
    }
    bool Copy(DWORD style) { return Copy(style, infPath); }

    const std::u16string infPath = world.PathIn(u"contract.inf");
    char16_t published[MAX_PATH] = {};
    DWORD error = 0;
};

TEST_F(DriverStore, APackageIsStagedOnceAndThenNamed)
{
    ASSERT_TRUE(Copy(SP_COPY_NOOVERWRITE)) << std::hex << error;
    const std::u16string staged = published;
    char16_t system[MAX_PATH] = {};
    const std::u16string systemFolder(system, GetSystemDirectoryW(system, MAX_PATH));
    const std::u16string infFolder = systemFolder.substr(0, systemFolder.find_last_of(u'\\')) + u"\\inf\\";

    EXPECT_EQ(Folded(staged.substr(0, infFolder.size())), Folded(infFolder)) << "published in the INF folder";
    KnownDifference(Fault::wine, "SetupCopyOEMInfW publishes the INF file under its own name",
                    [&] { EXPECT_EQ(Folded(NameOf(staged)).substr(0, 3), "oem") << U8(staged); });
    for (const DWORD style : {SP_COPY_NOOVERWRITE, kLookUp}) {
        SCOPED_TRACE(style);
        EXPECT_FALSE(Copy(style));
        EXPECT_EQ(error, ERROR_FILE_EXISTS);
        EXPECT_EQ(U8(published), U8(staged)) << "named as it was staged";
    }
}

TEST_F(DriverStore, APackageNotStagedIsNotFound)
{
    EXPECT_FALSE(Copy(SP_COPY_NOOVERWRITE, world.PathIn(u"missing.inf")));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND) << "no INF file";

    const bool first = Copy(kLookUp);
    const DWORD firstError = error;
    const bool again = Copy(kLookUp);
    const DWORD againError = error;

    KnownDifference(Fault::wine, "SetupCopyOEMInfW ignores SP_COPY_REPLACEONLY and stages the package", [&] {
        EXPECT_FALSE(first);
        EXPECT_EQ(firstError, ERROR_FILE_NOT_FOUND);
        EXPECT_FALSE(again);
        EXPECT_EQ(againError, ERROR_FILE_NOT_FOUND) << "the look-up staged nothing";
    });
}

TEST_F(DriverStore, APackageNoDeviceUsesIsDeletedByItsPublishedName)
{
    ASSERT_TRUE(Copy(SP_COPY_NOOVERWRITE)) << std::hex << error;

    EXPECT_TRUE(SetupUninstallOEMInfW(NameOf(published).c_str(), 0, nullptr)) << std::hex << TakeLastError();

    const bool found = Copy(kLookUp);
    KnownDifference(Fault::wine, "SetupUninstallOEMInfW answers TRUE and deletes nothing", [&] {
        EXPECT_FALSE(found);
        EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    });
}

// --- A device and the package of its driver ---------------------------------

// A present widget; `Install` puts the INF file's driver on it as "install
// device" does.
class DeviceDriver : public DriverStore {
protected:
    bool Install()
    {
        const unique_library newdev(LoadLibraryExW(u"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        const auto update = reinterpret_cast<UpdateDriverForPlugAndPlayDevicesWFn>(
            GetProcAddress(newdev.get(), "UpdateDriverForPlugAndPlayDevicesW"));
        BOOL restart = FALSE;
        return update != nullptr && update(nullptr, kWidget.c_str(), infPath.c_str(), 0, &restart) != FALSE &&
               world.HasDriver(device);
    }

    // The widget in the present devices of the class, as the query walks them.
    bool Find()
    {
        set.reset(SetupDiGetClassDevsW(&kContractClass, nullptr, nullptr, DIGCF_PRESENT));
        record.cbSize = sizeof record;
        return SetupDiEnumDeviceInfo(set.get(), 0, &record) != FALSE;
    }

    // A text value of the driver key, as the query reads it; its error.
    LONG Value(HKEY key, const char16_t* name, std::u16string& text, DWORD room = 128 * sizeof(char16_t))
    {
        char16_t data[128] = {};
        DWORD type = 0;
        DWORD size = room;
        const LONG answer = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        text = answer == ERROR_SUCCESS && type == REG_SZ ? std::u16string(data) : u"";
        needed = size;
        return answer;
    }

    const std::u16string device = world.AddDevice({kWidget});
    unique_device_info_set set;
    SP_DEVINFO_DATA record{};
    DWORD needed = 0;
};

TEST_F(DeviceDriver, TheDriverKeyNamesThePackage)
{
    ASSERT_TRUE(Install());
    ASSERT_FALSE(Copy(kLookUp));
    ASSERT_EQ(error, ERROR_FILE_EXISTS) << "the driver update staged the package";
    ASSERT_TRUE(Find());
    char16_t instanceId[MAX_DEVICE_ID_LEN] = {};
    ASSERT_TRUE(SetupDiGetDeviceInstanceIdW(set.get(), &record, instanceId, MAX_DEVICE_ID_LEN, nullptr));
    EXPECT_EQ(Folded(instanceId), Folded(device));

    const unique_registry_key key(SetupDiOpenDevRegKey(set.get(), &record, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ));
    ASSERT_TRUE(key) << std::hex << TakeLastError();
    std::u16string text;
    EXPECT_EQ(Value(key.get(), u"InfPath", text), ERROR_SUCCESS);
    EXPECT_EQ(Folded(text), Folded(NameOf(published)));
    EXPECT_EQ(Value(key.get(), u"InfPath", text, 4), ERROR_MORE_DATA) << "a value longer than the room";
    EXPECT_EQ(needed, (NameOf(published).size() + 1) * sizeof(char16_t)) << "the room it needs, terminator included";
    EXPECT_EQ(Value(key.get(), u"OstrelNoSuchValue", text), ERROR_FILE_NOT_FOUND);
    KnownDifference(Fault::wine, "the driver key after Wine's driver update holds only InfPath and InfSection", [&] {
        EXPECT_EQ(Value(key.get(), u"ProviderName", text), ERROR_SUCCESS);
        EXPECT_EQ(U8(text), "Ostrel");
        EXPECT_EQ(Value(key.get(), u"DriverVersion", text), ERROR_SUCCESS);
        EXPECT_EQ(U8(text), "1.0.0.0");
    });
}

TEST_F(DeviceDriver, ADeviceWithoutADriverHasNoDriverKey)
{
    ASSERT_TRUE(Find());
    char16_t tiny[4] = {};
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInstanceIdW(set.get(), &record, tiny, 4, &required));
    EXPECT_EQ(TakeLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, device.size() + 1) << "the room the ID needs";

    EXPECT_EQ(SetupDiOpenDevRegKey(set.get(), &record, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(TakeLastError(), ERROR_KEY_DOES_NOT_EXIST);
}

// "delete driver" of a package that devices use: refused, then taken off
// them by DiUninstallDriverW where newdev.dll has it.
TEST_F(DeviceDriver, APackageInUseIsRefusedUntilItIsTakenOffItsDevices)
{
    ASSERT_TRUE(Install());
    ASSERT_FALSE(Copy(kLookUp));
    const std::u16string staged = published;

    const bool deleted = SetupUninstallOEMInfW(NameOf(staged).c_str(), 0, nullptr) != FALSE;
    const DWORD refusal = TakeLastError();
    KnownDifference(Fault::wine, "SetupUninstallOEMInfW answers TRUE and deletes nothing", [&] {
        EXPECT_FALSE(deleted);
        EXPECT_EQ(refusal, ERROR_INF_IN_USE_BY_DEVICES) << std::hex << refusal;
    });

    const unique_library newdev(LoadLibraryExW(u"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    const auto uninstall = reinterpret_cast<DiUninstallDriverWFn>(GetProcAddress(newdev.get(), "DiUninstallDriverW"));
    KnownDifference(Fault::wine, "newdev.dll does not export DiUninstallDriverW",
                    [&] { EXPECT_NE(uninstall, nullptr); });
    if (uninstall == nullptr) return;
    BOOL restart = TRUE;
    EXPECT_TRUE(uninstall(nullptr, staged.c_str(), 0, &restart)) << std::hex << TakeLastError();
    EXPECT_EQ(restart, FALSE);
    EXPECT_FALSE(world.HasDriver(device));
    EXPECT_FALSE(Copy(kLookUp));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND) << "out of the store";
}

// --- The configuration manager ------------------------------------------------

class ConfigManager : public DeviceDriver {
protected:
    ConfigManager() : library(LoadLibraryExW(u"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    {
        locate = reinterpret_cast<CM_Locate_DevNodeWFn>(GetProcAddress(library.get(), "CM_Locate_DevNodeW"));
        reenumerate =
            reinterpret_cast<CM_Reenumerate_DevNodeFn>(GetProcAddress(library.get(), "CM_Reenumerate_DevNode"));
        status = reinterpret_cast<CM_Get_DevNode_StatusFn>(GetProcAddress(library.get(), "CM_Get_DevNode_Status"));
    }

    unique_library library;
    CM_Locate_DevNodeWFn locate = nullptr;
    CM_Reenumerate_DevNodeFn reenumerate = nullptr;
    CM_Get_DevNode_StatusFn status = nullptr;
};

TEST_F(ConfigManager, ARescanStartsAtTheRootOfTheTree)
{
    ASSERT_TRUE(locate != nullptr && reenumerate != nullptr);
    DWORD root = 0;
    const CONFIGRET located = locate(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    const CONFIGRET rescanned = located == CR_SUCCESS ? reenumerate(root, CM_REENUMERATE_SYNCHRONOUS) : located;

    KnownDifference(Fault::wine, "CM_Locate_DevNodeW and CM_Reenumerate_DevNode answer CR_FAILURE", [&] {
        EXPECT_EQ(located, CR_SUCCESS);
        EXPECT_EQ(rescanned, CR_SUCCESS);
    });
    EXPECT_TRUE(world.DeviceExists(device)) << "a rescan keeps the devices there are";
}

// "query device" tells a started device from one with a problem.
TEST_F(ConfigManager, ADeviceIsStartedWithItsDriverAndHasAProblemWithout)
{
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(Find());
    ULONG bits = 0;
    ULONG problem = 0;
    EXPECT_EQ(status(&bits, &problem, record.DevInst, 0), CR_SUCCESS);
    const ULONG bitsWithout = bits;
    const ULONG problemWithout = problem;
    ASSERT_TRUE(Install());
    EXPECT_EQ(status(&bits, &problem, record.DevInst, 0), CR_SUCCESS);

    KnownDifference(Fault::wine, "CM_Get_DevNode_Status answers status 0 and problem 0 for every device", [&] {
        EXPECT_NE(bitsWithout & DN_HAS_PROBLEM, 0u) << std::hex << bitsWithout;
        EXPECT_NE(problemWithout, 0u);
        EXPECT_NE(bits & DN_STARTED, 0u) << std::hex << bits;
    });
    EXPECT_EQ(bits & DN_HAS_PROBLEM, 0u) << "no problem with its driver";
}

}  // namespace
}  // namespace contract
