// Known differences between the two sides, and the run's closing count.
#include <gtest/gtest-spi.h>

#include <cstdio>
#include <set>
#include <string>

#include "contract.h"

namespace contract {

namespace {

const char* FaultName(Fault fault) { return fault == Fault::wine ? "Wine" : "simulated machine"; }

bool AtFaultHere(Fault fault)
{
    if (fault == Fault::wine) return ThisSide() == Side::windows && UnderWine();
    return ThisSide() == Side::simulatedMachine;
}

// The kinds of mark the running case carries.
std::set<Fault> marksOfThisCase;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

class SummaryPrinter : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& /*info*/) override { marksOfThisCase.clear(); }

    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        ++cases_;
        if (info.result()->Failed()) return;
        ++passed_;
        if (marksOfThisCase.empty()) ++unmarked_;
        if (marksOfThisCase.count(Fault::wine) != 0) ++wineMarked_;
        if (marksOfThisCase.count(Fault::simulatedMachine) != 0) ++simMarked_;
    }

    void OnTestProgramEnd(const ::testing::UnitTest& /*unit*/) override
    {
        const char* side = ThisSide() == Side::simulatedMachine ? "the simulated machine"
                           : UnderWine()                        ? "Wine"
                                                                : "Windows";
        std::printf(
            "contract suite on %s: %u cases, %u passed (%u unmarked; marked as known differences: %u of Wine, "
            "%u of the simulated machine), %u failed\n",
            side, cases_, passed_, unmarked_, wineMarked_, simMarked_, cases_ - passed_);
        std::fflush(stdout);
    }

private:
    unsigned cases_ = 0;
    unsigned passed_ = 0;
    unsigned unmarked_ = 0;
    unsigned wineMarked_ = 0;
    unsigned simMarked_ = 0;
};

}  // namespace

void KnownDifference(Fault fault, const char* why, const std::function<void()>& checks)
{
    marksOfThisCase.insert(fault);
    if (!AtFaultHere(fault)) {
        checks();
        return;
    }
    ::testing::TestPartResultArray failures;
    {
        const ::testing::ScopedFakeTestPartResultReporter intercept(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        checks();
    }
    if (failures.size() == 0) {
        ADD_FAILURE() << "marked as a known difference of the " << FaultName(fault) << " (" << why
                      << "), but the checks passed: the difference is gone, remove the mark";
        return;
    }
    std::printf("[ KNOWN    ] %s: %s (%d check(s) failed as expected; first: %s)\n", FaultName(fault), why,
                failures.size(), failures.GetTestPartResult(0).summary());
}

void ForgetMarksOfThisCase() { marksOfThisCase.clear(); }

void AddSummaryPrinter() { ::testing::UnitTest::GetInstance()->listeners().Append(new SummaryPrinter); }

std::string U8(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace contract
