// The Service Control Manager as the service actions use it: connect, open
// by name with full access, start, stop or delete, close the service's handle
// first. "Already running" and "already stopped" are refusals the program
// counts as done; every other refusal is reported with its error. A run
// with a log or a wait then reads the service's status, and polls it.
#include <string>

#include "contract.h"
#include "platform/sim/win32_constants.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

class Services : public Case {
protected:
    Services() : manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}

    unique_service_handle Open(const std::u16string& serviceName) const
    {
        return unique_service_handle(OpenServiceW(manager.get(), serviceName.c_str(), SERVICE_ALL_ACCESS));
    }

    static bool Stop(const unique_service_handle& service, SERVICE_STATUS& status)
    {
        return ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != FALSE;
    }

    unique_service_handle manager;
    const std::u16string name = world.AddService();
};

TEST_F(Services, NamesIgnoreLetterCaseAndUnknownNamesAreRefused)
{
    ASSERT_TRUE(manager) << TakeLastError();
    std::u16string upper = name;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');

    EXPECT_TRUE(Open(upper)) << TakeLastError();
    EXPECT_FALSE(Open(name + u"-none"));
    EXPECT_EQ(TakeLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(Services, StartAndStopRefuseWhatIsAlreadyDone)
{
    const unique_service_handle service = Open(name);
    ASSERT_TRUE(service);
    SERVICE_STATUS status{};
    status.dwCurrentState = 0xFF;

    EXPECT_FALSE(Stop(service, status));
    EXPECT_EQ(TakeLastError(), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED) << "the status comes with the refusal";

    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr)) << TakeLastError();
    ASSERT_TRUE(world.WaitUntilRunning(name, true));
    EXPECT_FALSE(StartServiceW(service.get(), 0, nullptr));
    EXPECT_EQ(TakeLastError(), ERROR_SERVICE_ALREADY_RUNNING);

    EXPECT_TRUE(Stop(service, status)) << TakeLastError();
    EXPECT_TRUE(world.WaitUntilRunning(name, false));
}

TEST_F(Services, ADeletedServiceIsMarkedAndRefusesToStart)
{
    const unique_service_handle service = Open(name);
    ASSERT_TRUE(service);

    ASSERT_TRUE(DeleteService(service.get())) << TakeLastError();

    EXPECT_FALSE(DeleteService(service.get()));
    EXPECT_EQ(TakeLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    const bool started = StartServiceW(service.get(), 0, nullptr) != FALSE;
    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "StartServiceW starts a service marked for deletion", [&] {
        EXPECT_FALSE(started);
        EXPECT_EQ(error, ERROR_SERVICE_MARKED_FOR_DELETE);
    });
    if (started && world.WaitUntilRunning(name, true)) {
        SERVICE_STATUS status{};
        Stop(service, status);
        world.WaitUntilRunning(name, false);
    }
}

TEST_F(Services, ADeletedServiceStaysUntilItsLastHandleCloses)
{
    unique_service_handle first = Open(name);
    unique_service_handle second = Open(name);
    ASSERT_TRUE(DeleteService(first.get()));

    first.reset();
    EXPECT_TRUE(world.ServiceExists(name));
    second.reset();
    EXPECT_FALSE(world.ServiceExists(name));
}

TEST_F(Services, HandlesOfTheWrongKindAreRefused)
{
    const unique_service_handle service = Open(name);
    ASSERT_TRUE(service);

    EXPECT_FALSE(CloseServiceHandle(nullptr));
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(StartServiceW(manager.get(), 0, nullptr)) << "a manager is no service";
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(OpenServiceW(service.get(), name.c_str(), SERVICE_ALL_ACCESS), nullptr) << "a service is no manager";
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
}

// --- The status a run reads and waits on: QueryServiceStatusEx ------------

SERVICE_STATUS_PROCESS Query(const unique_service_handle& service)
{
    SERVICE_STATUS_PROCESS status{};
    status.dwCurrentState = 0xFF;
    DWORD needed = 0;
    EXPECT_TRUE(QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                     sizeof status, &needed))
        << GetLastError();
    return status;
}

// A stopped service that stopped with no error says so; one that never ran
// says that it never started, which is no reason a start failed.
TEST_F(Services, TheStatusFollowsAStartAndAStop)
{
    const unique_service_handle service = Open(name);
    ASSERT_TRUE(service);
    SERVICE_STATUS_PROCESS status = Query(service);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwWin32ExitCode, ERROR_SERVICE_NEVER_STARTED);

    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr)) << TakeLastError();
    ASSERT_TRUE(world.WaitUntilRunning(name, true));
    EXPECT_EQ(Query(service).dwCurrentState, SERVICE_RUNNING);
    SERVICE_STATUS stop{};
    ASSERT_TRUE(Stop(service, stop));
    ASSERT_TRUE(world.WaitUntilRunning(name, false));

    status = Query(service);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS);
}

TEST_F(Services, TheStatusNeedsRoomForAllOfItAndAService)
{
    const unique_service_handle service = Open(name);
    ASSERT_TRUE(service);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;

    EXPECT_FALSE(QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                      sizeof status - 1, &needed));
    EXPECT_EQ(TakeLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof status);
    EXPECT_FALSE(QueryServiceStatusEx(manager.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                      sizeof status, &needed));
    EXPECT_EQ(TakeLastError(), ERROR_INVALID_HANDLE);
}

// A run that waits for a stop polls the status, sleeping between looks, for
// as long as the service's checkpoint moves on; a second stop meanwhile is
// refused, which a run counts as a stop in progress.
TEST_F(Services, AStopThatTakesAWhileReportsItsProgress)
{
    constexpr DWORD kStopMilliseconds = 3000;
    const std::u16string slow = world.AddService(kStopMilliseconds);
    const unique_service_handle service = Open(slow);
    ASSERT_TRUE(service);
    ASSERT_TRUE(StartServiceW(service.get(), 0, nullptr)) << TakeLastError();
    ASSERT_TRUE(world.WaitUntilRunning(slow, true));
    SERVICE_STATUS stop{};
    ASSERT_TRUE(Stop(service, stop)) << TakeLastError();

    const SERVICE_STATUS_PROCESS first = Query(service);
    EXPECT_EQ(first.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_NE(first.dwWaitHint, 0u);
    EXPECT_FALSE(Stop(service, stop));
    EXPECT_EQ(TakeLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    EXPECT_EQ(stop.dwCurrentState, SERVICE_STOP_PENDING) << "the status comes with the refusal";
    Sleep(kStopMilliseconds / 4);
    const SERVICE_STATUS_PROCESS later = Query(service);
    EXPECT_EQ(later.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_GT(later.dwCheckPoint, first.dwCheckPoint);

    const ULONGLONG start = GetTickCount64();
    SERVICE_STATUS_PROCESS status = later;
    while (status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() - start < 5 * kStopMilliseconds) {
        Sleep(100);
        status = Query(service);
    }
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS);
}

}  // namespace
}  // namespace contract
