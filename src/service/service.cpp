#include "service/service.h"

#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

// One request to an open service, and how its refusal is read.
struct ServiceRequest {
    platform::BOOL (*make)(platform::SC_HANDLE service);
    // The refusal that means the service already is where it was asked to
    // be; 0 when every refusal is a failure.
    platform::DWORD alreadyDone;
    unsigned failureMessage;
};

platform::BOOL RequestStart(platform::SC_HANDLE service) { return platform::StartServiceW(service, 0, nullptr); }

platform::BOOL RequestStop(platform::SC_HANDLE service)
{
    platform::SERVICE_STATUS status{};  // filled by the manager, not needed here
    return platform::ControlService(service, platform::SERVICE_CONTROL_STOP, &status);
}

platform::BOOL RequestDelete(platform::SC_HANDLE service) { return platform::DeleteService(service); }

constexpr ServiceRequest kStart{RequestStart, platform::ERROR_SERVICE_ALREADY_RUNNING, kMsgStartServiceFailed};
constexpr ServiceRequest kStop{RequestStop, platform::ERROR_SERVICE_NOT_ACTIVE, kMsgStopServiceFailed};
constexpr ServiceRequest kDelete{RequestDelete, 0, kMsgDeleteServiceFailed};

// Connect, open the service by name, make the request, close both handles
// (the service's first). Full access is asked for every request alike.
int MakeServiceRequest(const char16_t* name, const ServiceRequest& request)
{
    const platform::unique_service_handle manager(
        platform::OpenSCManagerW(nullptr, nullptr, platform::SC_MANAGER_ALL_ACCESS));
    if (!manager) return ReportError(kMsgOpenScManagerFailed);

    const platform::unique_service_handle service(
        platform::OpenServiceW(manager.get(), name, platform::SERVICE_ALL_ACCESS));
    if (!service) return ReportError(kMsgOpenServiceFailed, name);

    if (request.make(service.get()) != platform::FALSE) return 1;
    if (request.alreadyDone != 0 && platform::GetLastError() == request.alreadyDone) return 1;
    return ReportError(request.failureMessage, name);
}

}  // namespace

int StartNamedService(const char16_t* serviceName) { return MakeServiceRequest(serviceName, kStart); }

int StopNamedService(const char16_t* serviceName) { return MakeServiceRequest(serviceName, kStop); }

int RemoveNamedService(const char16_t* serviceName) { return MakeServiceRequest(serviceName, kDelete); }

}  // namespace ostrel
