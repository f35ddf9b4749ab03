// The catalogue: finding a text in the string tables and filling in its
// placeholders.
#include <cstring>

#include "messages/messages.h"
#include "platform/platform.h"

namespace ostrel {

namespace {

constexpr unsigned kEntriesPerBlock = 16;
constexpr unsigned kLastStringId = 0xFFFF;  // string IDs are 16-bit
constexpr char16_t kPercent = u'%';
constexpr char16_t kUnknownInsert[] = u"?";

char16_t ReadUnit(const unsigned char* bytes, std::size_t offset)
{
    char16_t unit = 0;
    std::memcpy(&unit, bytes + offset, sizeof unit);
    return unit;
}

// The block in the thread's language when the module has one, else the one
// Windows picks. Windows Vista and later ignore the thread locale in the
// language-neutral lookup, so that alone would never honour "/de".
platform::HRSRC FindStringBlock(unsigned id)
{
    const auto blockName = platform::MakeIntResource(static_cast<platform::WORD>(id / kEntriesPerBlock + 1));
    const auto stringType = platform::MakeIntResource(platform::RT_STRING_ID);
    const platform::LANGID language = platform::LANGIDFROMLCID(platform::GetThreadLocale());
    platform::HRSRC block = platform::FindResourceExW(nullptr, stringType, blockName, language);
    if (block == nullptr) block = platform::FindResourceW(nullptr, blockName, stringType);
    return block;
}

// Index of the placeholder "%" + `c`, or -1 when `c` makes none.
int PlaceholderIndex(char16_t c)
{
    if (c >= u'1' && c <= u'9') return c - u'1';
    if (c >= u'A' && c <= u'Z') return 9 + (c - u'A');
    return -1;
}

// Walks `text` once and hands each piece of the result to `emit`, so that
// measuring and filling follow the same rules.
template <typename Emit>
void ForEachPiece(const Text& text, const char16_t* const* inserts, unsigned insertCount, Emit emit)
{
    const char16_t* units = text.c_str();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int index = units[i] == kPercent && i + 1 < text.size() ? PlaceholderIndex(units[i + 1]) : -1;
        if (index < 0) {
            emit(&units[i], 1);
            continue;
        }
        ++i;
        if (static_cast<unsigned>(index) >= insertCount) {
            emit(kUnknownInsert, 1);
        } else if (const char16_t* insert = inserts[index]) {
            emit(insert, TextLength(insert));
        }
    }
}

// The block's units need not be aligned for char16_t, so they are read one
// by one into room made for all of them.
bool CopyUnits(const unsigned char* bytes, std::size_t count, Text& text)
{
    if (!text.reserve(count)) {
        text.clear();
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) text.append(ReadUnit(bytes, i * sizeof(char16_t)));
    return true;
}

}  // namespace

bool ReadStringTableEntry(const void* block, platform::DWORD size, unsigned entry, Text& text)
{
    text.clear();
    if (block == nullptr) return false;
    const auto* bytes = static_cast<const unsigned char*>(block);
    std::size_t offset = 0;
    for (unsigned current = 0;; ++current) {
        if (size - offset < sizeof(char16_t)) return false;
        const std::size_t count = ReadUnit(bytes, offset);
        offset += sizeof(char16_t);
        if (count > (size - offset) / sizeof(char16_t)) return false;
        if (current == entry) return count != 0 && CopyUnits(bytes + offset, count, text);
        offset += count * sizeof(char16_t);
    }
}

bool LoadCatalogueText(unsigned id, Text& text)
{
    text.clear();
    if (id > kLastStringId) return false;
    const platform::HRSRC block = FindStringBlock(id);
    if (block == nullptr) return false;
    const platform::HGLOBAL loaded = platform::LoadResource(nullptr, block);
    if (loaded == nullptr) return false;
    const void* data = platform::LockResource(loaded);
    if (data == nullptr) return false;
    const platform::DWORD size = platform::SizeofResource(nullptr, block);
    return ReadStringTableEntry(data, size, id % kEntriesPerBlock, text);
}

// The length is measured first, so that the room for the whole result is
// had at once or not at all: never a half-filled text. A sum that would
// overflow stays at its largest value, which no memory can hold.
void FillPlaceholders(Text& result, const Text& text, const char16_t* const* inserts, unsigned insertCount)
{
    if (inserts == nullptr) insertCount = 0;
    constexpr std::size_t kLargest = static_cast<std::size_t>(-1);
    std::size_t length = result.size();
    ForEachPiece(text, inserts, insertCount, [&length](const char16_t*, std::size_t count) {
        length = count > kLargest - length ? kLargest : length + count;
    });
    if (!result.reserve(length)) return;
    ForEachPiece(text, inserts, insertCount,
                 [&result](const char16_t* piece, std::size_t count) { result.append(piece, count); });
}

void FormatCatalogueMessage(Text& result, unsigned id, const char16_t* const* inserts, unsigned insertCount)
{
    Text text;
    if (!LoadCatalogueText(id, text)) return;
    FillPlaceholders(result, text, inserts, insertCount);
}

void FormatCatalogueMessage(Text& result, unsigned id, const char16_t* insert)
{
    FormatCatalogueMessage(result, id, &insert, 1);
}

}  // namespace ostrel
