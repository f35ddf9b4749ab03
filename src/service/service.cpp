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
    // For the log: the action's keyword, what was done, what was found.
    const char16_t* action;
    const char16_t* done;
    const char16_t* alreadyDoneText;
};

platform::BOOL RequestStart(platform::SC_HANDLE service) { return platform::StartServiceW(service, 0, nullptr); }

platform::BOOL RequestStop(platform::SC_HANDLE service)
{
    platform::SERVICE_STATUS status{};  // filled by the manager, not needed here
    return platform::ControlService(service, platform::SERVICE_CONTROL_STOP, &status);
}

platform::BOOL RequestDelete(platform::SC_HANDLE service) { return platform::DeleteService(service); }

constexpr ServiceRequest kStartRequest{RequestStart,           platform::ERROR_SERVICE_ALREADY_RUNNING,
                                       kMsgStartServiceFailed, u"start service ",
                                       u": started",           u": already running"};
constexpr ServiceRequest kStopRequest{RequestStop,           platform::ERROR_SERVICE_NOT_ACTIVE,
                                      kMsgStopServiceFailed, u"stop service ",
                                      u": stopped",          u": already stopped"};
constexpr ServiceRequest kDeleteRequest{RequestDelete, 0,  kMsgDeleteServiceFailed, u"remove service ",
                                        u": deleted",  u""};

Next Failed(RunContext& run, const ServiceRequest& request, const char16_t* name, unsigned message)
{
    run.Trace({request.action, name, u": failed"});
    return ReportError(run, message, name);
}

// Connect, open the service by name, make the request, close both handles
// (the service's first). Full access is asked for every request alike.
Next MakeServiceRequest(RunContext& run, const char16_t* name, const ServiceRequest& request)
{
    const platform::unique_service_handle manager(
        platform::OpenSCManagerW(nullptr, nullptr, platform::SC_MANAGER_ALL_ACCESS));
    if (!manager) return Failed(run, request, name, kMsgOpenScManagerFailed);

    const platform::unique_service_handle service(
        platform::OpenServiceW(manager.get(), name, platform::SERVICE_ALL_ACCESS));
    if (!service) return Failed(run, request, name, kMsgOpenServiceFailed);

    if (request.make(service.get()) != platform::FALSE) {
        run.Trace({request.action, name, request.done});
        return kGoOn;
    }
    if (request.alreadyDone != 0 && platform::GetLastError() == request.alreadyDone) {
        run.Trace({request.action, name, request.alreadyDoneText});
        return kGoOn;
    }
    return Failed(run, request, name, request.failureMessage);
}

}  // namespace

Next StartNamedService(RunContext& run, const char16_t* serviceName)
{
    return MakeServiceRequest(run, serviceName, kStartRequest);
}

Next StopNamedService(RunContext& run, const char16_t* serviceName)
{
    return MakeServiceRequest(run, serviceName, kStopRequest);
}

Next RemoveNamedService(RunContext& run, const char16_t* serviceName)
{
    return MakeServiceRequest(run, serviceName, kDeleteRequest);
}

}  // namespace ostrel
