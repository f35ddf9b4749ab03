// Starting, stopping and deleting services by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/service.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::NoBoxes;
using platform::DWORD;

using ServiceOperation = ostrel::Result (*)(ostrel::RunContext&, const char16_t*);

class ServiceControlTest : public ostrel_test::SimFixture {
protected:
    std::vector<std::string> Releases() const { return CallsTo({"CloseServiceHandle"}); }
    void ExpectEverythingReleased() const { EXPECT_EQ(machine.handles.OpenCount(), 0U); }
};

// One request against one service, and how it was settled.
struct RequestCase {
    const char* what;
    ServiceOperation operation;
    bool runningBefore;
    int result;
    std::vector<Box> boxes;
    bool runningAfter;
};

TEST_F(ServiceControlTest, RefusalsThatMeanTheGoalIsReachedCountAsSuccessAndShowNothing)
{
    const std::vector<RequestCase> cases = {
        {"start a stopped service", ostrel::StartNamedService, false, 1, {}, true},
        {"start a running service", ostrel::StartNamedService, true, 1, {}, true},
        {"stop a running service", ostrel::StopNamedService, true, 1, {}, false},
        {"stop a stopped service", ostrel::StopNamedService, false, 1, {}, false},
    };
    for (const RequestCase& c : cases) {
        machine.services.Add(u"Spooler2", c.runningBefore);
        EXPECT_EQ(ostrel_test::WalkAnswer(c.operation(run, u"Spooler2")), c.result) << c.what;
        EXPECT_EQ(Boxes(), c.boxes) << c.what;
        EXPECT_EQ(machine.services.IsRunning(u"Spooler2"), c.runningAfter) << c.what;
        ExpectEverythingReleased();
    }
    EXPECT_EQ(machine.lastError, platform::ERROR_SERVICE_NOT_ACTIVE);  // left by the last refusal, not reset
}

TEST_F(ServiceControlTest, AsksForFullAccessAndReleasesTheServiceBeforeTheManager)
{
    machine.services.Add(u"Spooler2");
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::StartNamedService(run, u"spooler2")), 1);
    EXPECT_EQ(
        CallsTo({"OpenSCManagerW", "OpenServiceW", "StartServiceW", "CloseServiceHandle"}),
        (std::vector<std::string>{"OpenSCManagerW((null), (null), 0xF003F)", "OpenServiceW(scm, spooler2, 0xF01FF)",
                                  "StartServiceW(service:Spooler2, 0, (null))", "CloseServiceHandle(service:Spooler2)",
                                  "CloseServiceHandle(scm)"}));
    EXPECT_EQ(CallsTo({"ControlService"}), std::vector<std::string>{});

    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::StopNamedService(run, u"Spooler2")), 1);
    EXPECT_EQ(CallsTo({"ControlService"}), std::vector<std::string>{"ControlService(service:Spooler2, 1, (status))"});
}

TEST_F(ServiceControlTest, RemovalSendsNoStopAndTheServiceGoesWhenItsLastHandleCloses)
{
    machine.services.Add(u"Old");
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::RemoveNamedService(run, u"Old")), 1);
    EXPECT_FALSE(machine.services.Exists(u"Old"));
    EXPECT_EQ(machine.CallCount("ControlService"), 0U);
    EXPECT_EQ(Releases(), (std::vector<std::string>{"CloseServiceHandle(service:Old)", "CloseServiceHandle(scm)"}));
    EXPECT_EQ(Boxes(), NoBoxes());
}

// Each failing step, its message, and the handles released after it.
struct FailureCase {
    const char* what;
    ServiceOperation operation;
    sim::Fault fault;
    std::string message;
    std::vector<std::string> releases;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.what; }

std::vector<FailureCase> FailureCases()
{
    const std::vector<std::string> both = {"CloseServiceHandle(service:Spooler2)", "CloseServiceHandle(scm)"};
    const std::vector<std::string> managerOnly = {"CloseServiceHandle(scm)"};
    using sim::Fault;
    return {
        {"manager refused",
         ostrel::StartNamedService,
         Fault::Every("OpenSCManagerW"),
         ostrel_test::kOpenManagerFailed,
         {}},
        {"service refused", ostrel::StopNamedService, Fault::Every("OpenServiceW"), "Open of service Spooler2 failed.",
         managerOnly},
        {"start refused", ostrel::StartNamedService, Fault::Every("StartServiceW"), "Start of service Spooler2 failed.",
         both},
        {"stop refused", ostrel::StopNamedService, Fault::Every("ControlService"), "Stop of service Spooler2 failed.",
         both},
        {"delete refused", ostrel::RemoveNamedService, Fault::Every("DeleteService"),
         "Delete of service Spooler2 failed.", both},
        // The refusal that counts as success for one request is a failure for the other.
        {"start refused as not active", ostrel::StartNamedService,
         Fault::Every("StartServiceW", platform::ERROR_SERVICE_NOT_ACTIVE), "Start of service Spooler2 failed.", both},
        {"stop refused as already running", ostrel::StopNamedService,
         Fault::Every("ControlService", platform::ERROR_SERVICE_ALREADY_RUNNING), "Stop of service Spooler2 failed.",
         both},
    };
}

class ServiceFailureTest : public ServiceControlTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ServiceFailureTest, IsReportedWithTheNameAndTheSystemsTextAndReleasesWhatWasOpened)
{
    const FailureCase& c = GetParam();
    machine.FailCall(c.fault);
    machine.services.Add(u"Spooler2");
    EXPECT_EQ(ostrel_test::WalkAnswer(c.operation(run, u"Spooler2")), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{Report(c.message, c.fault.error)});
    EXPECT_EQ(Releases(), c.releases);
    ExpectEverythingReleased();
}

INSTANTIATE_TEST_SUITE_P(ServiceControl, ServiceFailureTest, ::testing::ValuesIn(FailureCases()));

TEST_F(ServiceControlTest, AnUnknownServiceFailsAtTheOpeningEvenForRemoval)
{
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::RemoveNamedService(run, u"Missing")), 0);
    EXPECT_EQ(Boxes(),
              std::vector<Box>{Report("Open of service Missing failed.", platform::ERROR_SERVICE_DOES_NOT_EXIST)});
    EXPECT_EQ(machine.CallCount("DeleteService"), 0U);
    EXPECT_EQ(Releases(), std::vector<std::string>{"CloseServiceHandle(scm)"});
}

TEST_F(ServiceControlTest, AnEmptyNameGoesToTheManagerAsItCame)
{
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::StopNamedService(run, u"")), 0);
    EXPECT_EQ(CallsTo({"OpenServiceW"}), std::vector<std::string>{"OpenServiceW(scm, , 0xF01FF)"});
    EXPECT_EQ(Boxes(), std::vector<Box>{Report("Open of service  failed.", platform::ERROR_SERVICE_DOES_NOT_EXIST)});
}

TEST_F(ServiceControlTest, ARemovalRefusedForAServiceAlreadyMarkedShowsTheSystemsReason)
{
    machine.services.Add(u"Busy", true);  // a running service stays until it stops
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::RemoveNamedService(run, u"Busy")), 1);
    EXPECT_TRUE(machine.services.Exists(u"Busy"));
    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::RemoveNamedService(run, u"Busy")), 0);
    EXPECT_EQ(Boxes(),
              std::vector<Box>{Report("Delete of service Busy failed.", platform::ERROR_SERVICE_MARKED_FOR_DELETE)});

    EXPECT_EQ(ostrel_test::WalkAnswer(ostrel::StopNamedService(run, u"Busy")), 1);
    EXPECT_FALSE(machine.services.Exists(u"Busy"));
}

// Through the command line: three names, the second unknown, in German.
class ServiceCommandLineTest : public ServiceControlTest {};

TEST_F(ServiceCommandLineTest, TheNameAfterAFailureIsNotTriedAndTheFirstStaysStarted)
{
    machine.services.Add(u"Spooler2");
    machine.services.Add(u"Third");
    EXPECT_EQ(Run("/de start service Spooler2 Missing Third"), 0);
    EXPECT_EQ(Boxes(), std::vector<Box>{Report("Der Dienst Missing kann nicht ge\xC3\xB6"
                                               "ffnet werden.",
                                               platform::ERROR_SERVICE_DOES_NOT_EXIST)});
    EXPECT_TRUE(machine.services.IsRunning(u"Spooler2"));
    EXPECT_FALSE(machine.services.IsRunning(u"Third"));
    EXPECT_EQ(CallsTo({"OpenServiceW"}), (std::vector<std::string>{"OpenServiceW(scm, Spooler2, 0xF01FF)",
                                                                   "OpenServiceW(scm, Missing, 0xF01FF)"}));
    EXPECT_EQ(Releases(), (std::vector<std::string>{"CloseServiceHandle(service:Spooler2)", "CloseServiceHandle(scm)",
                                                    "CloseServiceHandle(scm)"}));
    ExpectEverythingReleased();
}

TEST_F(ServiceCommandLineTest, TwoNamesAreHandledInCommandLineOrder)
{
    machine.services.Add(u"One", true);
    machine.services.Add(u"Two", true);
    EXPECT_EQ(Run("stop service Two One"), 0);
    EXPECT_EQ(CallsTo({"ControlService"}), (std::vector<std::string>{"ControlService(service:Two, 1, (status))",
                                                                     "ControlService(service:One, 1, (status))"}));
    EXPECT_FALSE(machine.services.IsRunning(u"One"));
    EXPECT_FALSE(machine.services.IsRunning(u"Two"));
    EXPECT_EQ(Boxes(), NoBoxes());

    EXPECT_EQ(Run("remove service One Two"), 0);
    EXPECT_TRUE(machine.services.byName.empty());
}

}  // namespace
