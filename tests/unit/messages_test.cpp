// The catalogue, its language, placeholder filling, the message-box layer,
// ReportError and the system texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "messages/message_sink.h"
#include "messages/messages.h"
#include "run/output.h"
#include "run/run_log.h"
#include "sim_fixture.h"

namespace {

using ostrel_test::Box;
using ostrel_test::kEnglish;
using ostrel_test::kGerman;
using ostrel_test::kGetClassFailed;
using ostrel_test::kNoSuchServiceText;
using ostrel_test::kOpenManagerFailed;
using ostrel_test::kRebootRequired;
using ostrel_test::kRebootRequiredDe;
using platform::DWORD;
using platform::LCID;
using platform::UINT;
using sim::U16;
using sim::U8;

// A number in the catalogue's last block whose entry is empty.
constexpr unsigned kNoText = 47;

// The whole text, embedded terminators too.
std::string U8(const ostrel::Text& text) { return U8(std::u16string(text.c_str(), text.size())); }

ostrel::Text TextOf(const char16_t* units)
{
    ostrel::Text text;
    EXPECT_TRUE(text.append(units));
    return text;
}

constexpr LCID kFrench = 0x040C;

class Messages : public ostrel_test::SimFixture {
protected:
    std::string Text(unsigned id)
    {
        ostrel::Text text;
        EXPECT_TRUE(ostrel::LoadCatalogueText(id, text)) << "message " << id;
        return U8(text);
    }
    std::string Formatted(unsigned id, const char16_t* insert)
    {
        ostrel::Text result;
        ostrel::FormatCatalogueMessage(result, id, insert);
        return U8(result);
    }
};

// --- The catalogue and its language ----------------------------------------

TEST_F(Messages, EveryNumberFrom2To44And50To59HasATextInBothLanguagesAndNoOtherNumberHasOne)
{
    for (LCID locale : {kEnglish, kGerman}) {
        machine.threadLocale = locale;
        for (unsigned id = 0; id < 70; ++id) {
            ostrel::Text text = TextOf(u"stale");
            const bool present = ostrel::LoadCatalogueText(id, text);
            EXPECT_EQ(present, (id >= 2 && id <= 44) || (id >= 50 && id <= 59))
                << "message " << id << ", locale " << locale;
            EXPECT_EQ(text.empty(), !present) << "message " << id;
        }
    }
}

struct CatalogueText {
    unsigned id;
    LCID locale;
    const char* text;
};

class CatalogueSpotChecks : public Messages, public ::testing::WithParamInterface<CatalogueText> {};

TEST_P(CatalogueSpotChecks, HoldTheExactText)
{
    machine.threadLocale = GetParam().locale;
    EXPECT_EQ(Text(GetParam().id), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CatalogueSpotChecks,
    ::testing::Values(
        CatalogueText{2, kEnglish, "Invalid command line - hardware ID missing."},
        CatalogueText{2, kGerman, "Ungültige Kommandozeile - Hardware ID fehlt."},
        CatalogueText{5, kEnglish, "Install failed.\n%1"},
        CatalogueText{5, kGerman, "Die Installation konnte nicht durchgeführt werden.\n%1"},
        CatalogueText{15, kEnglish, "Register device %1 failed."},
        CatalogueText{16, kGerman, "Der Gerätetreiber für %1 kann nicht aktualisiert werden."},
        CatalogueText{18, kGerman, "Die Installationsparameter für die Klasse können nicht eingestellt werden."},
        CatalogueText{31, kEnglish, "Stop of service %1 failed."},
        CatalogueText{32, kEnglish, "Delete of service %1 failed."},
        CatalogueText{33, kGerman,
                      "Für Hardware ID %1 existiert bereits ein neuerer Treiber. Sie müssen zuerst den bestehenden "
                      "Treiber deinstallieren."}));

// Windows Vista and later pick the UI language in the language-neutral
// lookup, so the thread locale that "/de" and "/en" set must be asked for
// first; a locale with no table falls back to what Windows picks.
struct LanguageCase {
    LCID threadLocale;
    platform::LANGID uiLanguage;
    std::string expected;
};

class LanguageChoice : public Messages, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(LanguageChoice, FollowsTheThreadLocaleWhereItHasATable)
{
    machine.threadLocale = GetParam().threadLocale;
    machine.uiLanguage = GetParam().uiLanguage;
    EXPECT_EQ(Text(7), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, LanguageChoice,
                         ::testing::Values(LanguageCase{kGerman, 0x0409, kRebootRequiredDe},
                                           LanguageCase{kEnglish, 0x0C07, kRebootRequired},
                                           LanguageCase{kFrench, 0x0C07, kRebootRequiredDe},
                                           LanguageCase{kFrench, 0x0409, kRebootRequired},
                                           LanguageCase{kFrench, 0x040C, kRebootRequired}));

TEST_F(Messages, GermanOptionGivesGermanMessagesOnAnEnglishSystem)
{
    machine.uiLanguage = 0x0409;
    machine.threadLocale = kEnglish;
    Run("/de nonsense");
    EXPECT_EQ(Boxes(), std::vector<Box>{ostrel_test::ErrorBox(
                           "Ungültige Kommandozeile. Rufen Sie 'OstrelSetup help' für mehr Informationen auf.")});
}

TEST_F(Messages, TheLookupAsksForTheThreadLanguageAndFallsBackToTheNeutralLookup)
{
    machine.threadLocale = kFrench;
    Text(7);
    EXPECT_EQ(CallsTo({"FindResourceExW", "FindResourceW"}),
              (std::vector<std::string>{"FindResourceExW((null), #6, #1, 0x40C)", "FindResourceW((null), #1, #6)"}));
}

// --- The string-table walk -------------------------------------------------

std::vector<std::uint8_t> Block(const std::vector<std::u16string>& entries)
{
    std::vector<std::uint8_t> bytes;
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    for (const std::u16string& entry : entries) {
        put(static_cast<char16_t>(entry.size()));
        for (char16_t unit : entry) put(unit);
    }
    return bytes;
}

struct WalkCase {
    const char* what;
    std::vector<std::uint8_t> block;
    std::size_t cut;  // bytes taken off the block's end
    unsigned entry;
    bool found;
    const char* text;
};

TEST(StringTableWalk, FindsAnEntryOnlyWithinTheBlock)
{
    const sim::Machine machine;  // the text's memory is the machine's
    const auto three = Block({u"", u"one", u"two"});
    // The count of "two" claims three units; the block is cut so that it runs past the end.
    std::vector<std::uint8_t> overlong = Block({u"", u"one"});
    overlong.insert(overlong.end(), {5, 0, 'x', 0});
    const std::vector<WalkCase> cases = {
        {"middle entry", three, 0, 1, true, "one"},
        {"last entry", three, 0, 2, true, "two"},
        {"count 0", three, 0, 0, false, ""},
        {"past the last entry", three, 0, 3, false, ""},
        {"text cut by the block's end", three, 2, 2, false, ""},
        {"count cut by the block's end", three, 7, 2, false, ""},
        {"count larger than what is left", overlong, 0, 2, false, ""},
        {"entry behind an overlong one", overlong, 0, 3, false, ""},
        {"empty block", three, three.size(), 0, false, ""},
    };
    for (const WalkCase& c : cases) {
        // An exact-size copy, so that a read past the end is a fault a sanitizer sees.
        const std::vector<std::uint8_t> block(c.block.begin(), c.block.end() - static_cast<std::ptrdiff_t>(c.cut));
        ostrel::Text text = TextOf(u"stale");
        EXPECT_EQ(ostrel::ReadStringTableEntry(block.data(), static_cast<DWORD>(block.size()), c.entry, text), c.found)
            << c.what;
        EXPECT_EQ(U8(text), c.text) << c.what;
    }
}

TEST_F(Messages, ABlockThatEndsEarlyGivesNoText)
{
    machine.threadLocale = kEnglish;
    auto& block = machine.stringBlocks.at({1, 0x0409});
    block.resize(block.size() - 1);  // the last entry, message 15, loses half a unit
    ostrel::Text text;
    EXPECT_FALSE(ostrel::LoadCatalogueText(15, text));
    EXPECT_TRUE(ostrel::LoadCatalogueText(14, text));
}

TEST_F(Messages, NumbersBeyondSixteenBitsDoNotWrapOntoOtherTexts)
{
    ostrel::Text text;
    EXPECT_FALSE(ostrel::LoadCatalogueText(0x100002, text));  // block 0x10001 would wrap to block 1, entry 2
    EXPECT_TRUE(text.empty());
}

TEST_F(Messages, AFailedResourceCallGivesNoText)
{
    // The first load fails in LoadResource, the second in LockResource, the third succeeds.
    machine.FailCall(sim::Fault::Nth("LoadResource", 1, platform::ERROR_INVALID_HANDLE));
    machine.FailCall(sim::Fault::Nth("LockResource", 1, platform::ERROR_INVALID_HANDLE));
    for (bool expected : {false, false, true}) {
        ostrel::Text text = TextOf(u"stale");
        EXPECT_EQ(ostrel::LoadCatalogueText(2, text), expected);
        EXPECT_EQ(text.empty(), !expected);
    }
}

// --- Placeholders ----------------------------------------------------------

struct PlaceholderCase {
    const char16_t* text;
    std::vector<const char16_t*> inserts;
    const char16_t* expected;
};

TEST(Placeholders, AreFilledByTheCatalogueRules)
{
    const sim::Machine machine;
    const std::vector<const char16_t*> ten = {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"tenth"};
    std::vector<const char16_t*> all(35, u"-");
    all[34] = u"last";
    const std::vector<PlaceholderCase> cases = {
        {u"a %1 b", {u"X"}, u"a X b"},
        {u"%1%1", {u"X"}, u"XX"},
        {u"%%1", {u"X"}, u"%X"},
        {u"%0 %a %z % 1", {u"X"}, u"%0 %a %z % 1"},
        {u"100%", {u"X"}, u"100%"},
        {u"%2", {u"X"}, u"?"},
        {u"%A", {u"X"}, u"?"},
        {u"%A", ten, u"tenth"},
        {u"%9", ten, u"8"},
        {u"%Z", all, u"last"},
        {u"a %1 b", {nullptr}, u"a  b"},
        {u"%1 %2 %3", {u"X", nullptr}, u"X  ?"},
        {u"%1", {u"%1%2"}, u"%1%2"},
        {u"%1", {u""}, u""},
        {u"no placeholder", {}, u"no placeholder"},
        {u"%1", {}, u"?"},
    };
    for (const PlaceholderCase& c : cases) {
        ostrel::Text result = TextOf(u">");
        ostrel::FillPlaceholders(result, TextOf(c.text), c.inserts.data(), static_cast<unsigned>(c.inserts.size()));
        EXPECT_EQ(U8(result), ">" + U8(c.expected)) << U8(c.text);
    }
}

TEST(Placeholders, NoInsertArrayMeansNoInserts)
{
    const sim::Machine machine;
    ostrel::Text result;
    ostrel::FillPlaceholders(result, TextOf(u"[%1]"), nullptr, 2);
    EXPECT_EQ(U8(result), "[?]");
}

TEST_F(Messages, FormattingFillsTheCatalogueText)
{
    EXPECT_EQ(Formatted(15, u"ROOT\\X"), "Register device ROOT\\X failed.");
    EXPECT_EQ(Formatted(15, nullptr), "Register device  failed.");
    EXPECT_EQ(Formatted(5, nullptr), "Install failed.\n");
    machine.threadLocale = kGerman;
    EXPECT_EQ(Formatted(33, u"PCI\\VEN"),
              "Für Hardware ID PCI\\VEN existiert bereits ein neuerer Treiber. Sie müssen zuerst den bestehenden "
              "Treiber deinstallieren.");
}

TEST_F(Messages, FormattingANumberWithoutTextLeavesTheResultAsItWas)
{
    ostrel::Text result = TextOf(u"kept");
    ostrel::FormatCatalogueMessage(result, kNoText, u"X");
    EXPECT_EQ(U8(result), "kept");
}

// --- Message boxes ---------------------------------------------------------

TEST_F(Messages, BoxesGetTheDefaultIconOfTheirButtonsWhenTheyNameNone)
{
    const std::vector<std::pair<UINT, UINT>> types = {
        {0x00, 0x30}, {0x01, 0x31}, {0x02, 0x02}, {0x03, 0x23}, {0x04, 0x24},   {0x05, 0x05},   {0x06, 0x06},
        {0x10, 0x10}, {0x40, 0x40}, {0x14, 0x14}, {0x31, 0x31}, {0x100, 0x130}, {0x104, 0x124}, {0x2000, 0x2030},
    };
    for (const auto& [given, shown] : types) ostrel::ShowMessage(run, u"t", given);
    ASSERT_EQ(machine.boxes.size(), types.size());
    for (std::size_t i = 0; i < types.size(); ++i)
        EXPECT_EQ(machine.boxes[i].type, types[i].second) << "type 0x" << std::hex << types[i].first;
    EXPECT_TRUE(AllBoxesBelongToTheApp());
}

TEST_F(Messages, ShowMessageReturnsTheBoxResult)
{
    machine.boxAnswer = 7;
    EXPECT_EQ(ostrel::ShowMessage(run, u"t", platform::MB_YESNO), 7);
    machine.FailCall(sim::Fault::Every("MessageBoxW", platform::ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(ostrel::ShowMessage(run, u"t", platform::MB_OK), 0);
}

TEST_F(Messages, ACatalogueMessageIsShownAloneAndANumberWithoutTextAsAnEmptyBox)
{
    machine.threadLocale = kGerman;
    ostrel::ShowCatalogueMessage(run, 7, platform::MB_ICONINFORMATION);
    ostrel::ShowCatalogueMessage(run, kNoText, platform::MB_ICONERROR);
    ostrel::ShowCatalogueMessage(run, 33, platform::MB_OK);
    ASSERT_EQ(machine.boxes.size(), 3U);
    EXPECT_EQ(Boxes()[0], ostrel_test::InformationBox(kRebootRequiredDe));
    EXPECT_EQ(Boxes()[1], ostrel_test::ErrorBox(""));
    EXPECT_EQ(Boxes()[2].type, platform::MB_ICONEXCLAMATION);
    EXPECT_TRUE(AllBoxesBelongToTheApp());
}

// --- The reporter ----------------------------------------------------------

ostrel::Result Failure(platform::DWORD error) { return ostrel::Result::Failure(error); }

TEST_F(Messages, AReportHasTheCatalogueTextALineFeedAndTheSystemTextWithItsCarriageReturn)
{
    const ostrel::Result reported =
        ostrel::Report(run, Failure(platform::ERROR_SERVICE_DOES_NOT_EXIST), 29, u"Spooler2");
    EXPECT_TRUE(reported.Failed() && reported.Reported());
    EXPECT_EQ(reported.Error(), platform::ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(Boxes(),
              std::vector<Box>{ostrel_test::ErrorBox("Open of service Spooler2 failed.\n" + kNoSuchServiceText)});
    EXPECT_TRUE(AllBoxesBelongToTheApp());
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

TEST_F(Messages, AReportIsInTheThreadLanguage)
{
    machine.threadLocale = kGerman;
    static_cast<void>(ostrel::Report(run, Failure(platform::ERROR_SERVICE_DOES_NOT_EXIST), 29, u"Spooler2"));
    EXPECT_EQ(Boxes(), std::vector<Box>{Report("Der Dienst Spooler2 kann nicht geöffnet werden.",
                                               platform::ERROR_SERVICE_DOES_NOT_EXIST)});
}

// The error is the one taken at the failing call: neither the thread's last
// error nor what loading the catalogue text leaves there is read.
TEST_F(Messages, AReportShowsTheErrorItWasGivenWhateverTheThreadHolds)
{
    machine.threadLocale = kFrench;  // the lookup in a language without a table sets an error of its own
    machine.lastError = platform::ERROR_FILE_NOT_FOUND;
    static_cast<void>(ostrel::Report(run, Failure(platform::ERROR_ACCESS_DENIED), 28));
    EXPECT_EQ(Boxes(), std::vector<Box>{Report(kOpenManagerFailed, platform::ERROR_ACCESS_DENIED)});
    EXPECT_EQ(CallsTo({"FormatMessageW"}), std::vector<std::string>{"FormatMessageW(0x1300, (null), 0x5, 0x0, 0)"});
}

TEST_F(Messages, AReportWithoutCatalogueTextBeginsWithTheLineFeed)
{
    static_cast<void>(ostrel::Report(run, Failure(platform::ERROR_ACCESS_DENIED), kNoText, u"X"));
    EXPECT_EQ(Boxes(), std::vector<Box>{ostrel_test::ErrorBox("\n" + ostrel_test::kAccessDeniedText)});
}

// Where the system has no text, the report's second line is the code and
// its name, in either language; a call that left no code says so, never
// "The operation completed successfully."
struct ReasonCase {
    const char* name;
    platform::DWORD error;
    LCID locale;
    const char* reason;
};

const ReasonCase kReasonCases[] = {
    {"SetupApiCode", platform::ERROR_NO_SUCH_DEVINST, kEnglish, "0xE000020B (ERROR_NO_SUCH_DEVINST)"},
    {"SetupApiCodeInGerman", platform::ERROR_NO_SUCH_DEVINST, kGerman, "0xE000020B (ERROR_NO_SUCH_DEVINST)"},
    {"DriverStoreCode", 0xE0000247, kEnglish, "0xE0000247 (ERROR_DRIVER_STORE_ADD_FAILED)"},
    {"AuthenticodeCode", 0xE0000242, kEnglish, "0xE0000242 (ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED)"},
    {"CodeWithoutName", 0x20001234, kEnglish, "0x20001234"},
    {"NoCode", 0, kEnglish, "The call failed without giving a reason."},
    {"NoCodeInGerman", 0, kGerman, "Der Aufruf ist ohne Angabe eines Grundes fehlgeschlagen."},
};

void PrintTo(const ReasonCase& c, std::ostream* out) { *out << c.name; }

class ReasonTest : public Messages, public ::testing::WithParamInterface<ReasonCase> {};

TEST_P(ReasonTest, AReportWithoutSystemTextEndsWithALineOfItsOwnEvenAfterAnEarlierReport)
{
    static_cast<void>(ostrel::Report(run, Failure(platform::ERROR_ACCESS_DENIED), 28));
    machine.threadLocale = GetParam().locale;
    const ostrel::Result reported = ostrel::Report(run, Failure(GetParam().error), kNoText);
    ASSERT_EQ(machine.boxes.size(), 2U);
    EXPECT_EQ(BoxTexts()[1], "\n" + std::string(GetParam().reason));
    EXPECT_EQ(reported.Error(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Codes, ReasonTest, ::testing::ValuesIn(kReasonCases), ostrel_test::CaseName());

TEST_F(Messages, PlaceholdersInTheSystemTextStayAsTheyAre)
{
    machine.systemTexts[platform::ERROR_ACCESS_DENIED] = u"Access to %1 is denied.\r\n";
    static_cast<void>(ostrel::Report(run, Failure(platform::ERROR_ACCESS_DENIED), 29, u"Svc", u"second"));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Open of service Svc failed.\nAccess to %1 is denied.\r"});
}

// Every form of report, in a person's run and in a quiet one: one message
// and one log entry per failure, the first failure recorded; the same
// failure handed to the reporter again, or a success, shows nothing more.
struct ReporterCase {
    const char* name;
    ostrel::Result (*report)(ostrel::RunContext& run, ostrel::Result failure);
    const char* firstLine;
};

const ReporterCase kReporterCases[] = {
    {"WithSystemText", [](ostrel::RunContext& r, ostrel::Result f) { return ostrel::Report(r, f, 29, u"S"); },
     "Open of service S failed."},
    {"CatalogueTextAlone", [](ostrel::RunContext& r, ostrel::Result f) { return ostrel::ReportAlone(r, f, 6); },
     "Invalid command line. Call 'OstrelSetup help' for more information."},
    {"ComposedText", [](ostrel::RunContext& r, ostrel::Result f) { return ostrel::ReportText(r, f, u"Text."); },
     "Text."},
};

std::size_t Occurrences(const std::string& text, const std::string& piece)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}

class ReporterTest : public Messages, public ::testing::WithParamInterface<std::tuple<ReporterCase, bool>> {};

TEST_P(ReporterTest, ShowsLogsAndRecordsAFailureOnce)
{
    const auto& [form, quiet] = GetParam();
    machine.stdError = sim::StdTarget::file;
    ostrel::StandardStream errors(platform::STD_ERROR_HANDLE);
    ostrel::QuietSink quietSink(errors);
    ostrel::RunContext context(quiet ? static_cast<ostrel::MessageSink&>(quietSink) : boxSink, u"");
    ostrel::RunLog log;
    ASSERT_FALSE(log.Open(u"C:\\Tools\\run.log").Failed());
    context.log = &log;

    const ostrel::Result reported = form.report(context, Failure(platform::ERROR_ACCESS_DENIED));
    EXPECT_TRUE(reported.Failed() && reported.Reported());
    EXPECT_TRUE(form.report(context, reported).Reported());
    EXPECT_FALSE(form.report(context, ostrel::Result::Done()).Reported());
    static_cast<void>(form.report(context, Failure(platform::ERROR_FILE_NOT_FOUND)));

    EXPECT_EQ(context.outcome.ExitCode(), platform::ERROR_ACCESS_DENIED) << "the first failure decides";
    std::string shown;
    for (const std::string& text : BoxTexts()) shown += text;
    EXPECT_EQ(Occurrences(quiet ? machine.stdErrorBytes : shown, form.firstLine), 2U);
    EXPECT_EQ(machine.boxes.size(), quiet ? 0U : 2U);
    EXPECT_EQ(Occurrences(machine.fileBytes[u"C:\\Tools\\run.log"], "error: "), 2U);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ReporterTest,
                         ::testing::Combine(::testing::ValuesIn(kReporterCases), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<ReporterCase, bool>>& param) {
                             return std::string(std::get<0>(param.param).name) +
                                    (std::get<1>(param.param) ? "Quiet" : "Boxes");
                         });

// --- GetSystemErrorText ----------------------------------------------------

struct TrimCase {
    const char16_t* system;
    const char* shown;
};

TEST_F(Messages, OnlyTheFinalLineFeedOfASystemTextIsRemoved)
{
    const std::vector<TrimCase> cases = {
        {u"Text.\r\n", "Text.\r"}, {u"Text.\n", "Text."}, {u"Text.\r", "Text.\r"},
        {u"Text.", "Text."},       {u"\n", ""},           {u"Two\nlines\n\n", "Two\nlines\n"},
    };
    for (const TrimCase& c : cases) {
        machine.systemTexts[4711] = c.system;
        EXPECT_EQ(U8(ostrel::GetSystemErrorText(4711)), c.shown) << U8(c.system);
    }
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

TEST_F(Messages, WithoutASystemTextTheBufferHoldsTheCodeNotAnEarlierText)
{
    const char16_t* first = ostrel::GetSystemErrorText(platform::ERROR_ACCESS_DENIED);
    EXPECT_EQ(U8(first), ostrel_test::kAccessDeniedText);
    machine.FailCall(sim::Fault::Every("FormatMessageW", platform::ERROR_MR_MID_NOT_FOUND));
    const char16_t* second = ostrel::GetSystemErrorText(platform::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(second, first) << "one buffer for every call";
    EXPECT_EQ(U8(second), "0x00000002 (ERROR_FILE_NOT_FOUND)");
}

TEST_F(Messages, ASystemTextLongerThanTheBufferIsCutAt1023Units)
{
    machine.systemTexts[4711] = std::u16string(2000, u'x') + u"\r\n";
    const char16_t* text = ostrel::GetSystemErrorText(4711);
    EXPECT_EQ(std::u16string(text), std::u16string(1023, u'x'));
    machine.systemTexts[4711] = std::u16string(1023, u'y') + u"\n";  // the line feed is the unit that is cut
    EXPECT_EQ(std::u16string(ostrel::GetSystemErrorText(4711)), std::u16string(1023, u'y'));
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

// --- HRESULT texts ---------------------------------------------------------

std::string HResultText(platform::HRESULT hr)
{
    ostrel::HResultError error(hr);
    const char16_t* text = error.GetHResultText();
    return text == nullptr ? "(null)" : U8(text);
}

constexpr platform::HRESULT Hr(DWORD code) { return static_cast<platform::HRESULT>(code); }

TEST_F(Messages, HResultFallbacksWhenTheSystemHasNoText)
{
    machine.FailCall(sim::Fault::Every("FormatMessageW", platform::ERROR_MR_MID_NOT_FOUND));
    const std::vector<std::pair<DWORD, const char*>> cases = {
        {0x80040201, "IDispatch error #1"},
        {0x8004FFFF, "IDispatch error #65023"},
        {0x80040200, "Unknown error 0x80040200"},
        {0x80050000, "Unknown error 0x80050000"},
        {0x800401FF, "Unknown error 0x800401FF"},
        {0x80070002, "Unknown error 0x80070002"},
        {0, "Unknown error 0x0"},
        {0xFFFFFFFF, "Unknown error 0xFFFFFFFF"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(HResultText(Hr(code)), text) << std::hex << code;
    EXPECT_EQ(machine.CallsTo({"LocalAlloc"}).front(), "LocalAlloc(0x0, 64)");
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

TEST_F(Messages, HResultTextsLoseAFinalLineFeedAndTheCarriageReturnBeforeIt)
{
    const std::vector<std::pair<const char16_t*, const char*>> cases = {
        {u"Text.\r\n", "Text."}, {u"Text.\n", "Text."}, {u"Text.\r", "Text.\r"},
        {u"\r\n", ""},           {u"\n", "\n"},         {u"a\n", "a"},
    };
    for (const auto& [system, shown] : cases) {
        machine.systemTexts[0x80041234] = system;
        EXPECT_EQ(HResultText(Hr(0x80041234)), shown) << U8(system);
    }
    EXPECT_EQ(machine.CallsTo({"FormatMessageW"}).front(), "FormatMessageW(0x1300, (null), 0x80041234, 0x400, 0)");
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

TEST_F(Messages, AWin32ErrorAsHResultHasItsSystemText)
{
    EXPECT_EQ(HResultText(Hr(0x80070002)), "The system cannot find the file specified.");
}

TEST_F(Messages, TheHResultTextIsFetchedOnceAndReleasedWithItsObject)
{
    {
        ostrel::HResultError error(Hr(0x80070005));
        const char16_t* first = error.GetHResultText();
        EXPECT_EQ(error.GetHResultText(), first);
        EXPECT_EQ(machine.CallCount("FormatMessageW"), 1U);
        EXPECT_EQ(machine.LiveAllocations(), 1U);
    }
    EXPECT_EQ(machine.LiveAllocations(), 0U);
    EXPECT_EQ(machine.CallCount("LocalFree"), 1U);
}

TEST_F(Messages, WithoutMemoryForTheFallbackTheTextIsAbsentAndMessage5HasNoInsert)
{
    machine.FailCall(sim::Fault::Every("FormatMessageW", platform::ERROR_MR_MID_NOT_FOUND));
    machine.FailCall(
        sim::Fault::On("LocalAlloc", u"64", platform::ERROR_NOT_ENOUGH_MEMORY));  // the fallback's 64 bytes
    ostrel::HResultError error(Hr(0x80040201));
    EXPECT_EQ(error.GetHResultText(), nullptr);
    EXPECT_EQ(Formatted(5, error.GetHResultText()), "Install failed.\n");
    EXPECT_EQ(machine.LiveAllocations(), 0U);
}

}  // namespace
