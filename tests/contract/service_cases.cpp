// The Service Control Manager as the service actions use it: connect, open
// by name with full access, start, stop or delete, close the service's handle
// first. "Already running" and "already stopped" are refusals the program
// counts as done; every other refusal is reported with its error.
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

}  // namespace
}  // namespace contract
