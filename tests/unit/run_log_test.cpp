// The log shared by runs at once: every entry whole under the log's lock,
// the text the file already holds, and a write that fails.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "sim_fixture.h"

namespace {

using platform::DWORD;

const std::u16string kLog = u"C:\\Tools\\run.log";
const std::u16string kLogLabel = u"file:" + kLog;
constexpr platform::ULONGLONG kLockOffset = platform::ULONGLONG{1} << 62;
const std::string kLockViolation =
    "The process cannot access the file because another process has locked a portion of the file.";

class RunLogTest : public ostrel_test::SimFixture {
protected:
    RunLogTest()
    {
        machine.services.Add(u"S");
        machine.stdError = sim::StdTarget::file;
    }
    DWORD RunQuietly(const std::string& arguments) { return static_cast<DWORD>(Run(arguments)); }
    // What the run did to the log, in order: "lock", "write", "unlock".
    std::vector<std::string> LogCalls() const
    {
        std::vector<std::string> calls;
        for (const sim::CallRecord& call : machine.Calls()) {
            if (call.arguments.empty() || call.arguments[0] != kLogLabel) continue;
            if (call.function == "LockFileEx") calls.emplace_back("lock");
            if (call.function == "WriteFile") calls.emplace_back("write");
            if (call.function == "UnlockFileEx") calls.emplace_back("unlock");
        }
        return calls;
    }
    void LockByAnotherRun(platform::ULONGLONG milliseconds)
    {
        machine.fileLocks.push_back(
            sim::FileLock{machine.FileIdentity(kLog), kLockOffset, 1, nullptr,
                          milliseconds == sim::kForever ? sim::kForever : machine.tickCount + milliseconds});
    }
    DWORD SleptFor() const { return std::accumulate(machine.sleeps.begin(), machine.sleeps.end(), DWORD{0}); }
};

std::size_t Entries(const std::string& log)
{
    std::size_t count = 0;
    for (std::size_t at = log.find("2026-12-08 "); at != std::string::npos; at = log.find("2026-12-08 ", at + 1))
        ++count;
    return count;
}

// Each entry, the long command line and the two-line error among them, is
// one write between taking the lock (one byte at 2^62) and giving it back.
TEST_F(RunLogTest, EveryEntryIsOneWriteUnderTheLock)
{
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\run.log start service Missing " + std::string(250, 'x')), 1060U);
    const std::size_t entries = Entries(machine.fileBytes[kLog]);
    ASSERT_GE(entries, 8U);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < entries; ++i) expected.insert(expected.end(), {"lock", "write", "unlock"});
    EXPECT_EQ(LogCalls(), expected);
    EXPECT_EQ(machine.CallsTo({"LockFileEx"}).front(),
              "LockFileEx(file:C:\\Tools\\run.log, 0x3, 0x1, 0x4000000000000000)");
    EXPECT_TRUE(machine.fileLocks.empty());
}

TEST_F(RunLogTest, ALockHeldByAnotherRunIsWaitedFor)
{
    LockByAnotherRun(3000);
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\run.log start service S"), 0U);
    EXPECT_GE(SleptFor(), 3000U);
    EXPECT_NE(machine.fileBytes[kLog].find("exit code: 0"), std::string::npos);
    EXPECT_EQ(machine.stdErrorBytes, "");
}

// A log that cannot be written to is said once on standard error, also in
// a person's run; its error is the exit code only when nothing else failed.
struct WriteFailureCase {
    const char* name;
    bool lockedForEver;  // else the disk is full
    std::string commandLine;
    DWORD exitCode;
};

class LogWriteFailureTest : public RunLogTest, public ::testing::WithParamInterface<WriteFailureCase> {};

TEST_P(LogWriteFailureTest, IsSaidOnceAndCountsOnlyWhenNothingElseFailed)
{
    const WriteFailureCase& c = GetParam();
    if (c.lockedForEver)
        LockByAnotherRun(sim::kForever);
    else
        machine.FailCall(sim::Fault::On("WriteFile", kLogLabel, platform::ERROR_DISK_FULL));
    EXPECT_EQ(static_cast<DWORD>(Run(c.commandLine)), c.exitCode);
    const std::string said = "Write to log file C:\\Tools\\run.log failed.\r\n" +
                             (c.lockedForEver ? kLockViolation : "There is not enough space on the disk.") + "\r\n";
    EXPECT_EQ(machine.stdErrorBytes.substr(machine.stdErrorBytes.size() - said.size()), said);
    EXPECT_EQ(machine.stdErrorBytes.find("Write to log file"), machine.stdErrorBytes.rfind("Write to log file"));
    EXPECT_EQ(machine.fileBytes[kLog], "");
    EXPECT_LE(SleptFor(), 10000U) << "the lock is waited for once, not for every entry";
    EXPECT_TRUE(machine.services.IsRunning(u"S"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogWriteFailureTest,
    ::testing::Values(WriteFailureCase{"LockedForEver", true, "/quiet /log C:\\Tools\\run.log start service S", 33},
                      WriteFailureCase{"DiskFull", false, "/quiet /log C:\\Tools\\run.log start service S", 112},
                      WriteFailureCase{"AnotherFailureFirst", false,
                                       "/quiet /log C:\\Tools\\run.log start service S Missing", 1060},
                      WriteFailureCase{"PersonsRun", true, "/log C:\\Tools\\run.log start service S", 0}),
    ostrel_test::CaseName());

// An existing log keeps its text: UTF-16 (either byte order) after its
// byte-order mark, UTF-8 otherwise; an unterminated last line is ended first.
struct EncodingCase {
    const char* name;
    std::string before;
    std::string appendedStart;
    std::string end;  // of the last entry, "exit code: 0" and its line end
};

class LogEncodingTest : public RunLogTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(LogEncodingTest, NewEntriesFollowTheTextTheFileHolds)
{
    const EncodingCase& c = GetParam();
    if (!c.before.empty()) machine.fileBytes[kLog] = c.before;
    EXPECT_EQ(RunQuietly("/quiet /log C:\\Tools\\run.log start service S"), 0U);
    const std::string& log = machine.fileBytes[kLog];
    ASSERT_EQ(log.compare(0, c.before.size(), c.before), 0);
    EXPECT_EQ(log.substr(c.before.size(), c.appendedStart.size()), c.appendedStart);
    EXPECT_EQ(log.substr(log.size() - c.end.size()), c.end);
}

const std::string kUtf8End = "code: 0\r\n";
const std::string kLittleEnd("e\0:\0 \0000\0\r\0\n\0", 12);
const std::string kBigEnd("\0e\0:\0 \0000\0\r\0\n", 12);

INSTANTIATE_TEST_SUITE_P(Cases, LogEncodingTest,
                         ::testing::Values(EncodingCase{"New", "", "2026-12-08 11:37:19.000 OstrelSetup", kUtf8End},
                                           EncodingCase{"Utf8", "earlier\r\n", "2026-", kUtf8End},
                                           EncodingCase{"Utf8Unterminated", "earlier", "\r\n2026-", kUtf8End},
                                           EncodingCase{"Utf16",
                                                        std::string("\xFF\xFE"
                                                                    "e\0\r\0\n\0",
                                                                    8),
                                                        std::string("2\0000\0", 4), kLittleEnd},
                                           EncodingCase{"Utf16Unterminated",
                                                        std::string("\xFF\xFE"
                                                                    "e\0",
                                                                    4),
                                                        std::string("\r\0\n\0002\0", 6), kLittleEnd},
                                           EncodingCase{"Utf16MarkAlone", "\xFF\xFE", std::string("2\0000\0", 4),
                                                        kLittleEnd},
                                           EncodingCase{"Utf16BigEndianUnterminated", std::string("\xFE\xFF\0e", 4),
                                                        std::string("\0\r\0\n\0002", 6), kBigEnd}),
                         ostrel_test::CaseName());

// A pipe takes no lock and holds no text to look at; each entry is still
// one write.
TEST_F(RunLogTest, ALogOnAPipeIsWrittenEntryByEntryWithoutALock)
{
    const std::u16string pipe = u"\\\\.\\pipe\\ostrel-log";
    machine.pipes.insert(pipe);
    EXPECT_EQ(RunQuietly("/quiet /log \\\\.\\pipe\\ostrel-log start service S"), 0U);
    EXPECT_EQ(machine.CallCount("LockFileEx"), 0U);
    EXPECT_EQ(machine.CallsTo({"WriteFile"}).size(), Entries(machine.fileBytes[pipe]));
    EXPECT_NE(machine.fileBytes[pipe].find("exit code: 0\r\n"), std::string::npos);
}

}  // namespace
