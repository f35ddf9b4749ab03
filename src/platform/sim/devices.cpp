// The Setup API's device functions on the simulated device tree.
//
// A device information set holds elements that name devices by their node
// number. Each element keeps what Windows keeps per element: its class-install
// parameters and its install-parameter flags. The record a caller gets back
// (SP_DEVINFO_DATA) names the element by its position in Reserved, and the
// device by DevInst; both are checked on the way back in.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kDigcfAllClasses = 0x4;
constexpr DWORD kRegMultiSz = 7;
constexpr DWORD kDicsPropChange = 3;
constexpr DWORD kDicsStop = 5;
constexpr DWORD kDicsFlagConfigGeneral = 4;
constexpr DWORD kSpdrpMaximumProperty = 0x25;

constexpr DWORD kDicdKnownFlags = 0x3;  // DICD_GENERATE_ID, DICD_INHERIT_CLASSDRVS

// The class-install parameters set for the next installer call: of one
// function at a time, as Windows keeps them.
struct ClassInstallParams {
    std::optional<SP_PROPCHANGE_PARAMS> propertyChange;
    std::optional<SP_REMOVEDEVICE_PARAMS> removal;
};

struct Element {
    Element(DWORD device, std::u16string id) : devInst(device), instanceId(std::move(id)) {}
    DWORD devInst = 0;
    std::u16string instanceId;  // kept for the log once the device is gone
    DWORD installFlags = 0;
    ClassInstallParams params;
};

struct DeviceInfoSet {
    std::optional<GUID> classGuid;
    std::vector<Element> elements;
    ClassInstallParams params;  // the set's own, for no particular device
    DWORD installFlags = 0;     // likewise
};

DeviceInfoSet* FindSet(Machine& m, HDEVINFO handle)
{
    DeviceInfoSet* set = m.handles.Find<DeviceInfoSet>(handle, HandleKind::deviceInfoSet);
    return set != nullptr ? set : m.Fail(ERROR_INVALID_HANDLE, set);
}

// The element a record names, or null when the record names none of this set.
Element* ElementOf(DeviceInfoSet& set, const SP_DEVINFO_DATA* record)
{
    if (record == nullptr || record->cbSize != sizeof(SP_DEVINFO_DATA)) return nullptr;
    if (record->Reserved == 0 || record->Reserved > set.elements.size()) return nullptr;
    Element& element = set.elements[record->Reserved - 1];
    return element.devInst == record->DevInst ? &element : nullptr;
}

// How the log shows a device record: the device's instance ID.
std::u16string RecordLabel(Machine& m, HDEVINFO handle, const SP_DEVINFO_DATA* record)
{
    if (record == nullptr) return u"(null)";
    DeviceInfoSet* set = m.handles.Find<DeviceInfoSet>(handle, HandleKind::deviceInfoSet);
    const Element* element = set == nullptr ? nullptr : ElementOf(*set, record);
    return element == nullptr ? u"(bad device record)" : element->instanceId;
}

void FillRecord(std::size_t position, const Device& device, SP_DEVINFO_DATA& record)
{
    record.ClassGuid = device.classGuid;
    record.DevInst = device.devInst;
    record.Reserved = position + 1;
}

std::u16string PropertyName(DWORD property)
{
    if (property == SPDRP_HARDWAREID) return u"SPDRP_HARDWAREID";
    if (property == SPDRP_COMPATIBLEIDS) return u"SPDRP_COMPATIBLEIDS";
    return Hex(property);
}

std::u16string InstallFunctionName(UINT function)
{
    if (function == DIF_PROPERTYCHANGE) return u"DIF_PROPERTYCHANGE";
    if (function == DIF_REGISTERDEVICE) return u"DIF_REGISTERDEVICE";
    if (function == DIF_REMOVE) return u"DIF_REMOVE";
    return Hex(function);
}

std::u16string StateChangeName(DWORD state)
{
    if (state == DICS_ENABLE) return u"DICS_ENABLE";
    if (state == DICS_DISABLE) return u"DICS_DISABLE";
    return Number(state);
}

std::u16string ScopeName(DWORD scope)
{
    if (scope == DICS_FLAG_GLOBAL) return u"DICS_FLAG_GLOBAL";
    if (scope == DICS_FLAG_CONFIGSPECIFIC) return u"DICS_FLAG_CONFIGSPECIFIC";
    return Number(scope);
}

// NUL shown as "\0", so that the log shows a multi-string's shape.
std::u16string RawText(const BYTE* data, DWORD size)
{
    if (data == nullptr) return u"(null)";
    std::u16string text;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        char16_t c = 0;
        std::memcpy(&c, data + i, sizeof c);
        if (c == 0)
            text += u"\\0";
        else
            text.push_back(c);
    }
    return text;
}

std::optional<std::u16string>* PropertyOf(Device& device, DWORD property)
{
    if (property == SPDRP_HARDWAREID) return &device.hardwareIds;
    if (property == SPDRP_COMPATIBLEIDS) return &device.compatibleIds;
    return nullptr;
}

bool ValidPropertyChange(const SP_PROPCHANGE_PARAMS& params)
{
    const bool stateKnown = params.StateChange >= DICS_ENABLE && params.StateChange <= kDicsStop;
    const bool scopeKnown = params.Scope == DICS_FLAG_GLOBAL || params.Scope == DICS_FLAG_CONFIGSPECIFIC ||
                            params.Scope == kDicsFlagConfigGeneral;
    return stateKnown && scopeKnown;
}

void ApplyPropertyChange(Device& device, const SP_PROPCHANGE_PARAMS& params)
{
    if (params.StateChange != DICS_ENABLE && params.StateChange != DICS_DISABLE) return;
    const bool disable = params.StateChange == DICS_DISABLE;
    if (params.Scope == DICS_FLAG_GLOBAL)
        device.disabledGlobally = disable;
    else
        device.disabledInProfile = disable;
}

BOOL RunPropertyChange(Machine& m, Element& element, Device& device)
{
    const std::optional<SP_PROPCHANGE_PARAMS>& propertyChange = element.params.propertyChange;
    if (!propertyChange) return m.Fail(ERROR_NO_CLASS_INSTALL_PARAMS);
    const DeviceClass* deviceClass = m.devices.FindClass(device.classGuid);
    if (deviceClass != nullptr && deviceClass->propertyChangeRefusal != 0) {
        return m.Fail(deviceClass->propertyChangeRefusal);
    }
    if (propertyChange->StateChange == kDicsPropChange)
        ++device.restarts;
    else
        ApplyPropertyChange(device, *propertyChange);
    element.installFlags |= device.flagsAfterChange;
    return TRUE;
}

// Without removal parameters the removal is global, as Windows' default
// handler makes it; registered or not, the device is gone.
BOOL RunRemoval(Machine& m, Element& element, const Device& device)
{
    const DeviceClass* deviceClass = m.devices.FindClass(device.classGuid);
    if (deviceClass != nullptr && deviceClass->removalRefusal != 0) return m.Fail(deviceClass->removalRefusal);
    element.installFlags |= device.flagsAfterChange;
    m.devices.byDevInst.erase(device.devInst);
    return TRUE;
}

BOOL RunRegistration(Machine& m, Device& device)
{
    const DeviceClass* deviceClass = m.devices.FindClass(device.classGuid);
    if (deviceClass != nullptr && deviceClass->registrationRefusal != 0) {
        return m.Fail(deviceClass->registrationRefusal);
    }
    device.registered = true;
    device.present = true;
    return TRUE;
}

bool ValidRootName(const char16_t* name)
{
    if (name == nullptr || *name == 0) return false;
    for (const char16_t* c = name; *c != 0; ++c)
        if (*c == u'\\' || *c <= u' ') return false;
    return true;
}

std::u16string GuidArgument(const GUID* guid) { return guid == nullptr ? u"(null)" : GuidText(*guid); }

}  // namespace

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

std::u16string GuidText(const GUID& guid)
{
    std::u16string text;
    text.reserve(38);
    const auto put = [&text](std::uint64_t value, int digits) {
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            text.push_back(u"0123456789ABCDEF"[(value >> shift) & 0xF]);
    };
    text.push_back(u'{');
    put(guid.Data1, 8);
    text.push_back(u'-');
    put(guid.Data2, 4);
    text.push_back(u'-');
    put(guid.Data3, 4);
    text.push_back(u'-');
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    text.push_back(u'-');
    for (int i = 2; i < 8; ++i) put(guid.Data4[i], 2);
    text.push_back(u'}');
    return text;
}

std::u16string MultiString(std::initializer_list<std::u16string> ids)
{
    std::u16string data;
    for (const std::u16string& id : ids) {
        data += id;
        data.push_back(u'\0');
    }
    data.push_back(u'\0');
    return data;
}

bool MultiStringHolds(const std::optional<std::u16string>& data, const std::u16string& id)
{
    if (!data || id.empty()) return false;
    std::size_t start = 0;
    while (start < data->size() && (*data)[start] != u'\0') {
        const std::size_t end = data->find(u'\0', start);
        if (end == std::u16string::npos) return false;
        if (SameFolded(std::u16string_view(*data).substr(start, end - start), id)) return true;
        start = end + 1;
    }
    return false;
}

DeviceClass& DeviceTree::AddClass(const GUID& guid, std::u16string name)
{
    classes.push_back(DeviceClass{guid, std::move(name)});
    return classes.back();
}

Device& DeviceTree::Create(std::u16string instanceId, const GUID& classGuid)
{
    const DWORD devInst = nextDevInst_++;
    Device& device = byDevInst[devInst];
    device.devInst = devInst;
    device.instanceId = std::move(instanceId);
    device.classGuid = classGuid;
    return device;
}

Device& DeviceTree::Add(std::u16string instanceId, const GUID& classGuid,
                        std::initializer_list<std::u16string> hardwareIds)
{
    return AddRaw(std::move(instanceId), classGuid, MultiString(hardwareIds));
}

Device& DeviceTree::AddRaw(std::u16string instanceId, const GUID& classGuid, std::u16string hardwareIdData)
{
    Device& device = Create(std::move(instanceId), classGuid);
    device.hardwareIds = std::move(hardwareIdData);
    return device;
}

Device* DeviceTree::Find(DWORD devInst)
{
    auto it = byDevInst.find(devInst);
    return it == byDevInst.end() ? nullptr : &it->second;
}

Device* DeviceTree::FindByInstanceId(const std::u16string& instanceId)
{
    auto it = std::find_if(byDevInst.begin(), byDevInst.end(),
                           [&](const auto& entry) { return SameFolded(entry.second.instanceId, instanceId); });
    return it == byDevInst.end() ? nullptr : &it->second;
}

const DeviceClass* DeviceTree::FindClass(const GUID& guid) const
{
    auto it = std::find_if(classes.begin(), classes.end(),
                           [&](const DeviceClass& deviceClass) { return SameGuid(deviceClass.guid, guid); });
    return it == classes.end() ? nullptr : &*it;
}

std::vector<std::u16string> DeviceTree::WithHardwareId(const std::u16string& id) const
{
    std::vector<std::u16string> found;
    for (const auto& [devInst, device] : byDevInst)
        if (device.registered && MultiStringHolds(device.hardwareIds, id)) found.push_back(device.instanceId);
    return found;
}

// Instance IDs are kept in upper case, as Windows keeps them.
std::u16string DeviceTree::GenerateRootInstanceId(const std::u16string& name) const
{
    std::u16string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - (u'a' - u'A')) : c; });
    for (unsigned number = 0;; ++number) {
        char digits[16];
        (void)std::snprintf(digits, sizeof digits, "%04u", number);
        std::u16string candidate = u"ROOT\\" + upper + u"\\" + U16(digits);
        const std::u16string folded = FoldCase(candidate);
        const bool taken = std::any_of(byDevInst.begin(), byDevInst.end(),
                                       [&](const auto& entry) { return FoldCase(entry.second.instanceId) == folded; });
        if (!taken) return candidate;
    }
}

}  // namespace sim

namespace platform {

using sim::Device;
using sim::DeviceInfoSet;
using sim::Element;
using sim::Machine;

BOOL SetupDiGetINFClassW(LPCWSTR infName, GUID* classGuid, LPWSTR className, DWORD classNameSize, DWORD* requiredSize)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiGetINFClassW", [&] { return sim::Arguments{sim::Text(infName), sim::Number(classNameSize)}; }))
        return FALSE;
    if (infName == nullptr || classGuid == nullptr || className == nullptr) {
        return m.Fail(ERROR_INVALID_PARAMETER);
    }
    if (!m.FileAttributes(infName)) return m.Fail(ERROR_FILE_NOT_FOUND);
    const sim::InfFile* inf = m.infs.Find(infName);
    if (inf == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);  // not an INF file: no [Version] to read
    GUID guid = inf->classGuid;
    std::u16string name = inf->className;
    // An INF file that names its class neither way has none to give (as
    // Wine answers; the error code is the sim's own choice).
    const GUID noGuid{};
    if (name.empty() && sim::SameGuid(guid, noGuid)) return m.Fail(ERROR_INVALID_CLASS);
    // A class named by its GUID alone gets its name from the classes Windows
    // knows. Not so the other way round: without a ClassGuid entry the GUID
    // is GUID_NULL, even for a class name Windows knows (the caller may look
    // the name up itself).
    if (const sim::DeviceClass* known = m.devices.FindClass(guid); known != nullptr && name.empty()) name = known->name;
    if (requiredSize != nullptr) *requiredSize = static_cast<DWORD>(name.size() + 1);
    if (name.size() + 1 > classNameSize) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    *classGuid = guid;
    sim::CopyTextToCaller("SetupDiGetINFClassW", className, classNameSize, name.data(), name.size());
    return TRUE;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiGetClassDevsW", [&] {
            return sim::Arguments{sim::GuidArgument(classGuid), sim::Text(enumerator), m.handles.Label(parent),
                                  sim::Hex(flags)};
        }))
        return INVALID_HANDLE_VALUE;
    const bool allClasses = (flags & sim::kDigcfAllClasses) != 0;
    if (classGuid == nullptr && !allClasses) return m.Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    auto infoSet = std::make_shared<DeviceInfoSet>();
    if (!allClasses) infoSet->classGuid = *classGuid;
    const std::u16string prefix = enumerator == nullptr ? u"" : std::u16string(enumerator) + u"\\";
    for (const auto& [devInst, candidate] : m.devices.byDevInst) {
        if (!candidate.registered) continue;
        if ((flags & DIGCF_PRESENT) != 0 && !candidate.present) continue;
        if (!allClasses && !sim::SameGuid(candidate.classGuid, *classGuid)) continue;
        if (!sim::StartsFolded(candidate.instanceId, prefix)) continue;
        infoSet->elements.emplace_back(devInst, candidate.instanceId);
    }
    return m.handles.Add(sim::HandleKind::deviceInfoSet, u"set" + sim::Number(++m.devices.setsCreated),
                         std::move(infoSet));
}

HDEVINFO SetupDiCreateDeviceInfoList(const GUID* classGuid, HWND parent)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiCreateDeviceInfoList", [&] {
            return sim::Arguments{sim::GuidArgument(classGuid), m.handles.Label(parent)};
        }))
        return INVALID_HANDLE_VALUE;
    auto infoSet = std::make_shared<DeviceInfoSet>();
    if (classGuid != nullptr) infoSet->classGuid = *classGuid;
    return m.handles.Add(sim::HandleKind::deviceInfoSet, u"set" + sim::Number(++m.devices.setsCreated),
                         std::move(infoSet));
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiEnumDeviceInfo", [&] { return sim::Arguments{m.handles.Label(set), sim::Number(index)}; }))
        return FALSE;
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return FALSE;
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return m.Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (index >= infoSet->elements.size()) return m.Fail(ERROR_NO_MORE_ITEMS);
    const Device* found = m.devices.Find(infoSet->elements[index].devInst);
    if (found == nullptr) return m.Fail(ERROR_NO_SUCH_DEVINST);
    sim::FillRecord(index, *found, *device);
    return TRUE;
}

// Shared entry checks of the functions that take a set and a device record:
// the element and its device, or null with the last error set.
namespace {

struct Target {
    Element* element = nullptr;
    Device* device = nullptr;
};

Target FindTarget(Machine& m, HDEVINFO set, const SP_DEVINFO_DATA* device)
{
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return {};
    Element* element = sim::ElementOf(*infoSet, device);
    if (element == nullptr) return m.Fail(ERROR_INVALID_PARAMETER, Target{});
    Device* found = m.devices.Find(element->devInst);
    if (found == nullptr) return m.Fail(ERROR_NO_SUCH_DEVINST, Target{element, nullptr});
    return {element, found};
}

}  // namespace

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, DWORD* propertyRegType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiGetDeviceRegistryPropertyW", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device), sim::PropertyName(property),
                                  sim::Number(bufferSize)};
        }))
        return FALSE;
    const Target target = FindTarget(m, set, device);
    if (target.device == nullptr) return FALSE;
    const std::optional<std::u16string>* value = sim::PropertyOf(*target.device, property);
    if (value == nullptr) {
        // Properties the sim does not hold read as absent.
        const bool known = property < sim::kSpdrpMaximumProperty;
        return m.Fail(known ? ERROR_INVALID_DATA : ERROR_INVALID_REG_PROPERTY);
    }
    if (!*value) return m.Fail(ERROR_INVALID_DATA);
    const std::u16string data = **value;
    if (property == SPDRP_HARDWAREID && !target.device->hardwareIdsLater.empty()) {
        target.device->hardwareIds = target.device->hardwareIdsLater.front();
        target.device->hardwareIdsLater.erase(target.device->hardwareIdsLater.begin());
    }
    const DWORD bytes = static_cast<DWORD>(data.size() * sizeof(char16_t));
    if (requiredSize != nullptr) *requiredSize = bytes;
    if (propertyRegType != nullptr) *propertyRegType = sim::kRegMultiSz;
    if (buffer == nullptr || bytes > bufferSize) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    // Raw registry data: copied as it is, malformed or not.
    sim::CopyToCaller("SetupDiGetDeviceRegistryPropertyW", buffer, bufferSize,
                      reinterpret_cast<const BYTE*>(data.data()), bytes);
    return TRUE;
}

BOOL SetupDiCreateDeviceInfoW(HDEVINFO set, LPCWSTR deviceName, const GUID* classGuid, LPCWSTR deviceDescription,
                              HWND parent, DWORD creationFlags, SP_DEVINFO_DATA* device)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiCreateDeviceInfoW", [&] {
            return sim::Arguments{m.handles.Label(set),         sim::Text(deviceName),   sim::GuidArgument(classGuid),
                                  sim::Text(deviceDescription), m.handles.Label(parent), sim::Hex(creationFlags)};
        }))
        return FALSE;
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return FALSE;
    if (classGuid == nullptr || deviceName == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if ((creationFlags & ~sim::kDicdKnownFlags) != 0) return m.Fail(ERROR_INVALID_FLAGS);
    if (infoSet->classGuid && !sim::SameGuid(*infoSet->classGuid, *classGuid)) {
        return m.Fail(ERROR_CLASS_MISMATCH);
    }
    if (device != nullptr && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return m.Fail(ERROR_INVALID_USER_BUFFER);
    }
    std::u16string instanceId;
    if ((creationFlags & DICD_GENERATE_ID) != 0) {
        if (!sim::ValidRootName(deviceName)) return m.Fail(ERROR_INVALID_DEVINST_NAME);
        instanceId = m.devices.GenerateRootInstanceId(deviceName);
    } else {
        instanceId = deviceName;
        if (instanceId.empty()) return m.Fail(ERROR_INVALID_DEVINST_NAME);
        if (m.devices.FindByInstanceId(instanceId) != nullptr) return m.Fail(ERROR_DEVINST_ALREADY_EXISTS);
    }
    Device& created = m.devices.Create(std::move(instanceId), *classGuid);
    created.registered = false;
    created.present = false;
    if (!infoSet->classGuid) infoSet->classGuid = *classGuid;
    infoSet->elements.emplace_back(created.devInst, created.instanceId);
    if (device != nullptr) sim::FillRecord(infoSet->elements.size() - 1, created, *device);
    return TRUE;
}

BOOL SetupDiSetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const BYTE* buffer,
                                       DWORD bufferSize)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiSetDeviceRegistryPropertyW", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device), sim::PropertyName(property),
                                  sim::RawText(buffer, bufferSize), sim::Number(bufferSize)};
        }))
        return FALSE;
    const Target target = FindTarget(m, set, device);
    if (target.device == nullptr) return FALSE;
    std::optional<std::u16string>* value = sim::PropertyOf(*target.device, property);
    if (value == nullptr) return m.Fail(ERROR_INVALID_REG_PROPERTY);
    if (buffer == nullptr && bufferSize == 0) {
        value->reset();
        return TRUE;
    }
    if (buffer == nullptr || bufferSize % sizeof(char16_t) != 0) {
        return m.Fail(buffer == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_DATA);
    }
    std::u16string data(bufferSize / sizeof(char16_t), u'\0');
    std::memcpy(data.data(), buffer, bufferSize);
    *value = std::move(data);
    return TRUE;
}

namespace {

std::vector<std::u16string> ClassInstallParamsArguments(Machine& m, HDEVINFO set, const SP_DEVINFO_DATA* device,
                                                        const SP_CLASSINSTALL_HEADER* header, DWORD size)
{
    std::vector<std::u16string> arguments{m.handles.Label(set), sim::RecordLabel(m, set, device)};
    if (header != nullptr && size == sizeof(SP_REMOVEDEVICE_PARAMS) && header->InstallFunction == DIF_REMOVE) {
        SP_REMOVEDEVICE_PARAMS params{};
        std::memcpy(&params, header, sizeof params);
        arguments.push_back(sim::InstallFunctionName(params.ClassInstallHeader.InstallFunction));
        arguments.push_back(params.Scope == DI_REMOVEDEVICE_GLOBAL ? u"DI_REMOVEDEVICE_GLOBAL"
                                                                   : sim::Number(params.Scope));
        arguments.push_back(sim::Number(params.HwProfile));
    } else if (header != nullptr && size >= sizeof(SP_PROPCHANGE_PARAMS)) {
        SP_PROPCHANGE_PARAMS params{};
        std::memcpy(&params, header, sizeof params);
        arguments.push_back(sim::InstallFunctionName(params.ClassInstallHeader.InstallFunction));
        arguments.push_back(sim::StateChangeName(params.StateChange));
        arguments.push_back(sim::ScopeName(params.Scope));
        arguments.push_back(sim::Number(params.HwProfile));
    }
    arguments.push_back(sim::Number(size));
    return arguments;
}

// The class-install parameters in `header` (property change or removal),
// or none with the last error set.
std::optional<sim::ClassInstallParams> ReadClassInstallParams(Machine& m, const SP_CLASSINSTALL_HEADER* header,
                                                              DWORD size)
{
    if (header->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
        return m.Fail(ERROR_INVALID_USER_BUFFER, std::nullopt);
    }
    sim::ClassInstallParams read;
    if (header->InstallFunction == DIF_PROPERTYCHANGE && size == sizeof(SP_PROPCHANGE_PARAMS)) {
        SP_PROPCHANGE_PARAMS params{};
        std::memcpy(&params, header, sizeof params);
        if (!sim::ValidPropertyChange(params)) return m.Fail(ERROR_INVALID_PARAMETER, std::nullopt);
        read.propertyChange = params;
        return read;
    }
    if (header->InstallFunction == DIF_REMOVE && size == sizeof(SP_REMOVEDEVICE_PARAMS)) {
        SP_REMOVEDEVICE_PARAMS params{};
        std::memcpy(&params, header, sizeof params);
        if (params.Scope != DI_REMOVEDEVICE_GLOBAL && params.Scope != DICS_FLAG_CONFIGSPECIFIC)
            return m.Fail(ERROR_INVALID_PARAMETER, std::nullopt);
        read.removal = params;
        return read;
    }
    return m.Fail(ERROR_INVALID_PARAMETER, std::nullopt);
}

}  // namespace

BOOL SetupDiSetClassInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_CLASSINSTALL_HEADER* params,
                                   DWORD paramsSize)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiSetClassInstallParamsW",
                [&] { return ClassInstallParamsArguments(m, set, device, params, paramsSize); }))
        return FALSE;
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return FALSE;
    sim::ClassInstallParams* slot = &infoSet->params;
    if (device != nullptr) {
        Element* element = sim::ElementOf(*infoSet, device);
        if (element == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
        slot = &element->params;
    }
    if (params == nullptr) {
        if (paramsSize != 0) return m.Fail(ERROR_INVALID_PARAMETER);
        *slot = sim::ClassInstallParams{};
        return TRUE;
    }
    std::optional<sim::ClassInstallParams> read = ReadClassInstallParams(m, params, paramsSize);
    if (!read) return FALSE;
    *slot = *read;
    return TRUE;
}

BOOL SetupDiCallClassInstaller(UINT installFunction, HDEVINFO set, SP_DEVINFO_DATA* device)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiCallClassInstaller", [&] {
            return sim::Arguments{sim::InstallFunctionName(installFunction), m.handles.Label(set),
                                  sim::RecordLabel(m, set, device)};
        }))
        return FALSE;
    const Target target = FindTarget(m, set, device);
    if (target.device == nullptr) return FALSE;
    if (installFunction == DIF_PROPERTYCHANGE) {
        if (!target.device->registered) return m.Fail(ERROR_NO_SUCH_DEVINST);
        return sim::RunPropertyChange(m, *target.element, *target.device);
    }
    if (installFunction == DIF_REGISTERDEVICE) return sim::RunRegistration(m, *target.device);
    if (installFunction == DIF_REMOVE) return sim::RunRemoval(m, *target.element, *target.device);
    // The sim models no other installer function.
    return m.Fail(ERROR_DI_DO_DEFAULT);
}

BOOL SetupDiRemoveDevice(HDEVINFO set, SP_DEVINFO_DATA* device)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiRemoveDevice", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device)};
        }))
        return FALSE;
    const Target target = FindTarget(m, set, device);
    if (target.device == nullptr) return FALSE;
    target.element->installFlags |= target.device->flagsAfterChange;
    m.devices.byDevInst.erase(target.device->devInst);
    return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiGetDeviceInstallParamsW", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device)};
        }))
        return FALSE;
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return FALSE;
    if (params == nullptr || params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) {
        return m.Fail(params == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_USER_BUFFER);
    }
    DWORD flags = infoSet->installFlags;
    if (device != nullptr) {
        // The element outlives its device: the flags of a removal stay readable.
        const Element* element = sim::ElementOf(*infoSet, device);
        if (element == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
        flags = element->installFlags;
    }
    *params = SP_DEVINSTALL_PARAMS_W{};
    params->cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
    params->Flags = flags;
    return TRUE;
}

// Stores the flags (DI_QUIETINSTALL and the like) where the matching Get
// reads them: on the element, or on the set itself without a device.
BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* device, SP_DEVINSTALL_PARAMS_W* params)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiSetDeviceInstallParamsW", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device),
                                  sim::Hex(params == nullptr ? 0 : params->Flags)};
        }))
        return FALSE;
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return FALSE;
    if (params == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
    if (params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return m.Fail(ERROR_INVALID_USER_BUFFER);
    DWORD* flags = &infoSet->installFlags;
    if (device != nullptr) {
        Element* element = sim::ElementOf(*infoSet, device);
        if (element == nullptr) return m.Fail(ERROR_INVALID_PARAMETER);
        flags = &element->installFlags;
    }
    *flags = params->Flags;
    return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* device, LPWSTR instanceId, DWORD instanceIdSize,
                                 DWORD* requiredSize)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiGetDeviceInstanceIdW", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device), sim::Number(instanceIdSize)};
        }))
        return FALSE;
    const Target target = FindTarget(m, set, device);
    if (target.device == nullptr) return FALSE;
    const std::u16string& id = target.device->instanceId;
    if (requiredSize != nullptr) *requiredSize = static_cast<DWORD>(id.size() + 1);
    if (instanceId == nullptr || instanceIdSize <= id.size()) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    sim::CopyTextToCaller("SetupDiGetDeviceInstanceIdW", instanceId, instanceIdSize, id.data(), id.size());
    return TRUE;
}

// The driver key of a device that has a driver: its values stay the
// device's own, read when asked for.
HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD scope, DWORD hwProfile, DWORD keyType,
                          DWORD desiredAccess)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiOpenDevRegKey", [&] {
            return sim::Arguments{m.handles.Label(set), sim::RecordLabel(m, set, device),
                                  sim::Number(scope),   sim::Number(hwProfile),
                                  sim::Number(keyType), sim::Hex(desiredAccess)};
        }))
        return INVALID_HANDLE_VALUE;
    const Target target = FindTarget(m, set, device);
    if (target.device == nullptr) return INVALID_HANDLE_VALUE;
    if ((scope != DICS_FLAG_GLOBAL && scope != DICS_FLAG_CONFIGSPECIFIC) ||
        (keyType != DIREG_DRV && keyType != DIREG_DEV))
        return m.Fail(ERROR_INVALID_FLAGS, INVALID_HANDLE_VALUE);
    if (keyType != DIREG_DRV || target.device->driverKey.empty())
        return m.Fail(ERROR_KEY_DOES_NOT_EXIST, INVALID_HANDLE_VALUE);
    return m.handles.Add(sim::HandleKind::registryKey, target.device->instanceId + u"\\driver",
                         std::make_shared<DWORD>(target.device->devInst));
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize)
{
    Machine& m = Machine::Current();
    if (m.Enter("RegQueryValueExW", [&] { return sim::Arguments{m.handles.Label(key), sim::Text(valueName)}; }))
        return static_cast<LONG>(m.lastError);
    const DWORD* devInst = m.handles.Find<DWORD>(key, sim::HandleKind::registryKey);
    if (devInst == nullptr) return static_cast<LONG>(ERROR_INVALID_HANDLE);
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr))
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    const Device* device = m.devices.Find(*devInst);
    if (device == nullptr) return static_cast<LONG>(ERROR_KEY_DELETED);
    auto value = device->driverKey.find(valueName == nullptr ? u"" : valueName);
    if (value == device->driverKey.end() || value->second.empty()) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    // REG_SZ as the registry keeps it: the text and its terminator.
    const auto bytes = static_cast<DWORD>((value->second.size() + 1) * sizeof(char16_t));
    if (type != nullptr) *type = REG_SZ;
    const DWORD room = dataSize == nullptr ? 0 : *dataSize;
    if (dataSize != nullptr) *dataSize = bytes;
    if (data == nullptr) return static_cast<LONG>(ERROR_SUCCESS);
    if (bytes > room) return static_cast<LONG>(ERROR_MORE_DATA);
    sim::CopyToCaller("RegQueryValueExW", data, room, reinterpret_cast<const BYTE*>(value->second.c_str()), bytes);
    return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegCloseKey(HKEY key)
{
    Machine& m = Machine::Current();
    if (m.Enter("RegCloseKey", [&] { return sim::Arguments{m.handles.Label(key)}; }))
        return static_cast<LONG>(m.lastError);
    return m.handles.Remove(key, sim::HandleKind::registryKey) ? static_cast<LONG>(ERROR_SUCCESS)
                                                               : static_cast<LONG>(ERROR_INVALID_HANDLE);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    Machine& m = Machine::Current();
    if (m.Enter("SetupDiDestroyDeviceInfoList", [&] { return sim::Arguments{m.handles.Label(set)}; })) return FALSE;
    DeviceInfoSet* infoSet = sim::FindSet(m, set);
    if (infoSet == nullptr) return FALSE;
    // Elements created in the set and never registered go with it.
    for (const Element& element : infoSet->elements) {
        const Device* member = m.devices.Find(element.devInst);
        if (member != nullptr && !member->registered) m.devices.byDevInst.erase(element.devInst);
    }
    m.handles.Remove(set, sim::HandleKind::deviceInfoSet);
    return TRUE;
}

}  // namespace platform
