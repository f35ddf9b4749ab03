// Texts the system has for Win32 error codes and HRESULTs.
#include "base/error_names.h"
#include "base/numbers.h"
#include "messages/messages.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace ostrel {

namespace {

constexpr int kErrorTextUnits = 1024;  // terminator included
constexpr platform::DWORD kSystemTextFlags = platform::FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                             platform::FORMAT_MESSAGE_IGNORE_INSERTS |
                                             platform::FORMAT_MESSAGE_FROM_SYSTEM;
constexpr platform::SIZE_T kFallbackBytes = 64;
constexpr std::size_t kFallbackUnits = kFallbackBytes / sizeof(char16_t);
constexpr platform::DWORD kFirstDispatchError = 0x80040200;
constexpr platform::DWORD kLastDispatchError = 0x8004FFFF;

// The one buffer GetSystemErrorText fills; it starts out as the empty text.
char16_t ErrorTextBuffer[kErrorTextUnits];  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// Appends `text` to `out` (holding `used` units) without passing `capacity`
// units, terminator included.
void AppendBounded(char16_t* out, std::size_t& used, std::size_t capacity, const char16_t* text)
{
    for (; *text != u'\0'; ++text) {
        if (used + 1 >= capacity) break;
        out[used++] = *text;
    }
    out[used] = u'\0';
}

// The line end a system text loses before it is shown.
enum class LineEnd {
    kLineFeed,                // a final line feed alone: a carriage return before it stays
    kCarriageReturnLineFeed,  // a final line feed after some text, and the carriage return before it
};

// Cuts `lineEnd` off the end of `text` when it ends so. With
// kCarriageReturnLineFeed, a text that is a line feed and nothing else
// keeps it.
void CutLineEnd(char16_t* text, LineEnd lineEnd)
{
    const int length = platform::lstrlenW(text);
    const int shortest = lineEnd == LineEnd::kLineFeed ? 1 : 2;
    if (length < shortest || text[length - 1] != u'\n') return;
    text[length - 1] = u'\0';
    if (lineEnd == LineEnd::kCarriageReturnLineFeed && text[length - 2] == u'\r') text[length - 2] = u'\0';
}

// "IDispatch error #w" for the codes an IDispatch implementation returns
// (w counted from 0x80040200), "Unknown error 0x..." for every other one.
void WriteHResultFallback(platform::HRESULT hr, char16_t* out, std::size_t capacity)
{
    const auto code = static_cast<platform::DWORD>(hr);
    const platform::DWORD dispatchError =
        code >= kFirstDispatchError && code <= kLastDispatchError ? (code & 0xFFFF) - 0x200 : 0;
    std::size_t used = 0;
    if (dispatchError != 0) {
        AppendBounded(out, used, capacity, u"IDispatch error #");
        AppendBounded(out, used, capacity, Digits(dispatchError).c_str());
    } else {
        AppendBounded(out, used, capacity, u"Unknown error 0x");
        AppendBounded(out, used, capacity, Digits(code, 16).c_str());
    }
}

}  // namespace

const char16_t* GetSystemErrorText(platform::DWORD code)
{
    char16_t* systemText = nullptr;
    const platform::DWORD length = platform::FormatMessageW(
        kSystemTextFlags, nullptr, code, 0, reinterpret_cast<platform::LPWSTR>(&systemText), 0, nullptr);
    {
        const platform::unique_local_memory owned(systemText);
        if (length != 0 && systemText != nullptr) {
            // A text longer than the buffer is cut at its last unit.
            platform::lstrcpynW(ErrorTextBuffer, systemText, kErrorTextUnits);
            CutLineEnd(ErrorTextBuffer, LineEnd::kLineFeed);
            return ErrorTextBuffer;
        }
    }
    // No text, as for most of the Setup API's codes: the code itself, which
    // a person can look up, never an earlier error's text or nothing.
    std::size_t used = 0;
    ErrorTextBuffer[0] = u'\0';
    AppendBounded(ErrorTextBuffer, used, kErrorTextUnits, u"0x");
    AppendBounded(ErrorTextBuffer, used, kErrorTextUnits, Digits(code, 16, 8).c_str());
    ErrorNameBuffer name;
    if (ErrorName(code, name)) {
        AppendBounded(ErrorTextBuffer, used, kErrorTextUnits, u" (");
        AppendBounded(ErrorTextBuffer, used, kErrorTextUnits, name);
        AppendBounded(ErrorTextBuffer, used, kErrorTextUnits, u")");
    }
    return ErrorTextBuffer;
}

HResultError::~HResultError()
{
    if (text_ != nullptr) platform::LocalFree(text_);
}

const char16_t* HResultError::GetHResultText()
{
    if (text_ != nullptr) return text_;
    const platform::DWORD length = platform::FormatMessageW(
        kSystemTextFlags, nullptr, static_cast<platform::DWORD>(hr_), platform::LANG_NEUTRAL_DEFAULT,
        reinterpret_cast<platform::LPWSTR>(&text_), 0, nullptr);
    if (length != 0 && text_ != nullptr) {
        CutLineEnd(text_, LineEnd::kCarriageReturnLineFeed);
        return text_;
    }
    text_ = static_cast<char16_t*>(platform::LocalAlloc(platform::LMEM_FIXED, kFallbackBytes));
    if (text_ == nullptr) return nullptr;
    WriteHResultFallback(hr_, text_, kFallbackUnits);
    return text_;
}

}  // namespace ostrel
