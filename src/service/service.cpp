#include "service/service.h"

#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "run/action_words.h"
#include "service/service_state.h"

namespace ostrel {

namespace {

// One request to an open service, and how its answer is read.
struct ServiceRequest {
    platform::BOOL (*make)(platform::SC_HANDLE service);
    // The refusal that means the service already is where it was asked to
    // be; 0 when every refusal is a failure.
    platform::DWORD alreadyDone;
    // The refusal that means the request is on its way already, when the
    // service reports `inProgressState`; 0 when there is none.
    platform::DWORD inProgress;
    platform::DWORD inProgressState;
    // The state the request leads to, which a run with a wait bound waits
    // for; 0 for a deletion, which nothing waits for.
    platform::DWORD goal;
    unsigned failureMessage;
    unsigned notCompletedMessage;
    // For the log: the action's keyword, what was done or found, and what
    // the wait came to.
    const char* action;
    const char* requested;
    const char* alreadyDoneText;
    const char* inProgressText;
    const char* reachedText;
};

platform::BOOL RequestStart(platform::SC_HANDLE service) { return platform::StartServiceW(service, 0, nullptr); }

platform::BOOL RequestStop(platform::SC_HANDLE service)
{
    platform::SERVICE_STATUS status{};  // filled by the manager; the state is asked for afterwards
    return platform::ControlService(service, platform::SERVICE_CONTROL_STOP, &status);
}

platform::BOOL RequestDelete(platform::SC_HANDLE service) { return platform::DeleteService(service); }

constexpr ServiceRequest kStartRequest{RequestStart,
                                       platform::ERROR_SERVICE_ALREADY_RUNNING,
                                       0,
                                       0,
                                       platform::SERVICE_RUNNING,
                                       kMsgStartServiceFailed,
                                       kMsgStartNotCompleted,
                                       kStartServiceWord,
                                       ": start requested",
                                       ": already started",
                                       "",
                                       ": running"};
constexpr ServiceRequest kStopRequest{RequestStop,
                                      platform::ERROR_SERVICE_NOT_ACTIVE,
                                      platform::ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                                      platform::SERVICE_STOP_PENDING,
                                      platform::SERVICE_STOPPED,
                                      kMsgStopServiceFailed,
                                      kMsgStopNotCompleted,
                                      kStopServiceWord,
                                      ": stop requested",
                                      ": already stopped",
                                      ": a stop is already in progress",
                                      ": stopped"};
constexpr ServiceRequest kDeleteRequest{RequestDelete,      0,           0,  0,  0, kMsgDeleteServiceFailed, 0,
                                        kRemoveServiceWord, ": deleted", "", "", ""};

Result Failed(RunContext& run, Result failure, const ServiceRequest& request, const char16_t* name, unsigned message,
              const char16_t* insert2 = nullptr)
{
    run.Trace(request.action, name, ": failed");
    return Report(run, failure, message, name, insert2);
}

bool Reports(platform::SC_HANDLE service, platform::DWORD state)
{
    platform::SERVICE_STATUS_PROCESS status{};
    return !QueryServiceState(service, status).Failed() && status.dwCurrentState == state;
}

// What the request came to, as the service reports it: logged, and with a
// wait bound waited for. A deleted service that still runs stays until it
// stops. A person's run without a log asks nothing more, as it never did.
Result Settle(RunContext& run, platform::SC_HANDLE service, const char16_t* name, const ServiceRequest& request,
              const char* what, Result outcome)
{
    const bool waits = request.goal != 0 && run.waitSeconds != 0;
    if (run.log == nullptr && !waits) return outcome;
    platform::SERVICE_STATUS_PROCESS status{};
    const Result queried = QueryServiceState(service, status);
    if (queried.Failed()) {
        if (waits) return Failed(run, queried, request, name, kMsgQueryServiceFailed);
        run.Trace(request.action, name, what, "; its state cannot be read (error ", Decimal(queried.Error()).c_str(),
                  ")");
        return outcome;
    }
    const bool stillThere = request.goal == 0 && status.dwCurrentState != platform::SERVICE_STOPPED;
    run.Trace(request.action, name, stillThere ? ": marked for deletion, it goes once it has stopped" : what,
              "; the service reports ", ServiceStateName(status.dwCurrentState));
    if (!waits || status.dwCurrentState == request.goal) return outcome;

    const Result waited = WaitForServiceState(run, service, request.goal, status);
    if (waited.Failed()) return Failed(run, waited, request, name, kMsgQueryServiceFailed);
    if (status.dwCurrentState == request.goal) {
        run.Trace(request.action, name, request.reachedText);
        return outcome;
    }
    // A service that stopped instead of running says why in its exit code.
    const platform::DWORD error =
        status.dwCurrentState == platform::SERVICE_STOPPED && status.dwWin32ExitCode != platform::ERROR_SUCCESS
            ? status.dwWin32ExitCode
            : platform::ERROR_SERVICE_REQUEST_TIMEOUT;
    Text state;  // the message's insert is UTF-16
    state.append(ServiceStateName(status.dwCurrentState));
    return Failed(run, Result::Failure(error), request, name, request.notCompletedMessage, state.c_str());
}

// Connect, open the service by name, make the request, settle it, close
// both handles (the service's first). Full access is asked for every
// request alike.
Result MakeServiceRequest(RunContext& run, const char16_t* name, const ServiceRequest& request)
{
    const platform::unique_service_handle manager(
        platform::OpenSCManagerW(nullptr, nullptr, platform::SC_MANAGER_ALL_ACCESS));
    if (!manager) return Failed(run, Result::LastError(), request, name, kMsgOpenScManagerFailed);

    const platform::unique_service_handle service(
        platform::OpenServiceW(manager.get(), name, platform::SERVICE_ALL_ACCESS));
    if (!service) return Failed(run, Result::LastError(), request, name, kMsgOpenServiceFailed);

    if (request.make(service.get()) != platform::FALSE)
        return Settle(run, service.get(), name, request, request.requested, Result::Done());
    const Result refused = Result::LastError();
    if (request.alreadyDone != 0 && refused.Error() == request.alreadyDone) {
        // A service that is not active is stopped; one refused a start may
        // still be on its way.
        if (request.goal == platform::SERVICE_STOPPED) {
            run.Trace(request.action, name, request.alreadyDoneText);
            return Result::Unchanged();
        }
        return Settle(run, service.get(), name, request, request.alreadyDoneText, Result::Unchanged());
    }
    if (request.inProgress != 0 && refused.Error() == request.inProgress &&
        Reports(service.get(), request.inProgressState))
        return Settle(run, service.get(), name, request, request.inProgressText, Result::Unchanged());
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
