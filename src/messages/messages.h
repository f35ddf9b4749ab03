// The message catalogue, the message-box layer and error reports.
//
// Everything OstrelSetup tells its user is a message: a box, or in a quiet
// run an entry on the standard error handle. Catalogue texts are
// string resources 2 to 44 and 50 to 59 in English (1033) and German (Austria, 3079),
// picked by the thread locale that "/de" and "/en" set.
#pragma once

#include "base/result.h"
#include "base/text.h"
#include "platform/win32_types.h"
#include "run/run_context.h"

namespace ostrel {

// Catalogue numbers, as the string tables hold them.
enum MessageId : unsigned {
    kMsgHardwareIdMissing = 2,
    kMsgServiceNameMissing = 3,
    kMsgSectionNameMissing = 4,
    kMsgInstallFailed = 5,
    kMsgInvalidCommandLine = 6,
    kMsgRebootRequired = 7,
    kMsgClassGuidMissing = 8,
    kMsgLoadNewDevFailed = 9,
    kMsgUpdateFunctionNotFound = 10,
    kMsgGetInfClassFailed = 11,
    kMsgCreateDeviceInfoListFailed = 12,
    kMsgCreateDeviceInfoFailed = 13,
    kMsgAddHardwareIdFailed = 14,
    kMsgRegisterDeviceFailed = 15,
    kMsgUpdateDriverFailed = 16,
    kMsgGetClassDevicesFailed = 17,
    kMsgSetClassInstallParamsFailed = 18,
    kMsgRemoveDeviceFailed = 19,
    kMsgScanDevicesFailed = 20,
    kMsgDisableDeviceFailed = 21,
    kMsgEnableDeviceFailed = 22,
    kMsgOpenInfFailed = 23,
    kMsgOpenFileQueueFailed = 24,
    kMsgInstallFilesFailed = 25,
    kMsgCommitQueueFailed = 26,
    kMsgInstallSectionFailed = 27,
    kMsgOpenScManagerFailed = 28,
    kMsgOpenServiceFailed = 29,
    kMsgStartServiceFailed = 30,
    kMsgStopServiceFailed = 31,
    kMsgDeleteServiceFailed = 32,
    kMsgNewerDriverExists = 33,
    kMsgOpenLogFailed = 34,
    kMsgDevicesNeed64BitProgram = 35,
    kMsgStart64BitProgramFailed = 36,
    kMsgRemoveNewDeviceFailed = 37,
    kMsgInstallationsPending = 38,
    kMsgNoReasonGiven = 39,
    kMsgStartNotCompleted = 40,
    kMsgStopNotCompleted = 41,
    kMsgQueryServiceFailed = 42,
    kMsgLogIsARunFile = 43,
    kMsgWriteLogFailed = 44,
    kMsgAddDriverFailed = 50,
    kMsgLookUpDriverFailed = 51,
    kMsgDeleteDriverFailed = 52,
    kMsgDriverInUse = 53,
    kMsgRestartDeviceFailed = 54,
    kMsgRescanFailed = 55,
    kMsgQueryDevices = 56,
    kMsgQueryNoDevice = 57,
    kMsgQueryMore = 58,
    // The words of a device query's box, one a line (QueryWord).
    kMsgQueryWords = 59,
};

// The catalogue text for `id` in the active language; false (and an empty
// text) when there is none, or no memory for it.
bool LoadCatalogueText(unsigned id, Text& text);

// One entry (0 to 15) of a string-table block of `size` bytes: false (and an
// empty text) when the entry has no text (a count of 0), would run past the
// block, or finds no memory.
bool ReadStringTableEntry(const void* block, platform::DWORD size, unsigned entry, Text& text);

// Appends `text` with its placeholders filled: "%1".."%9" and "%A".."%Z" are
// inserts 0 to 34; one from `insertCount` on becomes "?", an absent (null)
// insert nothing; any other "%" is an ordinary character. The whole filled
// text or nothing: without memory for all of it, `result` is left as it was
// and marked failed.
void FillPlaceholders(Text& result, const Text& text, const char16_t* const* inserts, unsigned insertCount);

// Appends the text for `id` with its placeholders filled from `inserts`
// (each may be null) to `result`; leaves `result` alone when there is no text.
void FormatCatalogueMessage(Text& result, unsigned id, const char16_t* const* inserts, unsigned insertCount);
void FormatCatalogueMessage(Text& result, unsigned id, const char16_t* insert);

// A message of the run: a box, or an entry on the standard error handle in
// a quiet run, and a line in the log. A type without icon bits gets the
// default icon of its buttons. Returns the box's answer.
int ShowMessage(RunContext& run, const char16_t* text, platform::UINT type);
int ShowCatalogueMessage(RunContext& run, unsigned id, platform::UINT type);

// The reporter: shows a failure (a box, or an entry on the standard error
// handle in a quiet run) with the error icon, logs it and records its error
// as the run's outcome (the first failure decides). Each does so once: a
// failure already reported, or a result that is no failure, comes back
// untouched. Each returns the failure, marked as reported.
//
// Report: the catalogue text with its inserts, a line feed and the system's
// text for the failure's error (kMsgNoReasonGiven for a call that left no
// error code, never the system's text for "success"). The log entry of every
// report carries the code in hexadecimal and decimal and its name.
Result Report(RunContext& run, Result failure, unsigned id, const char16_t* insert1 = nullptr,
              const char16_t* insert2 = nullptr);
// The catalogue text alone: a refused command line, an INF file without a
// class GUID.
Result ReportAlone(RunContext& run, Result failure, unsigned id);
// A text the caller composed.
Result ReportText(RunContext& run, Result failure, const char16_t* text);

// The system's text for a Win32 error code, in the one static
// ErrorTextBuffer (1024 code units), without its final line feed (a
// carriage return before it stays). Where the system has none, the code in
// hexadecimal and its name when it has one: "0xE000020B (ERROR_NO_SUCH_DEVINST)".
const char16_t* GetSystemErrorText(platform::DWORD code);

// An HRESULT and, once asked for, its text (the system's, or a fallback).
class HResultError {
public:
    explicit HResultError(platform::HRESULT hr) noexcept : hr_(hr) {}
    HResultError(const HResultError&) = delete;
    HResultError& operator=(const HResultError&) = delete;
    ~HResultError();

    platform::HRESULT Error() const noexcept { return hr_; }
    // Null only when no memory could be had for the fallback text.
    const char16_t* GetHResultText();

private:
    platform::HRESULT hr_;
    void* errorInfo_ = nullptr;  // never set: no error-information interface
    char16_t* text_ = nullptr;   // LocalAlloc'ed, by the system or by us
};

}  // namespace ostrel
