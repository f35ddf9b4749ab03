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

Result Failed(RunContext& run, Result failure, const ServiceRequest& request, const char16_t* name, unsigned message)
{
    run.Trace({request.action, name, u": failed"});
    return Report(run, failure, message, name);
}

// Connect, open the service by name, make the request, close both handles
// (the service's first). Full access is asked for every request alike.
Result MakeServiceRequest(RunContext& run, const char16_t* name, const ServiceRequest& request)
{
    const platform::unique_service_handle manager(
        platform::OpenSCManagerW(nullptr, nullptr, platform::SC_MANAGER_ALL_ACCESS));
    if (!manager) return Failed(run, Result::LastError(), request, name, kMsgOpenScManagerFailed);

    const platform::unique_service_handle service(
        platform::OpenServiceW(manager.get(), name, platform::SERVICE_ALL_ACCESS));
    if (!service) return Failed(run, Result::LastError(), request, name, kMsgOpenServiceFailed);

    if (request.make(service.get()) != platform::FALSE) {
        run.Trace({request.action, name, request.done});
        return Result::Done();
    }
    const Result refused = Result::LastError();
    if (request.alreadyDone != 0 && refused.Error() == request.alreadyDone) {
        run.Trace({request.action, name, request.alreadyDoneText});
        return Result::Unchanged();
    }
    return Failed(run, refused, request, name, request.failureMessage);
}

}  // namespace

Result StartNamedService(RunContext& run, const char16_t* serviceName)
{
    return MakeServiceRequest(run, serviceName, kStartRequest);
}

Result StopNamedService(RunContext& run, const char16_t* serviceName)
{
    return MakeServiceRequest(run, serviceName, kStopRequest);
}

Result RemoveNamedService(RunContext& run, const char16_t* serviceName)
{
    return MakeServiceRequest(run, serviceName, kDeleteRequest);
}

}  // namespace ostrel
