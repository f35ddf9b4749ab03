// The Service Control Manager of the simulated machine.
//
// A service answers a start or a stop at once unless a test gives it time:
// then it is START_PENDING or STOP_PENDING until the machine's clock, which
// moves on when the program sleeps, has passed that time.
#include <memory>

#include "platform/platform.h"
#include "platform/sim/caller_buffer.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr DWORD kServiceWin32OwnProcess = 0x10;

struct ManagerHandle {};

struct ServiceHandle {
    // cppcheck-suppress unusedStructMember ; read through HandleTable::Find
    std::u16string name;  // as the database spells it
};

// The service behind an open handle, settled to the machine's time.
Service* ServiceBehind(Machine& m, SC_HANDLE handle)
{
    const auto* open = m.handles.Find<ServiceHandle>(handle, HandleKind::service);
    Service* service = open == nullptr ? nullptr : m.services.Find(open->name);
    if (service != nullptr) service->Settle(m.tickCount);
    return service;
}

void FillStatus(const Service& service, ULONGLONG now, SERVICE_STATUS& status)
{
    const SERVICE_STATUS_PROCESS full = service.Status(now);
    status = SERVICE_STATUS{full.dwServiceType,
                            full.dwCurrentState,
                            full.dwControlsAccepted,
                            full.dwWin32ExitCode,
                            full.dwServiceSpecificExitCode,
                            full.dwCheckPoint,
                            full.dwWaitHint};
}

}  // namespace

void Service::BeginPending(DWORD pendingState, DWORD endState, ULONGLONG now, ULONGLONG duration)
{
    pendingSince = now;
    pendingUntil = duration == kForever ? kForever : now + duration;
    settlesTo = endState;
    state = pendingState;
    Settle(now);
}

void Service::Settle(ULONGLONG now)
{
    if (!Pending() || now < pendingUntil) return;
    state = settlesTo;
}

SERVICE_STATUS_PROCESS Service::Status(ULONGLONG now) const
{
    SERVICE_STATUS_PROCESS status{};
    status.dwServiceType = kServiceWin32OwnProcess;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING && acceptsStop ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = state == SERVICE_STOPPED ? exitCode : 0;
    if (Pending()) {
        status.dwWaitHint = waitHint;
        const ULONGLONG elapsed = now - pendingSince;
        status.dwCheckPoint = 1 + static_cast<DWORD>(checkPointEveryMs == 0 ? 0 : elapsed / checkPointEveryMs);
    }
    return status;
}

void ServiceDatabase::Add(const std::u16string& name, bool running)
{
    Service service;
    service.name = name;
    service.state = running ? SERVICE_RUNNING : SERVICE_STOPPED;
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
    return service != nullptr && service->state != SERVICE_STOPPED;
}

DWORD ServiceDatabase::StateOf(const std::u16string& name) const
{
    const Service* service = Find(name);
    return service == nullptr ? 0 : service->state;
}

void ServiceDatabase::RemoveIfReleased(const std::u16string& name)
{
    const Service* service = Find(name);
    if (service != nullptr && service->markedForDelete && service->openHandles == 0 &&
        service->state == SERVICE_STOPPED)
        byName.erase(FoldCase(name));
}

}  // namespace sim

namespace platform {

using sim::Machine;

SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess)
{
    Machine& m = Machine::Current();
    if (m.Enter("OpenSCManagerW", [&] {
            return sim::Arguments{sim::Text(machineName), sim::Text(databaseName), sim::Hex(desiredAccess)};
        }))
        return nullptr;
    return m.handles.Add(sim::HandleKind::serviceManager, u"scm", std::make_shared<sim::ManagerHandle>());
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess)
{
    Machine& m = Machine::Current();
    if (m.Enter("OpenServiceW", [&] {
            return sim::Arguments{m.handles.Label(manager), sim::Text(serviceName), sim::Hex(desiredAccess)};
        }))
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

// Refused for any state but STOPPED, as Windows refuses it.
BOOL StartServiceW(SC_HANDLE service, DWORD argumentCount, LPCWSTR* arguments)
{
    Machine& m = Machine::Current();
    if (m.Enter("StartServiceW", [&] {
            return sim::Arguments{m.handles.Label(service), sim::Number(argumentCount),
                                  arguments == nullptr ? u"(null)" : u"(arguments)"};
        }))
        return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (target->markedForDelete) return m.Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    if (target->state != SERVICE_STOPPED) return m.Fail(ERROR_SERVICE_ALREADY_RUNNING);
    target->exitCode = target->startFailure;
    target->BeginPending(SERVICE_START_PENDING, target->startFailure == 0 ? SERVICE_RUNNING : SERVICE_STOPPED,
                         m.tickCount, target->startMs);
    return TRUE;
}

// A stop reaches a running service that accepts it; a pending service
// cannot take it (ERROR_SERVICE_CANNOT_ACCEPT_CTRL), a stopped one is not
// active. Windows reports the status for these refusals as well.
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status)
{
    Machine& m = Machine::Current();
    if (m.Enter("ControlService", [&] {
            return sim::Arguments{m.handles.Label(service), sim::Number(control),
                                  status == nullptr ? u"(null)" : u"(status)"};
        }))
        return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (status == nullptr || control != SERVICE_CONTROL_STOP) return m.Fail(ERROR_INVALID_PARAMETER);
    sim::FillStatus(*target, m.tickCount, *status);
    if (target->state == SERVICE_STOPPED) return m.Fail(ERROR_SERVICE_NOT_ACTIVE);
    if (target->Pending() || !target->acceptsStop) return m.Fail(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    target->exitCode = 0;
    target->BeginPending(SERVICE_STOP_PENDING, SERVICE_STOPPED, m.tickCount, target->stopMs);
    sim::FillStatus(*target, m.tickCount, *status);
    return TRUE;
}

BOOL DeleteService(SC_HANDLE service)
{
    Machine& m = Machine::Current();
    if (m.Enter("DeleteService", [&] { return sim::Arguments{m.handles.Label(service)}; })) return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (target->markedForDelete) return m.Fail(ERROR_SERVICE_MARKED_FOR_DELETE);
    target->markedForDelete = true;
    return TRUE;
}

BOOL QueryServiceStatusEx(SC_HANDLE service, int infoLevel, BYTE* buffer, DWORD bufferSize, DWORD* bytesNeeded)
{
    Machine& m = Machine::Current();
    if (m.Enter("QueryServiceStatusEx", [&] {
            return sim::Arguments{m.handles.Label(service), sim::Number(infoLevel), sim::Number(bufferSize)};
        }))
        return FALSE;
    sim::Service* target = sim::ServiceBehind(m, service);
    if (target == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    if (infoLevel != SC_STATUS_PROCESS_INFO) return m.Fail(ERROR_INVALID_LEVEL);
    if (bytesNeeded == nullptr) return m.Fail(ERROR_INVALID_ADDRESS);
    *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
    if (buffer == nullptr || bufferSize < sizeof(SERVICE_STATUS_PROCESS)) return m.Fail(ERROR_INSUFFICIENT_BUFFER);
    const SERVICE_STATUS_PROCESS status = target->Status(m.tickCount);
    sim::CopyToCaller("QueryServiceStatusEx", buffer, bufferSize, reinterpret_cast<const BYTE*>(&status),
                      sizeof status);
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE handle)
{
    Machine& m = Machine::Current();
    if (m.Enter("CloseServiceHandle", [&] { return sim::Arguments{m.handles.Label(handle)}; })) return FALSE;
    if (m.handles.Remove(handle, sim::HandleKind::serviceManager)) return TRUE;

    const auto* open = m.handles.Find<sim::ServiceHandle>(handle, sim::HandleKind::service);
    if (open == nullptr) return m.Fail(ERROR_INVALID_HANDLE);
    const std::u16string name = open->name;
    m.handles.Remove(handle, sim::HandleKind::service);
    if (sim::Service* service = m.services.Find(name)) {
        service->Settle(m.tickCount);
        --service->openHandles;
        m.services.RemoveIfReleased(name);
    }
    return TRUE;
}

}  // namespace platform
