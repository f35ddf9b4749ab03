#include "run/run_log.h"

#include "base/numbers.h"
#include "platform/last_error.h"
#include "platform/platform.h"
#include "run/output.h"

namespace ostrel {

namespace {

// As wide as a timestamp and its blank, so continuation lines line up.
constexpr char16_t kContinuation[] = u"                        ";

}  // namespace

// Appending through FILE_APPEND_DATA alone puts every write at the end of
// the file, also when another run writes to the same log at the same time.
Result RunLog::Open(const char16_t* path)
{
    file_.reset(platform::CreateFileW(path, platform::FILE_APPEND_DATA,
                                      platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE, nullptr,
                                      platform::OPEN_ALWAYS, platform::FILE_ATTRIBUTE_NORMAL, nullptr));
    return IsOpen() ? Result::Done() : Result::LastError();
}

void RunLog::Line(const char16_t* text)
{
    if (!IsOpen()) return;
    const platform::last_error_guard kept;
    platform::SYSTEMTIME now{};
    platform::GetLocalTime(&now);
    Text stamp;
    AppendTimestamp(stamp, now);
    {
        UnitWriter writer(file_.get(), false);
        writer.Put(stamp.c_str());
        writer.Put(u' ');
        writer.PutLines(text, kContinuation);
        writer.Put(u"\r\n");
    }
}

void AppendTimestamp(Text& text, const platform::SYSTEMTIME& time)
{
    AppendNumber(text, time.wYear, 4);
    text.append(u'-');
    AppendNumber(text, time.wMonth, 2);
    text.append(u'-');
    AppendNumber(text, time.wDay, 2);
    text.append(u' ');
    AppendNumber(text, time.wHour, 2);
    text.append(u':');
    AppendNumber(text, time.wMinute, 2);
    text.append(u':');
    AppendNumber(text, time.wSecond, 2);
    text.append(u'.');
    AppendNumber(text, time.wMilliseconds, 3);
}

}  // namespace ostrel
