// The Service Control Manager of the simulated machine.
#include <memory>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kServiceWin32OwnProcess = 0x10;
constexpr DWORD kServiceAcceptStop = 0x1;

struct ManagerHandle {};

struct ServiceHandle {
    // cppcheck-suppress unusedStructMember ; read through HandleTable::Find
    std::u16string name;  // as the database spells it
};

Service* ServiceBehind(Machine& m, SC_HANDLE handle)
{
    const auto* open = m.handles.Find<ServiceHandle>(handle, HandleKind::service);
    return open == nullptr ? nullptr : m.services.Find(open->name);
}

void FillStatus(const Service& service, SERVICE_STATUS& status)
{
    status = SERVICE_STATUS{};
    status.dwServiceType = kServiceWin32OwnProcess;
    status.dwCurrentState = service.running ? SERVICE_RUNNING : SERVICE_STOPPED;
    status.dwControlsAccepted = service.running ? kServiceAcceptStop : 0;
}

}  // namespace

void ServiceDatabase::Add(const std::u16string& name, bool running)
{
    Service service;
    service.name = name;
    service.running = running;
    byName[FoldCase(name)] = service;
}

Service* ServiceDatabase::Find(const std::u16string& name)
{
    auto it = byName.find(FoldCase(name));
    return it == byName.end() ? nullptr : &it->second;
}

const Service* ServiceDatabase::Find(const std::u16string& name) const
{
    auto it = byName.find(FoldCase(name));
    return it == byName.end() ? nullptr : &it->second;
}

bool ServiceDatabase::Exists(const std::u16string& name) const { return Find(name) != nullptr; }

bool ServiceDatabase::IsRunning(const std::u16string& name) const
{
    const Service* service = Find(name);
    return service != nullptr && service->running;
}

void ServiceDatabase::RemoveIfReleased(const std::u16string& name)
{
    const Service* service = Find(name);
    if (service != nullptr && service->markedForDelete && service->openHandles == 0 && !service->running)
        byName.erase(FoldCase(name));
}

}  // namespace sim

namespace platform {

using sim::Machine;

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    Machine& m = Machine::Current();
    if (m.Enter("OpenSCManagerW", {sim::Text(machineName), sim::Text(databaseName), sim::Hex(desiredAccess)}))
        return nullptr;
    return m.handles.Add(sim::HandleKind::serviceManager, u"scm", std::make_shared<sim::ManagerHandle>());
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess)
{
    Machine& m = Machine::Current();
    if (m.Enter("OpenServiceW", {m.handles.Label(manager), sim::Text(serviceName), sim::Hex(desiredAccess)}))
        return nullptr;
    if (m.handles.Find<sim::ManagerHandle>(manager, sim::HandleKind::serviceManager) == nullptr) {
        m.Fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (serviceName == nullptr) {
        m.Fail(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    sim::Service* service = m.services.Find(serviceName);
    if (service == nullptr) {
        m.Fail(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    ++service->openHandles;
    return m.handles.Add(sim::HandleKind::service, u"service:" + service->name,
                         std::make_shared<sim::ServiceHandle>(sim::ServiceHandle{service->name}));
}

BOOL StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments)
{
    Machine& m = Machine::Current();
    if (m.Enter("StartServiceW", {m.handles.Label(service), sim::Number(argumentCount),
                                  arguments == nullptr ? u"(null)" : u"(arguments)"}))
        return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (target->markedForDelete) return m.Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (target->running) return m.Fail(ERROR_SERVICE_ALREADY_RUNNING);
    target->running = true;
    return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    Machine& m = Machine::Current();
    if (m.Enter("ControlService",
                {m.handles.Label(service), sim::Number(control), status == nullptr ? u"(null)" : u"(status)"}))
        return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (status == nullptr || control != SERVICE_CONTROL_STOP) return m.Fail(ERROR_INVALID_PARAMETER);
    // Windows reports the status for a refused stop as well.
    if (!target->running) {
        sim::FillStatus(*target, *status);
        return m.Fail(ERROR_SERVICE_NOT_ACTIVE);
    }
    target->running = false;
    sim::FillStatus(*target, *status);
    return TRUE;
}

BOOL DeleteService(SC_HANDLE service)
{
    Machine& m = Machine::Current();
    if (m.Enter("DeleteService", {m.handles.Label(service)})) return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (target->markedForDelete) return m.Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    target->markedForDelete = true;
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    Machine& m = Machine::Current();
    if (m.Enter("CloseServiceHandle", {m.handles.Label(handle)})) return FALSE;
    if (m.handles.Remove(handle, sim::HandleKind::serviceManager)) return TRUE;

    const auto* open = m.handles.Find<sim::ServiceHandle>(handle, sim::HandleKind::service);
    if (open == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    const std::u16string name = open->name;
    m.handles.Remove(handle, sim::HandleKind::service);
    if (sim::Service* service = m.services.Find(name)) {
        --service->openHandles;
        m.services.RemoveIfReleased(name);
    }
    return TRUE;
}

}  // namespace platform
