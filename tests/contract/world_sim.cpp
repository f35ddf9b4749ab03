// The cases' world on the simulated machine: a fresh machine for every
// case, set up through the machine's own description of itself.
#include <algorithm>

#include "contract.h"
#include "platform/sim/machine.h"

namespace contract {

Side ThisSide() { return Side::simulatedMachine; }
bool UnderWine() { return false; }
std::optional<int> ServeIfAsked(int /*argc*/, char** /*argv*/) { return std::nullopt; }

namespace {

const std::u16string kFolder = u"C:\\Contract";

std::u16string RegistryPath(const RegistryValue& value) { return u"HKCU\\" + value.key + u"\\" + value.name; }

}  // namespace

// A machine as Windows 10 is when nothing has been installed on it: the
// classes every Windows knows, newdev.dll (with DiUninstallDriverW) and
// cfgmgr32.dll in the system folder.
struct World::Machine {
    Machine()
    {
        sim.modulePath = u"C:\\Tests\\contract_tests.exe";
        sim.commandLine = u"\"" + sim.modulePath + u"\" --gtest_brief=1";
        sim.AddFolder(kFolder);
        sim.devices.AddClass(kSystemClass, u"System");
        sim::AddNewDevLibrary(sim);
        sim::AddUninstallDriver(sim);
    }

    sim::Machine sim;
    unsigned services = 0;
};

World::World() : machine_(std::make_unique<Machine>()) {}
World::~World() = default;

platform::LANGID World::UiLanguage() const { return machine_->sim.uiLanguage; }

std::u16string World::Folder() const { return kFolder; }

std::u16string World::CurrentFolder() const { return machine_->sim.currentDirectory; }

void World::WriteFile(const std::u16string& path, const std::string& bytes)
{
    machine_->sim.AddFile(path);
    machine_->sim.fileBytes[path] = bytes;
}

void World::MakeFolder(const std::u16string& path) { machine_->sim.AddFolder(path); }

bool World::Exists(const std::u16string& path) const { return machine_->sim.FileAttributes(path).has_value(); }

std::string World::Contents(const std::u16string& path) const
{
    for (const auto& [name, bytes] : machine_->sim.fileBytes)
        if (sim::PathKey(name) == sim::PathKey(path)) return bytes;
    return {};
}

void World::WriteInf(const std::u16string& path, const Inf& inf)
{
    sim::InfFile file;
    file.className = inf.className.value_or(u"");
    if (inf.classGuid) file.classGuid = *inf.classGuid;
    // What the INF file's Version section says on the other side.
    file.provider = u"Ostrel";
    file.driverVersion = u"1.0.0.0";
    file.driverDate = u"1-1-2024";
    for (const InfSection& section : inf.sections) {
        sim::InfSection& described = file.sections[sim::FoldCase(section.name)];
        for (const std::u16string& name : section.files) described.files.push_back(section.destination + u"\\" + name);
        for (const RegistryValue& value : section.values)
            described.registryValues.emplace_back(RegistryPath(value), value.data);
    }
    for (const std::u16string& id : inf.models) file.models.insert(sim::FoldCase(id));
    // Only the file: its sources are what the case wrote beside it.
    machine_->sim.AddFile(path);
    machine_->sim.infs.byPath[sim::PathKey(path)] = file;
}

std::u16string World::RegistryKey() const { return u"Software\\OstrelContract"; }

std::optional<std::u16string> World::Registry(const RegistryValue& where) const
{
    return machine_->sim.infs.RegistryValue(RegistryPath(where));
}

bool World::WaitForRegistry(const RegistryValue& value) const { return Registry(value) == value.data; }

std::u16string World::ChildCommandLine(platform::DWORD exitCode)
{
    machine_->sim.childExitCode = exitCode;
    return u"\"" + machine_->sim.modulePath + u"\" --contract-exit " + sim::Number(exitCode);
}

std::u16string World::AddService(platform::DWORD stopMilliseconds)
{
    const std::u16string name = u"OstrelContract" + sim::Number(++machine_->services);
    machine_->sim.services.Add(name);
    sim::Service& service = *machine_->sim.services.Find(name);
    service.stopMs = stopMilliseconds;
    service.waitHint = stopMilliseconds;
    service.checkPointEveryMs = stopMilliseconds == 0 ? 0 : 250;
    return name;
}

bool World::WaitUntilRunning(const std::u16string& name, bool running)
{
    return machine_->sim.services.IsRunning(name) == running;
}

bool World::ServiceExists(const std::u16string& name) const { return machine_->sim.services.Exists(name); }

std::u16string World::AddDevice(const std::vector<std::u16string>& hardwareIds)
{
    std::u16string data;
    for (const std::u16string& id : hardwareIds) data += id + u'\0';
    data += u'\0';
    sim::DeviceTree& devices = machine_->sim.devices;
    return devices.AddRaw(devices.GenerateRootInstanceId(kContractClassName), kContractClass, data).instanceId;
}

bool World::DeviceExists(const std::u16string& instanceId) const
{
    return machine_->sim.devices.FindByInstanceId(instanceId) != nullptr;
}

// A fresh machine for every case: nothing to take out.
void World::DeletePackageAtEnd(const std::u16string& /*infPath*/) {}

bool World::HasDriver(const std::u16string& instanceId) const
{
    const sim::Device* device = machine_->sim.devices.FindByInstanceId(instanceId);
    return device != nullptr && !device->driverInf.empty();
}

}  // namespace contract
