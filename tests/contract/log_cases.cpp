// The log file as a run keeps it: which file a handle is (so that "/log"
// naming the INF file or the program is told), how the file begins and
// ends (read through the handle that appends), and the one-byte lock far
// past its end that keeps other runs' entries from running into each other.
#include <string>

#include "contract.h"
#include "platform/sim/win32_constants.h"
#include "platform/unique_handle.h"

namespace contract {
namespace {

using namespace platform;  // NOLINT(google-build-using-namespace): the cases speak Win32
using contract::operator<<;

// As the run opens its log: to read and append, shared with other runs.
HANDLE OpenLog(const std::u16string& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// As the run opens another name to compare it with the log: no access at all.
HANDLE OpenToCompare(const std::u16string& path)
{
    return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       0, nullptr);
}

// The log's lock: one byte at 2^62.
OVERLAPPED LockRegion()
{
    OVERLAPPED region{};
    region.OffsetHigh = 0x40000000;
    return region;
}

bool Lock(HANDLE file)
{
    OVERLAPPED region = LockRegion();
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region) != FALSE;
}

bool Unlock(HANDLE file)
{
    OVERLAPPED region = LockRegion();
    return UnlockFileEx(file, 0, 1, 0, &region) != FALSE;
}

// --- Which file: one identity however it is spelled -------------------------

struct SpellingCase {
    const char* name;
    std::u16string path;  // in the case's folder, which holds run.log, other.log and the folder sub
    bool same;            // as run.log
};

const SpellingCase kSpellings[] = {
    {"the_same_name", u"run.log", true},
    {"another_letter_case", u"RUN.Log", true},
    {"through_the_folder_itself", u".\\run.log", true},
    {"through_a_subfolder_and_back", u"sub\\..\\run.log", true},
    {"another_file", u"other.log", false},
};

class LogIdentity : public Case, public ::testing::WithParamInterface<SpellingCase> {};

TEST_P(LogIdentity, IsTheVolumeAndTheFileIndex)
{
    const std::u16string log = world.PathIn(u"run.log");
    world.WriteFile(log, "entry\r\n");
    world.WriteFile(world.PathIn(u"other.log"), "entry\r\n");
    world.MakeFolder(world.PathIn(u"sub"));
    const unique_file_handle file(OpenLog(log));
    ASSERT_TRUE(file) << TakeLastError();
    ASSERT_EQ(GetFileType(file.get()), FILE_TYPE_DISK);
    BY_HANDLE_FILE_INFORMATION mine{};
    ASSERT_TRUE(GetFileInformationByHandle(file.get(), &mine)) << TakeLastError();

    const unique_file_handle other(OpenToCompare(world.PathIn(GetParam().path)));
    ASSERT_TRUE(other) << TakeLastError();
    BY_HANDLE_FILE_INFORMATION theirs{};
    ASSERT_TRUE(GetFileInformationByHandle(other.get(), &theirs)) << "with no access: " << TakeLastError();

    EXPECT_EQ(theirs.dwVolumeSerialNumber, mine.dwVolumeSerialNumber) << "one folder, one volume";
    EXPECT_EQ(theirs.nFileIndexHigh == mine.nFileIndexHigh && theirs.nFileIndexLow == mine.nFileIndexLow,
              GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(Spellings, LogIdentity, ::testing::ValuesIn(kSpellings), CaseName());

// --- How the file begins and ends -------------------------------------------

// The run reads the byte-order mark and the last unit through the handle it
// appends with; the entry that follows still lands at the end.
TEST_F(Case, TheLogIsReadWhereAskedAndAppendedToAtItsEnd)
{
    const std::u16string log = world.PathIn(u"run.log");
    world.WriteFile(log, "\xFF\xFEx");
    const unique_file_handle file(OpenLog(log));
    ASSERT_TRUE(file);
    EXPECT_EQ(TakeLastError(), ERROR_ALREADY_EXISTS);
    LONGLONG size = -1;
    unsigned char bytes[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    DWORD got = 99;

    ASSERT_TRUE(SetFilePointerEx(file.get(), 0, &size, FILE_END)) << TakeLastError();
    EXPECT_EQ(size, 3);
    EXPECT_TRUE(ReadFile(file.get(), bytes, 2, &got, nullptr)) << "at the end: " << TakeLastError();
    EXPECT_EQ(got, 0u) << "nothing to read at the end";
    ASSERT_TRUE(SetFilePointerEx(file.get(), 0, nullptr, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(file.get(), bytes, 2, &got, nullptr)) << TakeLastError();
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes[2], 0xAA) << "no more than asked for";
    ASSERT_TRUE(SetFilePointerEx(file.get(), size - 1, nullptr, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(file.get(), bytes, 2, &got, nullptr));
    EXPECT_EQ(got, 1u) << "a read past the end is cut";
    EXPECT_EQ(bytes[0], 'x');
    ASSERT_TRUE(SetFilePointerEx(file.get(), 0, nullptr, FILE_BEGIN));

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), "yz", 2, &written, nullptr)) << TakeLastError();

    EXPECT_EQ(world.Contents(log), "\xFF\xFExyz") << "written at the end, not where the reads left off";
}

// --- The lock ----------------------------------------------------------------

// Two runs on one log: each through its own handle.
class LogLock : public Case {
protected:
    LogLock() : first(OpenLog(log)), second(OpenLog(log)) {}

    const std::u16string log = world.PathIn(u"shared.log");
    unique_file_handle first;
    unique_file_handle second;
};

TEST_F(LogLock, IsHeldByOneHandleUntilItIsGivenBack)
{
    ASSERT_TRUE(first && second) << TakeLastError();

    ASSERT_TRUE(Lock(first.get())) << TakeLastError();
    EXPECT_FALSE(Lock(second.get()));
    EXPECT_EQ(TakeLastError(), ERROR_LOCK_VIOLATION);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(second.get(), "x", 1, &written, nullptr)) << "the lock keeps nobody from appending";
    EXPECT_FALSE(Unlock(second.get())) << "not its lock";

    EXPECT_TRUE(Unlock(first.get())) << TakeLastError();
    EXPECT_TRUE(Lock(second.get())) << TakeLastError();
    EXPECT_TRUE(Unlock(second.get()));
}

// A run that cannot give its lock back leaves it to the end of its handle.
TEST_F(LogLock, GoesWithTheHandle)
{
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(Lock(first.get()));
    first.reset();

    EXPECT_TRUE(Lock(second.get())) << TakeLastError();
}

// The read access is what lets a run take the lock.
TEST_F(LogLock, NeedsMoreThanTheRightToAppend)
{
    const unique_file_handle appendOnly(CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(appendOnly);
    TakeLastError();

    const bool locked = Lock(appendOnly.get());

    const DWORD error = TakeLastError();
    KnownDifference(Fault::wine, "LockFileEx takes the lock through a handle that may only append", [&] {
        EXPECT_FALSE(locked);
        EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    });
}

// --- The clock of the lock's bounded wait -------------------------------------

TEST_F(Case, TheClockMovesOnWhileTheRunSleeps)
{
    const ULONGLONG before = GetTickCount64();
    Sleep(100);
    EXPECT_GE(GetTickCount64() - before, 50u) << "the clock is coarse, but it moves on";
}

}  // namespace
}  // namespace contract
