// The Setup API's device calls and newdev.dll's driver update, as the device
// actions make them: the INF file's class, the present devices of that class
// and their hardware IDs, a new root-enumerated device, state changes,
// removal, install parameters.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "contract.h"
#include "platform/sim/win32_constants.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

const std::u16string kWidget = u"ostrel\\contract-widget";
const GUID kNoClass{};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

// REG_MULTI_SZ bytes as the program writes them: each ID and its
// terminator, then the closing empty string.
std::vector<BYTE> MultiString(const std::vector<std::u16string>& ids)
{
    std::u16string units;
    for (const std::u16string& id : ids) units += id + u'\0';
    units += u'\0';
    std::vector<BYTE> bytes(units.size() * sizeof(char16_t));
    std::memcpy(bytes.data(), units.data(), bytes.size());
    return bytes;
}

SP_DEVINFO_DATA Record()
{
    SP_DEVINFO_DATA record{};
    record.cbSize = sizeof record;
    return record;
}

// A new root-enumerated device of the contract class in `set`, as "install
// device" makes one: named after the class, its instance ID generated.
bool MakeDevice(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    return SetupDiCreateDeviceInfoW(set, kContractClassName, &kContractClass, nullptr, nullptr, DICD_GENERATE_ID,
                                    &device) != FALSE;
}

// One row of a table of calls: the call, and the last error its failure
// leaves (kSeed: it succeeds and leaves the last error alone).
struct Answer {
    const char* name;
    std::function<bool()> call;  // true when the call succeeded
    DWORD error;
};

void ExpectAnswers(const std::vector<Answer>& answers)
{
    for (const Answer& answer : answers) {
        SCOPED_TRACE(answer.name);
        SetLastError(kSeed);
        EXPECT_EQ(answer.call(), answer.error == kSeed);
        EXPECT_EQ(GetLastError(), answer.error) << std::hex << GetLastError();
    }
}

// The world's INF file: the contract class, a driver for the widget.
class Devices : public Case {
protected:
    Devices()
    {
        Inf inf;
        inf.className = kContractClassName;
        inf.classGuid = kContractClass;
        inf.models = {kWidget};
        world.WriteInf(infPath, inf);
    }

    // The present devices of the contract class: the set the device actions walk.
    unique_device_info_set PresentSet() const
    {
        return unique_device_info_set(SetupDiGetClassDevsW(&kContractClass, nullptr, nullptr, DIGCF_PRESENT));
    }

    std::size_t CountPresent() const
    {
        const unique_device_info_set set = PresentSet();
        SP_DEVINFO_DATA record = Record();
        DWORD index = 0;
        while (SetupDiEnumDeviceInfo(set.get(), index, &record)) ++index;
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
        return index;
    }

    const std::u16string infPath = world.PathIn(u"contract.inf");
};

// --- The INF file's class -----------------------------------------------

// Without a ClassGuid entry the GUID is GUID_NULL, even for a class that
// Windows knows by its name (the caller may look the name up itself): the
// device actions then stop at message 8.
struct ClassCase {
    const char* name;
    std::optional<std::u16string> className;
    std::optional<GUID> classGuid;
    GUID expectedGuid;
    const char* expectedName;
};

const ClassCase kClassCases[] = {
    {"named_both_ways", std::u16string(kContractClassName), kContractClass, kContractClass, "OstrelContract"},
    {"a_known_name_and_no_guid", std::u16string(u"System"), std::nullopt, kNoClass, "System"},
    {"an_unknown_name_and_no_guid", std::u16string(u"OstrelNowhere"), std::nullopt, kNoClass, "OstrelNowhere"},
};

class InfClass : public Case, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(InfClass, IsReadFromTheVersionSection)
{
    const ClassCase& c = GetParam();
    Inf inf;
    inf.className = c.className;
    inf.classGuid = c.classGuid;
    const std::u16string path = world.PathIn(u"class.inf");
    world.WriteInf(path, inf);
    GUID guid{};
    guid.Data1 = 0xFFFFFFFF;
    char16_t name[MAX_CLASS_NAME_LEN] = {};

    ASSERT_TRUE(SetupDiGetINFClassW(path.c_str(), &guid, name, MAX_CLASS_NAME_LEN, nullptr))
        << std::hex << TakeLastError();

    EXPECT_EQ(U8(name), c.expectedName);
    if (c.classGuid) {
        EXPECT_TRUE(SameGuid(guid, c.expectedGuid)) << std::hex << guid.Data1;
        return;
    }
    KnownDifference(Fault::wine, "SetupDiGetINFClassW leaves the GUID as it was when the INF file names none",
                    [&] { EXPECT_TRUE(SameGuid(guid, c.expectedGuid)) << std::hex << guid.Data1; });
}

INSTANTIATE_TEST_SUITE_P(Classes, InfClass, ::testing::ValuesIn(kClassCases), CaseName());

TEST_F(Devices, InfClassRefusals)
{
    GUID guid{};
    char16_t name[MAX_CLASS_NAME_LEN];
    DWORD required = 0;
    world.WriteFile(world.PathIn(u"notes.txt"), "just some text\r\n");
    world.WriteInf(world.PathIn(u"classless.inf"), Inf{});
    const auto classOf = [&](const char16_t* file, DWORD size, DWORD* requiredSize) {
        return SetupDiGetINFClassW(world.PathIn(file).c_str(), &guid, name, size, requiredSize) != FALSE;
    };
    EXPECT_FALSE(classOf(u"none.inf", MAX_CLASS_NAME_LEN, nullptr));
    EXPECT_EQ(TakeLastError(), ERROR_FILE_NOT_FOUND);

    const bool cut = classOf(u"contract.inf", 9, &required);
    const DWORD cutError = TakeLastError();
    EXPECT_EQ(required, std::u16string(kContractClassName).size() + 1) << "the size the name needs";
    KnownDifference(Fault::wine, "SetupDiGetINFClassW cuts a class name longer than the buffer and succeeds", [&] {
        EXPECT_FALSE(cut);
        EXPECT_EQ(cutError, ERROR_INSUFFICIENT_BUFFER);
    });

    // What the program reports is the failure and the error it left: a
    // failure's own, neither the one before the call nor none.
    for (const char16_t* file : {u"classless.inf", u"notes.txt"}) {
        SCOPED_TRACE(U8(file));
        SetLastError(kSeed);
        EXPECT_FALSE(classOf(file, MAX_CLASS_NAME_LEN, nullptr));
        const DWORD error = TakeLastError();
        KnownDifference(Fault::wine, "SetupDiGetINFClassW fails with the last error set to ERROR_SUCCESS", [&] {
            EXPECT_NE(error, kSeed);
            EXPECT_NE(error, ERROR_SUCCESS);
        });
    }
}

// --- Present devices and their hardware IDs ---------------------------------

TEST_F(Devices, TheClassListHoldsThePresentDevicesWithTheirHardwareIds)
{
    const std::vector<std::u16string> ids = {u"pci\\ven_ostrel", kWidget};
    world.AddDevice(ids);
    const unique_device_info_set set = PresentSet();
    ASSERT_TRUE(set);
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &record));
    EXPECT_TRUE(SameGuid(record.ClassGuid, kContractClass));

    BYTE buffer[2 * 260] = {};
    DWORD type = 0;
    DWORD required = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set.get(), &record, SPDRP_HARDWAREID, &type, buffer, sizeof buffer,
                                                  &required));
    const std::vector<BYTE> expected = MultiString(ids);
    EXPECT_EQ(type, 7u) << "REG_MULTI_SZ";
    EXPECT_EQ(required, expected.size());
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + expected.size()), expected);

    BYTE small[10] = {};
    required = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(set.get(), &record, SPDRP_HARDWAREID, nullptr, small, sizeof small,
                                                   &required));
    EXPECT_EQ(TakeLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, expected.size()) << "the size the list needs";

    EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 1, &record));
    EXPECT_EQ(TakeLastError(), ERROR_NO_MORE_ITEMS) << "the end of the list";
}

TEST_F(Devices, AnEmptyClassEndsAtOnce)
{
    const unique_device_info_set set = PresentSet();
    ASSERT_TRUE(set) << std::hex << TakeLastError();
    SP_DEVINFO_DATA record = Record();
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 0, &record));
    EXPECT_EQ(TakeLastError(), ERROR_NO_MORE_ITEMS);
}

TEST_F(Devices, SetsRefuseBadHandlesAndRecordsOfTheWrongSize)
{
    world.AddDevice({kWidget});
    const unique_device_info_set present = PresentSet();
    const unique_device_info_set other(SetupDiCreateDeviceInfoList(&kContractClass, nullptr));
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(present.get(), 0, &record));
    SP_DEVINFO_DATA wrongSize = record;
    wrongSize.cbSize = sizeof(SP_DEVINFO_DATA) + 4;  // wrong for 32-bit and 64-bit builds alike
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params - 4;
    BYTE buffer[64];
    ExpectAnswers({
        {"enumerating no set", [&] { return SetupDiEnumDeviceInfo(INVALID_HANDLE_VALUE, 0, &record) != 0; },
         ERROR_INVALID_HANDLE},
        {"a record of the wrong size", [&] { return SetupDiEnumDeviceInfo(present.get(), 0, &wrongSize) != 0; },
         ERROR_INVALID_USER_BUFFER},
        {"a property through a record of the wrong size",
         [&] {
             return SetupDiGetDeviceRegistryPropertyW(present.get(), &wrongSize, SPDRP_HARDWAREID, nullptr, buffer,
                                                      sizeof buffer, nullptr) != 0;
         },
         ERROR_INVALID_PARAMETER},
        {"no compatible IDs",
         [&] {
             return SetupDiGetDeviceRegistryPropertyW(present.get(), &record, SPDRP_COMPATIBLEIDS, nullptr, buffer,
                                                      sizeof buffer, nullptr) != 0;
         },
         ERROR_INVALID_DATA},
        {"a record of another set", [&] { return SetupDiRemoveDevice(other.get(), &record) != 0; },
         ERROR_INVALID_PARAMETER},
        {"install parameters of the wrong size",
         [&] { return SetupDiGetDeviceInstallParamsW(present.get(), &record, &params) != 0; },
         ERROR_INVALID_USER_BUFFER},
        {"destroying no set", [&] { return SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE) != 0; },
         ERROR_INVALID_HANDLE},
    });
}

// --- A new root-enumerated device: "install device" where none has the ID ---

TEST_F(Devices, ANewDeviceIsPresentOnceRegisteredAndCarriesItsHardwareIds)
{
    const unique_device_info_set set(SetupDiCreateDeviceInfoList(&kContractClass, nullptr));
    ASSERT_TRUE(set);
    SP_DEVINFO_DATA device = Record();
    ASSERT_TRUE(MakeDevice(set.get(), device)) << std::hex << TakeLastError();
    EXPECT_TRUE(SameGuid(device.ClassGuid, kContractClass));
    // The program's ID in its buffer of 260: the ID, its terminator and the
    // closing empty string.
    char16_t idCopy[260] = {};
    std::copy(kWidget.begin(), kWidget.end(), idCopy);
    const auto idBytes = static_cast<DWORD>(2 * kWidget.size() + 4);
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID,
                                                  reinterpret_cast<const BYTE*>(idCopy), idBytes));
    const std::size_t presentBefore = CountPresent();
    KnownDifference(Fault::wine, "a device made and not yet registered is listed as present",
                    [&] { EXPECT_EQ(presentBefore, 0u) << "not before it is registered"; });

    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device)) << std::hex << TakeLastError();

    EXPECT_EQ(CountPresent(), 1u);
    BYTE buffer[2 * 260] = {};
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyW(set.get(), &device, SPDRP_HARDWAREID, nullptr, buffer, sizeof buffer,
                                                  nullptr));
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + idBytes), MultiString({kWidget}));
}

TEST_F(Devices, OnlyRegisteredDevicesOutliveTheirSet)
{
    {
        const unique_device_info_set set(SetupDiCreateDeviceInfoList(&kContractClass, nullptr));
        SP_DEVINFO_DATA first = Record();
        SP_DEVINFO_DATA second = Record();
        ASSERT_TRUE(MakeDevice(set.get(), first));
        ASSERT_TRUE(MakeDevice(set.get(), second));
        EXPECT_NE(first.DevInst, second.DevInst) << "two devices";
        ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &second));
    }
    const unique_device_info_set all(SetupDiGetClassDevsW(&kContractClass, nullptr, nullptr, 0));
    SP_DEVINFO_DATA record = Record();
    EXPECT_TRUE(SetupDiEnumDeviceInfo(all.get(), 0, &record));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(all.get(), 1, &record)) << "the unregistered one went with its set";
}

TEST_F(Devices, ADeviceWithoutHardwareIdsHasNoneToRead)
{
    const unique_device_info_set set(SetupDiCreateDeviceInfoList(&kContractClass, nullptr));
    SP_DEVINFO_DATA device = Record();
    ASSERT_TRUE(MakeDevice(set.get(), device));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device));
    const unique_device_info_set present = PresentSet();
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(present.get(), 0, &record));
    BYTE buffer[2 * 260];
    TakeLastError();
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(present.get(), &record, SPDRP_HARDWAREID, nullptr, buffer,
                                                   sizeof buffer, nullptr));
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_DATA);
}

TEST_F(Devices, NewDeviceRefusals)
{
    const std::u16string existing = world.AddDevice({kWidget});
    const unique_device_info_set set(SetupDiCreateDeviceInfoList(&kContractClass, nullptr));
    SP_DEVINFO_DATA created = Record();
    const auto create = [&](const char16_t* name, const GUID& guid, DWORD flags) {
        return SetupDiCreateDeviceInfoW(set.get(), name, &guid, nullptr, nullptr, flags, &created) != FALSE;
    };
    ExpectAnswers({
        {"a device of another class in a class's set",
         [&] { return create(u"System", kSystemClass, DICD_GENERATE_ID); }, ERROR_CLASS_MISMATCH},
        {"a generated ID from a name with a backslash",
         [&] { return create(u"a\\b", kContractClass, DICD_GENERATE_ID); }, ERROR_INVALID_DEVINST_NAME},
        {"an instance ID that exists", [&] { return create(existing.c_str(), kContractClass, 0); },
         ERROR_DEVINST_ALREADY_EXISTS},
    });
}

// --- Removal, state changes, install parameters -----------------------------

// "install device" takes the device it made out again when no driver could
// be installed on it: a global removal through the class installer.
TEST_F(Devices, ANewDeviceIsTakenOutAgainThroughTheClassInstaller)
{
    const unique_device_info_set set(SetupDiCreateDeviceInfoList(&kContractClass, nullptr));
    SP_DEVINFO_DATA device = Record();
    ASSERT_TRUE(MakeDevice(set.get(), device));
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set.get(), &device));
    ASSERT_EQ(CountPresent(), 1u);
    SP_REMOVEDEVICE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_REMOVE;
    params.Scope = DI_REMOVEDEVICE_GLOBAL;

    const bool taken = SetupDiSetClassInstallParamsW(set.get(), &device, &params.ClassInstallHeader, sizeof params);
    const DWORD takeError = TakeLastError();
    const bool removed = taken && SetupDiCallClassInstaller(DIF_REMOVE, set.get(), &device);
    const DWORD removeError = TakeLastError();

    KnownDifference(Fault::wine, "SetupDiSetClassInstallParamsW fails without setting the last error", [&] {
        EXPECT_TRUE(taken) << std::hex << takeError;
        EXPECT_TRUE(removed) << std::hex << removeError;
        EXPECT_EQ(CountPresent(), 0u);
    });
}

TEST_F(Devices, ARemovedDeviceIsGoneAndItsElementStaysInTheSet)
{
    const std::u16string first = world.AddDevice({kWidget});
    const std::u16string second = world.AddDevice({u"ostrel\\other"});
    const unique_device_info_set set = PresentSet();
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &record));

    ASSERT_TRUE(SetupDiRemoveDevice(set.get(), &record)) << std::hex << TakeLastError();

    EXPECT_NE(world.DeviceExists(first), world.DeviceExists(second)) << "one of the two is gone";
    // The walk goes on with the next index: the removed element keeps its place.
    EXPECT_TRUE(SetupDiEnumDeviceInfo(set.get(), 1, &record));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(set.get(), 2, &record));
    EXPECT_EQ(TakeLastError(), ERROR_NO_MORE_ITEMS);
}

// After a removal the program asks whether it needs a restart.
TEST_F(Devices, InstallParametersStayReadableAfterARemoval)
{
    world.AddDevice({kWidget});
    const unique_device_info_set set = PresentSet();
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &record));
    ASSERT_TRUE(SetupDiRemoveDevice(set.get(), &record));
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;

    const bool read = SetupDiGetDeviceInstallParamsW(set.get(), &record, &params) != FALSE;

    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "a removed device's element answers ERROR_NO_SUCH_DEVINST",
                    [&] { EXPECT_TRUE(read) << std::hex << error; });
}

TEST_F(Devices, InstallParametersKeepTheQuietFlag)
{
    world.AddDevice({kWidget});
    const unique_device_info_set set = PresentSet();
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &record));
    SP_DEVINSTALL_PARAMS_W params{};
    params.cbSize = sizeof params;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(set.get(), &record, &params)) << std::hex << TakeLastError();
    EXPECT_EQ(params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART), 0u);
    params.Flags |= DI_QUIETINSTALL;

    ASSERT_TRUE(SetupDiSetDeviceInstallParamsW(set.get(), &record, &params)) << std::hex << TakeLastError();

    SP_DEVINSTALL_PARAMS_W again{};
    again.cbSize = sizeof again;
    ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(set.get(), &record, &again));
    EXPECT_NE(again.Flags & DI_QUIETINSTALL, 0u);
}

struct StateCase {
    const char* name;
    DWORD stateChange;
    DWORD scope;
};

const StateCase kStateCases[] = {
    {"disable_in_this_profile", DICS_DISABLE, DICS_FLAG_CONFIGSPECIFIC},
    {"enable_everywhere", DICS_ENABLE, DICS_FLAG_GLOBAL},
    {"enable_in_this_profile", DICS_ENABLE, DICS_FLAG_CONFIGSPECIFIC},
};

class StateChange : public Devices, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StateChange, TakesItsParametersAndIsCarriedOut)
{
    world.AddDevice({kWidget});
    const unique_device_info_set set = PresentSet();
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &record));
    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = GetParam().stateChange;
    params.Scope = GetParam().scope;

    const bool taken = SetupDiSetClassInstallParamsW(set.get(), &record, &params.ClassInstallHeader, sizeof params);
    const DWORD setError = TakeLastError();
    const bool changed = taken && SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set.get(), &record);
    const DWORD changeError = TakeLastError();

    KnownDifference(Fault::wine,
                    "SetupDiSetClassInstallParamsW fails without setting the last error, and DIF_PROPERTYCHANGE "
                    "with 0xE000020E",
                    [&] {
                        EXPECT_TRUE(taken) << std::hex << setError;
                        EXPECT_TRUE(changed) << std::hex << changeError;
                    });
}

INSTANTIATE_TEST_SUITE_P(Changes, StateChange, ::testing::ValuesIn(kStateCases), CaseName());

TEST_F(Devices, AStateChangeWithoutItsParametersIsRefused)
{
    world.AddDevice({kWidget});
    const unique_device_info_set set = PresentSet();
    SP_DEVINFO_DATA record = Record();
    ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &record));

    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set.get(), &record));

    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "DIF_PROPERTYCHANGE fails with 0xE000020E whatever it is given",
                    [&] { EXPECT_EQ(error, ERROR_NO_CLASS_INSTALL_PARAMS) << std::hex << error; });
}

// --- newdev.dll's driver update ---------------------------------------------

class DriverUpdate : public Devices {
protected:
    DriverUpdate()
    {
        library.reset(LoadLibraryExW(u"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (library)
            update = reinterpret_cast<UpdateDriverForPlugAndPlayDevicesWFn>(
                GetProcAddress(library.get(), "UpdateDriverForPlugAndPlayDevicesW"));
    }

    // The call as "install device" makes it; the restart answer starts TRUE,
    // so that the call is seen to write it.
    bool Update(const std::u16string& id, DWORD flags = 0, const std::u16string* inf = nullptr)
    {
        restart = TRUE;
        SetLastError(kSeed);
        const BOOL updated = update(nullptr, id.c_str(), (inf != nullptr ? *inf : infPath).c_str(), flags, &restart);
        error = GetLastError();
        return updated != FALSE;
    }

    unique_library library;
    UpdateDriverForPlugAndPlayDevicesWFn update = nullptr;
    BOOL restart = TRUE;
    DWORD error = 0;
};

TEST_F(DriverUpdate, InstallsTheDriverOnThePresentDeviceWithTheId)
{
    ASSERT_NE(update, nullptr);
    const std::u16string device = world.AddDevice({u"pci\\ven_ostrel", kWidget});

    EXPECT_TRUE(Update(kWidget)) << std::hex << error;

    EXPECT_EQ(restart, FALSE) << "written, whatever the caller had there";
    EXPECT_TRUE(world.HasDriver(device));
}

// A quiet run asks for an install without prompts.
TEST_F(DriverUpdate, InstallsWithoutPromptsWhenAskedTo)
{
    ASSERT_NE(update, nullptr);
    const std::u16string device = world.AddDevice({kWidget});

    EXPECT_TRUE(Update(kWidget, INSTALLFLAG_NONINTERACTIVE)) << std::hex << error;

    EXPECT_TRUE(world.HasDriver(device));
}

TEST_F(DriverUpdate, MatchesTheIdWhateverItsLetterCase)
{
    ASSERT_NE(update, nullptr);
    const std::u16string device = world.AddDevice({kWidget});

    EXPECT_TRUE(Update(u"OSTREL\\Contract-Widget")) << std::hex << error;

    KnownDifference(Fault::wine, "the driver update matches hardware IDs exactly (wcscmp)",
                    [&] { EXPECT_TRUE(world.HasDriver(device)); });
}

struct RefusedUpdate {
    const char* name;
    std::u16string id;
    DWORD flags;
    bool missingInf;
    DWORD error;
};

const RefusedUpdate kRefusedUpdates[] = {
    {"no_device_has_the_id", u"ostrel\\nobody", 0, false, ERROR_NO_SUCH_DEVINST},
    {"the_inf_has_no_driver_for_the_device", u"pci\\ven_ostrel", 0, false, ERROR_NO_SUCH_DEVINST},
    {"unknown_install_flags", kWidget, 0x8, false, ERROR_INVALID_FLAGS},
    {"a_missing_inf_file", kWidget, 0, true, ERROR_FILE_NOT_FOUND},
};

class RefusedDriverUpdate : public DriverUpdate, public ::testing::WithParamInterface<RefusedUpdate> {};

TEST_P(RefusedDriverUpdate, FailsWithItsErrorAndInstallsNothing)
{
    ASSERT_NE(update, nullptr);
    const RefusedUpdate& c = GetParam();
    const std::u16string device = world.AddDevice({u"pci\\ven_ostrel"});
    const std::u16string missing = world.PathIn(u"missing.inf");

    const bool updated = Update(c.id, c.flags, c.missingInf ? &missing : nullptr);

    EXPECT_FALSE(world.HasDriver(device));
    KnownDifference(Fault::wine, "UpdateDriverForPlugAndPlayDevicesW returns TRUE in every case", [&] {
        EXPECT_FALSE(updated);
        EXPECT_EQ(error, c.error) << std::hex << error;
    });
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusedDriverUpdate, ::testing::ValuesIn(kRefusedUpdates), CaseName());

// --- Waiting for pending installations --------------------------------------

// Before and after a device action the program waits, bounded, for Plug and
// Play to finish what it is installing.
TEST_F(Case, NoInstallationIsPendingOnAQuietMachine)
{
    const unique_library library(LoadLibraryExW(u"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    ASSERT_TRUE(library) << TakeLastError();
    const auto wait = reinterpret_cast<CMP_WaitNoPendingInstallEventsFn>(
        GetProcAddress(library.get(), "CMP_WaitNoPendingInstallEvents"));
    ASSERT_NE(wait, nullptr);

    EXPECT_EQ(wait(5000), WAIT_OBJECT_0);
}

// --- Loading newdev.dll ------------------------------------------------------

// Where Windows before the search flags takes it from: the system folder's
// full path.
std::u16string SystemLibrary(const std::u16string& name)
{
    char16_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return std::u16string(folder, length) + u"\\" + name;
}

TEST_F(Case, LibrariesLoadFromTheSystemFolderAndAnswerForTheirFunctions)
{
    unique_library loaded;
    ExpectAnswers({
        {"an unknown library", [&] { return LoadLibraryExW(u"ostrel-none.dll", nullptr, 0) != nullptr; },
         ERROR_MOD_NOT_FOUND},
        {"default directories: the system folder",
         [&] { return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0; }, kSeed},
        {"a bare name after that",
         [&] {
             loaded.reset(LoadLibraryExW(u"NEWDEV.DLL", nullptr, 0));
             return static_cast<bool>(loaded);
         },
         kSeed},
        {"an unknown function", [&] { return GetProcAddress(loaded.get(), "OstrelMissing") != nullptr; },
         ERROR_PROC_NOT_FOUND},
        {"freed", [&] { return FreeLibrary(loaded.release()) != 0; }, kSeed},
        {"by its full path in the system folder",
         [&] {
             loaded.reset(LoadLibraryExW(SystemLibrary(u"newdev.dll").c_str(), nullptr, 0));
             return GetProcAddress(loaded.get(), "UpdateDriverForPlugAndPlayDevicesW") != nullptr;
         },
         kSeed},
        {"no default directories", [&] { return SetDefaultDllDirectories(0) != 0; }, ERROR_INVALID_PARAMETER},
    });
}

}  // namespace
}  // namespace contract
