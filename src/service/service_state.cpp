#include "service/service_state.h"

#include <algorithm>

#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr platform::ULONGLONG kMillisecondsPerSecond = 1000;
constexpr platform::DWORD kShortestPoll = 250;
constexpr platform::DWORD kLongestPoll = 10000;

bool OnItsWay(platform::DWORD state, platform::DWORD goal)
{
    if (goal == platform::SERVICE_RUNNING) return state == platform::SERVICE_START_PENDING;
    return state != platform::SERVICE_STOPPED;
}

platform::DWORD PollInterval(platform::DWORD waitHint, platform::ULONGLONG remaining)
{
    const platform::DWORD interval = std::clamp<platform::DWORD>(waitHint / 10, kShortestPoll, kLongestPoll);
    return static_cast<platform::DWORD>(std::min<platform::ULONGLONG>(interval, remaining));
}

}  // namespace

const char* ServiceStateName(platform::DWORD state)
{
    switch (state) {
        case platform::SERVICE_STOPPED: return "STOPPED";
        case platform::SERVICE_START_PENDING: return "START_PENDING";
        case platform::SERVICE_STOP_PENDING: return "STOP_PENDING";
        case platform::SERVICE_RUNNING: return "RUNNING";
        case platform::SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
        case platform::SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
        case platform::SERVICE_PAUSED: return "PAUSED";
        default: return "an unknown state";
    }
}

Result QueryServiceState(platform::SC_HANDLE service, platform::SERVICE_STATUS_PROCESS& status)
{
    platform::DWORD needed = 0;
    if (!platform::QueryServiceStatusEx(service, platform::SC_STATUS_PROCESS_INFO,
                                        reinterpret_cast<platform::BYTE*>(&status), sizeof status, &needed))
        return Result::LastError();
    return Result::Done();
}

Result WaitForServiceState(const RunContext& run, platform::SC_HANDLE service, platform::DWORD goal,
                           platform::SERVICE_STATUS_PROCESS& status)
{
    const platform::ULONGLONG start = platform::GetTickCount64();
    const platform::ULONGLONG deadline = start + run.waitSeconds * kMillisecondsPerSecond;
    platform::ULONGLONG progressAt = start;
    platform::DWORD checkPoint = status.dwCheckPoint;
    while (OnItsWay(status.dwCurrentState, goal)) {
        const platform::ULONGLONG now = platform::GetTickCount64();
        if (now >= deadline) break;
        if (status.dwCheckPoint != checkPoint) {
            checkPoint = status.dwCheckPoint;
            progressAt = now;
        } else if (status.dwWaitHint != 0 && now - progressAt > status.dwWaitHint) {
            break;  // the service itself says it is stuck
        }
        platform::Sleep(PollInterval(status.dwWaitHint, deadline - now));
        const Result queried = QueryServiceState(service, status);
        if (queried.Failed()) return queried;
    }
    return Result::Done();
}

}  // namespace ostrel
