// Service outcomes as they are: what was asked and what the service
// reported, and in a run with a wait bound the wait until it is running or
// stopped, bounded, polled as Windows' own tools poll.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

using platform::DWORD;

const std::u16string kLog = u"C:\\Tools\\run.log";

// How the service "Slow" behaves, and what a quiet run makes of it.
struct WaitCase {
    const char* name;
    DWORD stateBefore;
    platform::ULONGLONG pendingBefore;  // milliseconds left of a pending state it is in
    platform::ULONGLONG startMs;
    platform::ULONGLONG stopMs;
    DWORD waitHint;
    platform::ULONGLONG checkPointEveryMs;
    DWORD startFailure;
    std::string commandLine;  // after "/quiet /log <log> "
    DWORD exitCode;
    DWORD stateAfter;
    std::vector<std::string> logged;  // in order, each a piece of one entry
    DWORD slept;                      // milliseconds, in all
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class ServiceWaitTest : public ostrel_test::SimFixture, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(ServiceWaitTest, WaitsUntilTheServiceGetsThereOrTheBoundOrItsOwnHintRunsOut)
{
    const WaitCase& c = GetParam();
    machine.stdError = sim::StdTarget::file;
    machine.services.Add(u"Slow");
    sim::Service& slow = *machine.services.Find(u"Slow");
    slow.startMs = c.startMs;
    slow.stopMs = c.stopMs;
    slow.waitHint = c.waitHint;
    slow.checkPointEveryMs = c.checkPointEveryMs;
    slow.startFailure = c.startFailure;
    const DWORD target =
        c.stateBefore == platform::SERVICE_START_PENDING ? platform::SERVICE_RUNNING : platform::SERVICE_STOPPED;
    slow.state = c.stateBefore;
    if (slow.Pending()) slow.BeginPending(c.stateBefore, target, machine.tickCount, c.pendingBefore);

    EXPECT_EQ(static_cast<DWORD>(Run("/quiet /log C:\\Tools\\run.log " + c.commandLine)), c.exitCode);
    EXPECT_EQ(machine.services.StateOf(u"Slow"), c.stateAfter);
    const std::string& log = machine.fileBytes[kLog];
    std::size_t at = 0;
    for (const std::string& piece : c.logged) {
        const std::size_t found = log.find(piece, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\n" << log;
        at = found + piece.size();
    }
    EXPECT_EQ(std::accumulate(machine.sleeps.begin(), machine.sleeps.end(), DWORD{0}), c.slept);
    EXPECT_EQ(machine.handles.OpenCount(sim::HandleKind::service), 0U);
}

constexpr DWORD kStopped = platform::SERVICE_STOPPED;
constexpr DWORD kRunning = platform::SERVICE_RUNNING;
constexpr DWORD kStopPending = platform::SERVICE_STOP_PENDING;
constexpr DWORD kStartPending = platform::SERVICE_START_PENDING;

INSTANTIATE_TEST_SUITE_P(
    Sequences, ServiceWaitTest,
    ::testing::Values(WaitCase{"StartPendingThenRunning",
                               kStopped,
                               0,
                               3000,
                               0,
                               0,
                               0,
                               0,
                               "start service Slow",
                               0,
                               kRunning,
                               {"start service Slow: start requested; the service reports START_PENDING",
                                "start service Slow: running", "exit code: 0"},
                               3000},
                      WaitCase{"StopPendingThenStopped",
                               kRunning,
                               0,
                               0,
                               2000,
                               0,
                               0,
                               0,
                               "stop service Slow",
                               0,
                               kStopped,
                               {"stop service Slow: stop requested; the service reports STOP_PENDING",
                                "stop service Slow: stopped"},
                               2000},
                      WaitCase{"NeverStopping",
                               kRunning,
                               0,
                               0,
                               sim::kForever,
                               0,
                               0,
                               0,
                               "/wait 5 stop service Slow",
                               1053,
                               kStopPending,
                               {"stop service Slow: failed", "error: " + ostrel_test::kStopNotCompleted,
                                "The service did not respond", "exit code: 1053"},
                               5000},
                      // The service's own word that it is stuck ends the wait before the bound.
                      WaitCase{"StuckCheckPoint",
                               kRunning,
                               0,
                               0,
                               sim::kForever,
                               2000,
                               0,
                               0,
                               "stop service Slow",
                               1053,
                               kStopPending,
                               {"not completed: the service reports STOP_PENDING."},
                               2250},
                      // Progress keeps the wait going past the hint: a tenth of it between polls.
                      WaitCase{"MovingCheckPoint",
                               kRunning,
                               0,
                               0,
                               9000,
                               4000,
                               1000,
                               0,
                               "stop service Slow",
                               0,
                               kStopped,
                               {"stop service Slow: stopped"},
                               9200},
                      WaitCase{"StopPendingAtTheStart",
                               kStopPending,
                               1500,
                               0,
                               0,
                               0,
                               0,
                               0,
                               "stop service Slow",
                               0,
                               kStopped,
                               {"stop service Slow: a stop is already in progress; the service reports STOP_PENDING",
                                "stop service Slow: stopped"},
                               1500},
                      WaitCase{"StartPendingAtAStop",
                               kStartPending,
                               1000,
                               0,
                               0,
                               0,
                               0,
                               0,
                               "stop service Slow",
                               1061,
                               kStartPending,
                               {"error: Stop of service Slow failed."},
                               0},
                      WaitCase{"AlreadyStartingAtAStart",
                               kStartPending,
                               1000,
                               0,
                               0,
                               0,
                               0,
                               0,
                               "start service Slow",
                               0,
                               kRunning,
                               {"start service Slow: already started; the service reports START_PENDING",
                                "start service Slow: running"},
                               1000},
                      // A service that stops instead of running says why in its exit code.
                      WaitCase{"StopsInsteadOfRunning",
                               kStopped,
                               0,
                               500,
                               0,
                               0,
                               0,
                               1066,
                               "start service Slow",
                               1066,
                               kStopped,
                               {"error: Start of service Slow not completed: the service reports STOPPED."},
                               500},
                      WaitCase{"NoWait",
                               kRunning,
                               0,
                               0,
                               sim::kForever,
                               0,
                               0,
                               0,
                               "/wait 0 stop service Slow",
                               0,
                               kStopPending,
                               {"stop service Slow: stop requested; the service reports STOP_PENDING", "exit code: 0"},
                               0}),
    ostrel_test::CaseName());

class ServiceOutcomeTest : public ostrel_test::SimFixture {};

// A person's run without "/wait" waits for nothing and, without a log, asks
// the service manager nothing more than it always did.
TEST_F(ServiceOutcomeTest, APersonsRunWithoutWaitAsksNothingMore)
{
    machine.services.Add(u"Slow", true);
    machine.services.Find(u"Slow")->stopMs = 5000;
    EXPECT_EQ(Run("stop service Slow"), 0);
    EXPECT_EQ(machine.CallCount("QueryServiceStatusEx"), 0U);
    EXPECT_TRUE(machine.sleeps.empty());
    EXPECT_EQ(machine.services.StateOf(u"Slow"), platform::SERVICE_STOP_PENDING);
}

// Polled every tenth of the wait hint, a quarter second at least and ten
// seconds at most, and never past the bound.
TEST_F(ServiceOutcomeTest, PollsByTheWaitHint)
{
    machine.stdError = sim::StdTarget::file;
    struct PollCase {
        DWORD hint;
        const char* bound;
        std::vector<DWORD> sleeps;
    };
    const std::vector<PollCase> cases = {
        {0, "1", {250, 250, 250, 250}},
        {30000, "3", {3000}},
        {500000, "31", {10000, 10000, 10000, 1000}},
    };
    for (const auto& [hint, bound, sleeps] : cases) {
        machine.services.Add(u"Slow", true);
        sim::Service& slow = *machine.services.Find(u"Slow");
        slow.stopMs = sim::kForever;
        slow.waitHint = hint;
        slow.checkPointEveryMs = 100;
        machine.sleeps.clear();
        EXPECT_EQ(Run(std::string("/quiet /wait ") + bound + " stop service Slow"), 1053) << hint;
        EXPECT_EQ(machine.sleeps, sleeps) << hint;
    }
}

TEST_F(ServiceOutcomeTest, ADeletedServiceThatStillRunsIsLoggedAsMarkedForDeletion)
{
    machine.services.Add(u"Busy", true);
    machine.services.Add(u"Idle");
    EXPECT_EQ(Run("/log C:\\Tools\\run.log remove service Busy Idle"), 0);
    const std::string& log = machine.fileBytes[kLog];
    EXPECT_NE(log.find("remove service Busy: marked for deletion, it goes once it has stopped; the service reports "
                       "RUNNING"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("remove service Idle: deleted; the service reports STOPPED"), std::string::npos) << log;
    EXPECT_TRUE(machine.services.Exists(u"Busy"));
    EXPECT_FALSE(machine.services.Exists(u"Idle"));
}

}  // namespace
