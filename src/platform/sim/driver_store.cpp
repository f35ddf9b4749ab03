// The driver store of the simulated machine, and the configuration manager
// (cfgmgr32.dll) that scans for hardware changes and tells a device's state.
//
// A package is staged under a published name, oem0.inf and up, once per
// INF file; a device that has its driver names the package in its driver
// key's InfPath. SetupUninstallOEMInfW refuses a package that devices use;
// newdev.dll's DiUninstallDriverW, where a test gives the machine one,
// takes them off it first.

#include <algorithm>
#include <iterator>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kSpostNone = 0;
constexpr DWORD kSpostUrl = 2;
constexpr DWORD kKnownCopyStyles = 0x1 | SP_COPY_REPLACEONLY | SP_COPY_NOOVERWRITE;  // and SP_COPY_DELETESOURCE
constexpr DWORD kSuoiForceDelete = 0x1;
constexpr DWORD kDiurflagNoRemoveInf = 0x1;
constexpr ULONG kDnDriverLoaded = 0x2;
constexpr ULONG kDnDisableable = 0x2000;
constexpr ULONG kCmProbFailedInstall = 0x1C;
constexpr CONFIGRET kCrInvalidPointer = 0x3;
constexpr CONFIGRET kCrInvalidFlag = 0x4;
constexpr CONFIGRET kCrInvalidDevnode = 0x5;
constexpr ULONG kCmReenumerateFlags = 0x7;  // SYNCHRONOUS, RETRY_INSTALLATION, ASYNCHRONOUS

std::u16string InfFolder(const Machine& m)
{
    return m.systemDirectory.substr(0, m.systemDirectory.find_last_of(u'\\')) + u"\\INF\\";
}

bool IsFullPath(const std::u16string& path)
{
    return (path.size() > 2 && path[1] == u':' && path[2] == u'\\') || path.rfind(u"\\\\", 0) == 0;
}

bool InUse(const Machine& m, const std::u16string& publishedName)
{
    return std::any_of(m.devices.byDevInst.begin(), m.devices.byDevInst.end(), [&](const auto& entry) {
        auto inf = entry.second.driverKey.find(u"InfPath");
        return inf != entry.second.driverKey.end() && SameFolded(inf->second, publishedName);
    });
}

std::vector<DriverPackage>::iterator FindPublished(Machine& m, const std::u16string& name)
{
    return std::find_if(m.devices.driverStore.begin(), m.devices.driverStore.end(),
                        [&](const DriverPackage& package) { return SameFolded(package.publishedName, name); });
}

// The package's full published path into the caller's buffer, as far as
// it fits: false, with the last error set, when it does not.
bool GiveDestination(Machine& m, const std::u16string& published, LPWSTR destination, DWORD size, DWORD* requiredSize,
                     LPWSTR* component)
{
    const std::u16string path = InfFolder(m) + published;
    if (requiredSize != nullptr) *requiredSize = static_cast<DWORD>(path.size() + 1);
    if (destination == nullptr) return true;
    if (size <= path.size()) {
        m.Fail(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    CopyTextToCaller("SetupCopyOEMInfW", destination, size, path.data(), path.size());
    if (component != nullptr) *component = destination + (path.size() - published.size());
    return true;
}

// The staged package with a model for the device: Windows picks it when
// the device arrives.
void InstallFromStore(Machine& m, Device& device)
{
    for (const DriverPackage& package : m.devices.driverStore) {
        const InfFile* inf = m.infs.Find(package.source);
        if (inf == nullptr) continue;
        const bool hasModel = std::any_of(inf->models.begin(), inf->models.end(), [&](const std::u16string& model) {
            return MultiStringHolds(device.hardwareIds, model) || MultiStringHolds(device.compatibleIds, model);
        });
        if (!hasModel) continue;
        DeviceTree::InstallDriver(device, package.source, package.publishedName, *inf);
        return;
    }
}

CONFIGRET PLATFORM_API CM_Locate_DevNodeW(DWORD* devInst, LPWSTR deviceId, ULONG flags)
{
    Machine& m = Machine::Current();
    if (m.Enter("CM_Locate_DevNodeW", [&] {
            return sim::Arguments{deviceId == nullptr ? u"(root)" : Text(deviceId), Hex(flags)};
        }))
        return m.lastError;
    if (devInst == nullptr) return kCrInvalidPointer;
    if ((flags & ~ULONG{0x7}) != 0) return kCrInvalidFlag;
    if (deviceId == nullptr || *deviceId == u'\0') {
        *devInst = kRootDevNode;
        return CR_SUCCESS;
    }
    const Device* device = m.devices.FindByInstanceId(deviceId);
    if (device == nullptr || !device->present) return CR_NO_SUCH_DEVNODE;
    *devInst = device->devInst;
    return CR_SUCCESS;
}

// Synchronous or not, the sim's scan is over when the call returns: every
// device that was waiting to arrive is present, with the driver a staged
// package has for it.
CONFIGRET PLATFORM_API CM_Reenumerate_DevNode(DWORD devInst, ULONG flags)
{
    Machine& m = Machine::Current();
    if (m.Enter("CM_Reenumerate_DevNode", [&] { return sim::Arguments{Hex(devInst), Hex(flags)}; })) return m.lastError;
    if ((flags & ~kCmReenumerateFlags) != 0) return kCrInvalidFlag;
    if (devInst != kRootDevNode) return m.devices.Find(devInst) != nullptr ? CR_SUCCESS : kCrInvalidDevnode;
    ++m.devices.rescans;
    for (auto& [number, device] : m.devices.byDevInst) {
        if (!device.arrivesOnRescan) continue;
        device.arrivesOnRescan = false;
        device.present = true;
        if (device.driverKey.empty()) InstallFromStore(m, device);
    }
    return CR_SUCCESS;
}

CONFIGRET PLATFORM_API CM_Get_DevNode_Status(ULONG* status, ULONG* problem, DWORD devInst, ULONG flags)
{
    Machine& m = Machine::Current();
    if (m.Enter("CM_Get_DevNode_Status", [&] { return sim::Arguments{Hex(devInst), Hex(flags)}; })) return m.lastError;
    if (status == nullptr || problem == nullptr) return kCrInvalidPointer;
    if (flags != 0) return kCrInvalidFlag;
    const Device* device = m.devices.Find(devInst);
    if (device == nullptr || !device->present) return CR_NO_SUCH_DEVNODE;
    DeviceTree::Status(*device, *status, *problem);
    return CR_SUCCESS;
}

BOOL PLATFORM_API DiUninstallDriverW(HWND parent, LPCWSTR infPath, DWORD flags, BOOL* needReboot)
{
    Machine& m = Machine::Current();
    if (m.Enter("DiUninstallDriverW", [&] {
            return sim::Arguments{m.handles.Label(parent), Text(infPath), Hex(flags),
                                  needReboot == nullptr ? u"(null)" : u"(BOOL*)"};
        }))
        return FALSE;
    if ((flags & ~kDiurflagNoRemoveInf) != 0) return m.Fail(ERROR_INVALID_FLAGS);
    if (m.devices.wow64) return m.Fail(ERROR_IN_WOW64);
    const std::u16string path = infPath == nullptr ? u"" : infPath;
    if (needReboot != nullptr) *needReboot = FALSE;
    const auto package = FindPublished(m, path.substr(path.find_last_of(u'\\') + 1));
    if (!IsFullPath(path) || package == m.devices.driverStore.end() ||
        FoldCase(path.substr(0, path.find_last_of(u'\\') + 1)) != FoldCase(InfFolder(m)))
        return m.Fail(ERROR_FILE_NOT_FOUND);
    const std::u16string published = FoldCase(package->publishedName);
    for (auto& [number, device] : m.devices.byDevInst) {
        auto inf = device.driverKey.find(u"InfPath");
        if (inf == device.driverKey.end() || FoldCase(inf->second) != published) continue;
        device.driverKey.clear();
        device.driverInf.clear();
    }
    if (needReboot != nullptr) *needReboot = package->restartToUninstall ? TRUE : FALSE;
    if ((flags & kDiurflagNoRemoveInf) == 0) m.devices.driverStore.erase(package);
    return TRUE;
}

template <typename Function>
FARPROC Address(Function* function)
{
    return reinterpret_cast<FARPROC>(function);
}

Library& SystemLibraryNamed(Machine& m, const std::u16string& name)
{
    if (m.SystemLibrary(name) == nullptr) m.libraries.push_back(Library{m.systemDirectory + u"\\" + name, {}});
    return *m.SystemLibrary(name);
}

}  // namespace

const DriverPackage* DeviceTree::StagedFrom(const std::u16string& infPath) const
{
    auto it = std::find_if(driverStore.begin(), driverStore.end(),
                           [&](const DriverPackage& package) { return SameFolded(package.source, infPath); });
    return it == driverStore.end() ? nullptr : &*it;
}

// The first oemN.inf no package holds; a gap left by a deleted package is
// taken again, as Windows does.
std::u16string DeviceTree::Stage(const std::u16string& infPath)
{
    if (const DriverPackage* staged = StagedFrom(infPath)) return staged->publishedName;
    for (unsigned number = 0;; ++number) {
        std::u16string name = u"oem" + Number(number) + u".inf";
        const bool taken = std::any_of(driverStore.begin(), driverStore.end(), [&](const DriverPackage& package) {
            return FoldCase(package.publishedName) == name;
        });
        if (taken) continue;
        driverStore.push_back(DriverPackage{name, infPath});
        return name;
    }
}

void DeviceTree::InstallDriver(Device& device, const std::u16string& infPath, const std::u16string& publishedName,
                               const InfFile& inf)
{
    device.driverInf = infPath;
    device.driverKey = {{u"InfPath", publishedName},
                        {u"ProviderName", inf.provider},
                        {u"DriverVersion", inf.driverVersion},
                        {u"DriverDate", inf.driverDate}};
}

void DeviceTree::Status(const Device& device, ULONG& status, ULONG& problem)
{
    status = kDnDisableable;
    problem = !device.Enabled()          ? CM_PROB_DISABLED
              : device.problem != 0      ? device.problem
              : device.driverKey.empty() ? kCmProbFailedInstall
                                         : 0;
    status |= problem != 0 ? DN_HAS_PROBLEM : DN_STARTED | kDnDriverLoaded;
}

void AddConfigManager(Machine& machine)
{
    Library& library = SystemLibraryNamed(machine, u"cfgmgr32.dll");
    library.exports["CM_Locate_DevNodeW"] = Address(&CM_Locate_DevNodeW);
    library.exports["CM_Reenumerate_DevNode"] = Address(&CM_Reenumerate_DevNode);
    library.exports["CM_Get_DevNode_Status"] = Address(&CM_Get_DevNode_Status);
}

void AddUninstallDriver(Machine& machine)
{
    SystemLibraryNamed(machine, u"newdev.dll").exports["DiUninstallDriverW"] = Address(&DiUninstallDriverW);
}

}  // namespace sim

namespace platform {

using sim::Machine;

// REPLACEONLY: only a package staged already; NOOVERWRITE: a package staged
// already fails with ERROR_FILE_EXISTS and its name. Both together find the
// published name without staging anything.
BOOL SetupCopyOEMInfW(LPCWSTR sourceInfFileName, LPCWSTR sourceMediaLocation, DWORD sourceMediaType, DWORD copyStyle,
                      LPWSTR destinationInfFileName, DWORD destinationInfFileNameSize, DWORD* requiredSize,
                      LPWSTR* destinationInfFileNameComponent)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupCopyOEMInfW", [&] {
            return sim::Arguments{sim::Text(sourceInfFileName), sim::Text(sourceMediaLocation),
                                  sim::Number(sourceMediaType), sim::Hex(copyStyle),
                                  sim::Number(destinationInfFileNameSize)};
        }))
        return FALSE;
    if (sourceInfFileName == nullptr || (destinationInfFileName == nullptr && destinationInfFileNameSize != 0) ||
        (sourceMediaType != sim::kSpostNone && sourceMediaType != SPOST_PATH && sourceMediaType != sim::kSpostUrl))
        return m.Fail(ERROR_INVALID_PARAMETER);
    if ((copyStyle & ~sim::kKnownCopyStyles) != 0) return m.Fail(ERROR_INVALID_FLAGS);
    const std::u16string source = sourceInfFileName;
    if (!sim::IsFullPath(source) || !m.FileAttributes(source) || m.infs.Find(source) == nullptr)
        return m.Fail(ERROR_FILE_NOT_FOUND);
    const sim::DriverPackage* staged = m.devices.StagedFrom(source);
    if (staged == nullptr && (copyStyle & SP_COPY_REPLACEONLY) != 0) return m.Fail(ERROR_FILE_NOT_FOUND);
    const std::u16string published = staged != nullptr ? staged->publishedName : m.devices.Stage(source);
    if (!sim::GiveDestination(m, published, destinationInfFileName, destinationInfFileNameSize, requiredSize,
                              destinationInfFileNameComponent))
        return FALSE;
    if (staged != nullptr && (copyStyle & SP_COPY_NOOVERWRITE) != 0) return m.Fail(ERROR_FILE_EXISTS);
    return TRUE;
}

BOOL SetupUninstallOEMInfW(LPCWSTR infFileName, DWORD flags, void* reserved)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupUninstallOEMInfW", [&] { return sim::Arguments{sim::Text(infFileName), sim::Hex(flags)}; }))
        return FALSE;
    if (infFileName == nullptr || reserved != nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if ((flags & ~sim::kSuoiForceDelete) != 0) return m.Fail(ERROR_INVALID_FLAGS);
    const auto package = sim::FindPublished(m, infFileName);
    if (package == m.devices.driverStore.end()) return m.Fail(ERROR_FILE_NOT_FOUND);
    if ((flags & sim::kSuoiForceDelete) == 0 && sim::InUse(m, package->publishedName))
        return m.Fail(ERROR_INF_IN_USE_BY_DEVICES);
    m.devices.driverStore.erase(package);
    return TRUE;
}

}  // namespace platform
