// The simulated service manager keeps the contracts of the real one that
// the service operations rely on.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "sim_fixture.h"

namespace {

using platform::unique_service_handle;

class ServiceManagerSimTest : public ostrel_test::SimFixture {
protected:
    ServiceManagerSimTest()
    {
        machine.services.Add(u"Spooler2");
        manager.reset(platform::OpenSCManagerW(nullptr, nullptr, platform::SC_MANAGER_ALL_ACCESS));
    }
    unique_service_handle Open(const char16_t* name) const
    {
        return unique_service_handle(platform::OpenServiceW(manager.get(), name, platform::SERVICE_ALL_ACCESS));
    }

    unique_service_handle manager;
};

TEST_F(ServiceManagerSimTest, NamesIgnoreCaseAndUnknownNamesAreRefused)
{
    EXPECT_TRUE(Open(u"SPOOLER2"));
    EXPECT_FALSE(Open(u"Spooler3"));
    EXPECT_EQ(machine.lastError, platform::ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceManagerSimTest, RefusalsCarryTheirErrors)
{
    const unique_service_handle service = Open(u"Spooler2");
    platform::SERVICE_STATUS status{};
    status.dwCurrentState = 0xFF;

    EXPECT_FALSE(platform::ControlService(service.get(), platform::SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(machine.lastError, platform::ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(status.dwCurrentState, platform::SERVICE_STOPPED);

    machine.lastError = ostrel_test::kUntouchedLastError;
    EXPECT_TRUE(platform::StartServiceW(service.get(), 0, nullptr));
    EXPECT_EQ(machine.lastError, ostrel_test::kUntouchedLastError);
    EXPECT_FALSE(platform::StartServiceW(service.get(), 0, nullptr));
    EXPECT_EQ(machine.lastError, platform::ERROR_SERVICE_ALREADY_RUNNING);

    EXPECT_TRUE(platform::ControlService(service.get(), platform::SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(platform::DeleteService(service.get()));
    EXPECT_FALSE(platform::DeleteService(service.get()));
    EXPECT_EQ(machine.lastError, platform::ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_FALSE(platform::StartServiceW(service.get(), 0, nullptr));
    EXPECT_EQ(machine.lastError, platform::ERROR_SERVICE_MARKED_FOR_DELETE);
}

TEST_F(ServiceManagerSimTest, ADeletedServiceStaysUntilItsLastHandleCloses)
{
    unique_service_handle first = Open(u"Spooler2");
    unique_service_handle second = Open(u"spooler2");
    EXPECT_TRUE(platform::DeleteService(first.get()));
    first.reset();
    EXPECT_TRUE(machine.services.Exists(u"Spooler2"));
    second.reset();
    EXPECT_FALSE(machine.services.Exists(u"Spooler2"));
}

TEST_F(ServiceManagerSimTest, BadHandlesAreRefused)
{
    EXPECT_FALSE(platform::CloseServiceHandle(nullptr));
    EXPECT_EQ(machine.lastError, platform::ERROR_INVALID_HANDLE);
    machine.lastError = 0;
    EXPECT_FALSE(platform::StartServiceW(manager.get(), 0, nullptr));  // a manager is no service
    EXPECT_EQ(machine.lastError, platform::ERROR_INVALID_HANDLE);
    machine.lastError = 0;
    const unique_service_handle service = Open(u"Spooler2");
    EXPECT_EQ(platform::OpenServiceW(service.get(), u"Spooler2", platform::SERVICE_ALL_ACCESS), nullptr);
    EXPECT_EQ(machine.lastError, platform::ERROR_INVALID_HANDLE);
}

}  // namespace
