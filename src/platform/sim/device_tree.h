// The simulated device tree: device classes, devices with their hardware-ID
// lists, what a state change or a driver installation leaves behind, and the
// new-device library's driver update.
//
// A test describes the machine here; the Setup API functions of devices.cpp
// and UpdateDriverForPlugAndPlayDevicesW of libraries.cpp work on it.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace sim {

class Machine;
struct InfFile;

bool SameGuid(const platform::GUID& a, const platform::GUID& b);
// "{4D36E97D-E325-11CE-BFC1-08002BE10318}", as the call log shows a GUID.
std::u16string GuidText(const platform::GUID& guid);

// REG_MULTI_SZ data: each ID with its terminator, then the closing empty
// string. MultiString({}) is a lone terminator.
std::u16string MultiString(std::initializer_list<std::u16string> ids);

struct DeviceClass {
    platform::GUID guid{};
    std::u16string name;
    // The class installer's answer: 0 lets the function run, anything else
    // refuses it with that error.
    platform::DWORD propertyChangeRefusal = 0;
    platform::DWORD registrationRefusal = 0;
    platform::DWORD removalRefusal = 0;
};

struct Device {
    platform::DWORD devInst = 0;  // the device node's number; also the enumeration order
    std::u16string instanceId;
    platform::GUID classGuid{};
    bool present = true;
    // False for an element that SetupDiCreateDeviceInfoW made and no
    // DIF_REGISTERDEVICE has registered: it vanishes with its set.
    bool registered = true;
    // Raw property data, as the registry holds it: possibly malformed (no
    // closing empty string, no terminator at all). Absent: no such property.
    std::optional<std::u16string> hardwareIds;
    std::optional<std::u16string> compatibleIds;
    // What the hardware-ID property becomes after each read of it, in turn:
    // another process changing the device between two reads.
    std::vector<std::u16string> hardwareIdsLater;

    bool disabledGlobally = false;
    bool disabledInProfile = false;
    bool Enabled() const { return !disabledGlobally && !disabledInProfile; }

    // Install-parameter flags (DI_NEEDREBOOT, DI_NEEDRESTART) that a state
    // change or removal of this device leaves in its set element.
    platform::DWORD flagsAfterChange = 0;

    // Driver: the INF whose driver is installed (empty: none), whether the
    // driver in place ranks better than any an INF offers, and whether
    // installing one needs a restart.
    std::u16string driverInf;
    bool betterDriverInPlace = false;
    bool restartAfterDriverInstall = false;
    // The values of the driver's key (InfPath: the package's published
    // name, ProviderName, DriverVersion, DriverDate); empty without a driver.
    std::map<std::u16string, std::u16string> driverKey;
    // A CM_PROB_ code the device has besides being disabled or without a
    // driver, which are problems of their own.
    platform::DWORD problem = 0;
    // Not present until a scan for hardware changes finds it.
    bool arrivesOnRescan = false;
    unsigned restarts = 0;  // DICS_PROPCHANGE property changes
};

// A driver package in the driver store, under its published name.
struct DriverPackage {
    std::u16string publishedName;  // "oem0.inf", ...
    std::u16string source;         // the INF file it was staged from
    // DiUninstallDriverW needs a restart of Windows to take it out.
    bool restartToUninstall = false;
};

struct DeviceTree {
    std::vector<DeviceClass> classes;
    std::map<platform::DWORD, Device> byDevInst;
    // A 32-bit process on 64-bit Windows: driver updates fail with ERROR_IN_WOW64.
    bool wow64 = false;
    // How long Plug and Play still has installations pending, in ms.
    platform::DWORD pendingInstallationMs = 0;
    unsigned setsCreated = 0;
    std::vector<DriverPackage> driverStore;
    unsigned rescans = 0;  // reenumerations of the whole tree

    // The package staged from `infPath` (any case), or null.
    const DriverPackage* StagedFrom(const std::u16string& infPath) const;
    // Stages the INF file, unless it is staged already: its published name.
    std::u16string Stage(const std::u16string& infPath);
    // Installs the package `publishedName` (staged from `infPath`, whose
    // provider, version and date it records) as the device's driver.
    static void InstallDriver(Device& device, const std::u16string& infPath, const std::u16string& publishedName,
                              const InfFile& inf);
    // CM_Get_DevNode_Status's answer for the device: DN_ bits and problem.
    static void Status(const Device& device, platform::ULONG& status, platform::ULONG& problem);

    DeviceClass& AddClass(const platform::GUID& guid, std::u16string name);
    // A present, registered device with these hardware IDs.
    Device& Add(std::u16string instanceId, const platform::GUID& classGuid,
                std::initializer_list<std::u16string> hardwareIds);
    // A device whose hardware-ID property is this raw data.
    Device& AddRaw(std::u16string instanceId, const platform::GUID& classGuid, std::u16string hardwareIdData);
    Device& Create(std::u16string instanceId, const platform::GUID& classGuid);

    Device* Find(platform::DWORD devInst);
    Device* FindByInstanceId(const std::u16string& instanceId);
    const DeviceClass* FindClass(const platform::GUID& guid) const;
    // Instance IDs of the registered devices whose hardware IDs hold `id`
    // (letter case aside), in enumeration order.
    std::vector<std::u16string> WithHardwareId(const std::u16string& id) const;
    // ROOT\<NAME>\0000, with the first number no device has yet.
    std::u16string GenerateRootInstanceId(const std::u16string& name) const;

private:
    platform::DWORD nextDevInst_ = 1;
};

// Whether a REG_MULTI_SZ value holds `id`, letter case aside; the way
// Windows matches a hardware ID in a driver update.
bool MultiStringHolds(const std::optional<std::u16string>& data, const std::u16string& id);

// Puts newdev.dll into the machine's system folder, with or without its
// UpdateDriverForPlugAndPlayDevicesW.
void AddNewDevLibrary(Machine& machine, bool withUpdateFunction = true);
// Gives `name` in the system folder (cfgmgr32.dll, as every machine has it
// from the start) the function CMP_WaitNoPendingInstallEvents, which waits
// out DeviceTree::pendingInstallationMs.
void AddPendingInstallWait(Machine& machine, const std::u16string& name = u"cfgmgr32.dll");
// cfgmgr32.dll with CM_Locate_DevNodeW, CM_Reenumerate_DevNode and
// CM_Get_DevNode_Status on the device tree, as every machine has it. The
// root's node number; a fault's error is the CONFIGRET a call answers.
void AddConfigManager(Machine& machine);
constexpr platform::DWORD kRootDevNode = 0x10000;
// newdev.dll's DiUninstallDriverW (Windows 10 1703 and later): the devices
// that use the package lose their driver (the sim knows no next best), the
// package leaves the store.
void AddUninstallDriver(Machine& machine);

}  // namespace sim
