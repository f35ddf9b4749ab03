// A simulated machine for the device operations: the INF file beside the
// program names the class "OstrelDev" and has a driver for ostrel\widget,
// the class is known to Windows, and newdev.dll is in the system folder.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "device/device.h"
#include "platform/sim/device_tree.h"
#include "sim_fixture.h"

namespace ostrel_test {

inline const platform::GUID kOstrelClass = {
    0x6A1D2E4F, 0x11C3, 0x4B2A, {0x9E, 0x10, 0x52, 0x33, 0x7C, 0x0D, 0xA4, 0x01}};
inline const platform::GUID kOtherClass = {
    0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline const std::u16string kWidget = u"ostrel\\widget";

class DeviceFixture : public SimFixture {
protected:
    DeviceFixture()
    {
        sim::InfFile inf;
        inf.classGuid = kOstrelClass;
        inf.className = u"OstrelDev";
        inf.models = {kWidget};
        machine.AddInf(kDefaultInfPath, inf);
        machine.devices.AddClass(kOstrelClass, u"OstrelDev");
        machine.devices.AddClass(kOtherClass, u"System");
        machine.systemTexts[platform::ERROR_NO_SUCH_DEVINST] = sim::U16(kNoSuchDevinstText) + u"\n";
        machine.systemTexts[platform::ERROR_IN_WOW64] = sim::U16(kWow64Text) + u"\n";
        sim::AddNewDevLibrary(machine);
    }

    sim::Device& AddDevice(const std::u16string& instanceId, std::initializer_list<std::u16string> hardwareIds)
    {
        return machine.devices.Add(instanceId, kOstrelClass, hardwareIds);
    }

    // The INF file names a class that Windows does not know, and no GUID.
    void DropInfClass()
    {
        sim::InfFile inf;
        inf.className = u"NoSuchClass";
        inf.models = {kWidget};
        machine.AddInf(kDefaultInfPath, inf);
    }

    // The calls to the Setup API, newdev and the library loader, in order,
    // with the boxes shown between them as "box".
    std::vector<std::string> DeviceCalls() const
    {
        static const std::set<std::string> functions = {"SetupDiGetINFClassW",
                                                        "SetupDiGetClassDevsW",
                                                        "SetupDiCreateDeviceInfoList",
                                                        "SetupDiEnumDeviceInfo",
                                                        "SetupDiGetDeviceRegistryPropertyW",
                                                        "SetupDiCreateDeviceInfoW",
                                                        "SetupDiSetDeviceRegistryPropertyW",
                                                        "SetupDiSetClassInstallParamsW",
                                                        "SetupDiCallClassInstaller",
                                                        "SetupDiRemoveDevice",
                                                        "SetupDiGetDeviceInstallParamsW",
                                                        "SetupDiDestroyDeviceInfoList",
                                                        "LoadLibraryExW",
                                                        "GetProcAddress",
                                                        "FreeLibrary",
                                                        "UpdateDriverForPlugAndPlayDevicesW",
                                                        "MessageBoxW"};
        std::vector<std::string> calls;
        for (const std::string& call : machine.CallsTo(functions))
            calls.push_back(call.rfind("MessageBoxW(", 0) == 0 ? "box" : call);
        return calls;
    }

    std::size_t OpenSets() const { return machine.handles.OpenCount(sim::HandleKind::deviceInfoSet); }
    std::size_t LoadedLibraries() const { return machine.handles.OpenCount(sim::HandleKind::library); }
};

}  // namespace ostrel_test
