// The module's string tables, read from the resources that the resource
// compiler made of the project's script, as the Windows build links them into
// the program, and the resource calls that serve them.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr LANGID kEnglishUs = 0x0409;
constexpr LANGID kLangNeutral = 0x0000;

constexpr LANGID PrimaryLangId(LANGID language) { return static_cast<LANGID>(language & 0x3FF); }

// --- Reading the compiled resources --------------------------------------
//
// A .res file is a sequence of entries, each on a 4-byte boundary: the data's
// size and the header's size (32-bit), the type and the name (each 0xFFFF and
// a 16-bit number, or a terminated UTF-16 name), padding to 4 bytes, the data
// version (32-bit), memory flags and language (16-bit each), version and
// characteristics (32-bit each), then the data. It starts with an empty entry.

class ResReader {
public:
    ResReader(std::vector<std::uint8_t> bytes, std::string path) : bytes_(std::move(bytes)), path_(std::move(path)) {}

    // The RT_STRING entries, by block number and language.
    std::map<std::pair<WORD, LANGID>, std::vector<std::uint8_t>> StringBlocks()
    {
        std::map<std::pair<WORD, LANGID>, std::vector<std::uint8_t>> blocks;
        for (std::size_t at = 0; at < bytes_.size(); at = Aligned(at)) {
            const std::uint32_t dataSize = Read32(at);
            const std::uint32_t headerSize = Read32(at + 4);
            std::optional<WORD> type;
            std::optional<WORD> name;
            std::size_t field = ReadNameOrId(at + 8, type);
            field = Aligned(ReadNameOrId(field, name));
            const LANGID language = Read16(field + 6);  // after the data version and the memory flags
            if (headerSize < field + 16 - at || headerSize > bytes_.size() - at ||
                dataSize > bytes_.size() - at - headerSize)
                Fail(at, "entry");
            const auto data = bytes_.begin() + static_cast<std::ptrdiff_t>(at + headerSize);
            if (type == RT_STRING_ID) {
                if (!name ||
                    !blocks.emplace(std::make_pair(*name, language), std::vector<std::uint8_t>(data, data + dataSize))
                         .second)
                    Fail(at, "string block");
            }
            at += headerSize + dataSize;
        }
        return blocks;
    }

private:
    static std::size_t Aligned(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

    [[noreturn]] void Fail(std::size_t at, const char* what) const
    {
        throw std::runtime_error(path_ + ": a malformed " + what + " at byte " + std::to_string(at));
    }

    WORD Read16(std::size_t at) const
    {
        if (at + 2 > bytes_.size()) Fail(at, "header");
        return static_cast<WORD>(bytes_[at] | (bytes_[at + 1] << 8));
    }
    std::uint32_t Read32(std::size_t at) const
    {
        return Read16(at) | (static_cast<std::uint32_t>(Read16(at + 2)) << 16);
    }
    // A number (`id`), or a name, which is read past (`id` stays empty).
    std::size_t ReadNameOrId(std::size_t at, std::optional<WORD>& id) const
    {
        if (Read16(at) == 0xFFFF) {
            id = Read16(at + 2);
            return at + 4;
        }
        while (Read16(at) != 0) at += 2;
        return at + 2;
    }

    std::vector<std::uint8_t> bytes_;
    std::string path_;
};

// --- Serving the blocks ----------------------------------------------------

using BlockEntry = std::map<std::pair<WORD, LANGID>, std::vector<std::uint8_t>>::value_type;

std::optional<WORD> ResourceId(LPCWSTR name)
{
    if (name == nullptr) return std::nullopt;
    if (IsIntResource(name)) return IntResourceId(name);
    if (name[0] != u'#' || name[1] == 0) return std::nullopt;
    unsigned long value = 0;
    for (const char16_t* c = name + 1; *c != 0; ++c) {
        if (*c < u'0' || *c > u'9') return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(*c - u'0');
        if (value > 0xFFFF) return std::nullopt;
    }
    return static_cast<WORD>(value);
}

std::u16string ResourceNameText(LPCWSTR name)
{
    if (name != nullptr && IsIntResource(name)) return u"#" + Number(IntResourceId(name));
    return Text(name);
}

BlockEntry* FindBlock(Machine& m, WORD block, LANGID language)
{
    const auto it = m.stringBlocks.find({block, language});
    return it == m.stringBlocks.end() ? nullptr : &*it;
}

// The language-neutral lookup of Windows Vista and later: a neutral block,
// then the UI language (not the thread locale) and its primary language,
// then English (United States), then whichever language the block has
// first. The block exists.
BlockEntry* NeutralLookup(Machine& m, WORD block)
{
    const LANGID ui = m.uiLanguage;
    for (LANGID language : {kLangNeutral, ui, PrimaryLangId(ui), kEnglishUs}) {
        if (BlockEntry* entry = FindBlock(m, block, language)) return entry;
    }
    return &*m.stringBlocks.lower_bound({block, 0});
}

bool HasBlock(const Machine& m, WORD block)
{
    const auto it = m.stringBlocks.lower_bound({block, 0});
    return it != m.stringBlocks.end() && it->first.first == block;
}

BlockEntry* KnownBlock(Machine& m, const void* resource)
{
    const auto it = std::find_if(m.stringBlocks.begin(), m.stringBlocks.end(),
                                 [resource](const BlockEntry& entry) { return &entry == resource; });
    return it == m.stringBlocks.end() ? nullptr : &*it;
}

// How the call log shows a resource or its loaded data.
std::u16string ResourceText(const Machine& m, const void* resource)
{
    if (resource == nullptr) return u"(null)";
    const auto it = std::find_if(m.stringBlocks.begin(), m.stringBlocks.end(), [resource](const BlockEntry& entry) {
        return &entry == resource || entry.second.data() == resource;
    });
    if (it == m.stringBlocks.end()) return u"(bad resource)";
    return u"string block " + Number(it->first.first) + u" " + Hex(it->first.second);
}

// The checks FindResourceW and FindResourceExW share. The sim serves the
// program's own module only, and that only has string tables.
std::optional<WORD> StringBlockNumber(Machine& m, HMODULE module, LPCWSTR name, LPCWSTR type)
{
    if (module != nullptr) return m.Fail(ERROR_RESOURCE_DATA_NOT_FOUND, std::nullopt);
    const std::optional<WORD> typeId = ResourceId(type);
    if (!typeId || *typeId != RT_STRING_ID) return m.Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, std::nullopt);
    const std::optional<WORD> block = ResourceId(name);
    if (!block || !HasBlock(m, *block)) return m.Fail(ERROR_RESOURCE_NAME_NOT_FOUND, std::nullopt);
    return block;
}

}  // namespace

void Machine::LoadStringTables(const std::string& resPath)
{
    std::ifstream file(resPath, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read the compiled resources " + resPath);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    stringBlocks = ResReader(std::move(bytes), resPath).StringBlocks();
}

}  // namespace sim

namespace platform {

using sim::Machine;

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    Machine& m = Machine::Current();
    if (m.Enter("FindResourceW", [&] {
            return sim::Arguments{m.handles.Label(module), sim::ResourceNameText(name), sim::ResourceNameText(type)};
        }))
        return nullptr;
    const std::optional<WORD> block = sim::StringBlockNumber(m, module, name, type);
    if (!block) return nullptr;
    return sim::NeutralLookup(m, *block);
}

// A given language: that language, then its primary language alone, then the
// neutral language; no other fallback. The neutral language itself asks for
// the language-neutral lookup.
HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    Machine& m = Machine::Current();
    if (m.Enter("FindResourceExW", [&] {
            return sim::Arguments{m.handles.Label(module), sim::ResourceNameText(type), sim::ResourceNameText(name),
                                  sim::Hex(language)};
        }))
        return nullptr;
    const std::optional<WORD> block = sim::StringBlockNumber(m, module, name, type);
    if (!block) return nullptr;
    if (sim::PrimaryLangId(language) == sim::kLangNeutral) return sim::NeutralLookup(m, *block);
    for (LANGID candidate : {language, sim::PrimaryLangId(language), sim::kLangNeutral}) {
        if (sim::BlockEntry* entry = sim::FindBlock(m, *block, candidate)) return entry;
    }
    return m.Fail(ERROR_RESOURCE_LANG_NOT_FOUND, nullptr);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource)
{
    Machine& m = Machine::Current();
    if (m.Enter("LoadResource", [&] {
            return sim::Arguments{m.handles.Label(module), sim::ResourceText(m, resource)};
        }))
        return nullptr;
    if (resource == nullptr) return nullptr;
    sim::BlockEntry* entry = sim::KnownBlock(m, resource);
    if (module != nullptr || entry == nullptr) {
        return m.Fail(module != nullptr ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_INVALID_HANDLE, nullptr);
    }
    return entry->second.data();
}

// Resources are mapped with the image: locking only hands the address back.
void* LockResource(HGLOBAL resource)
{
    Machine& m = Machine::Current();
    if (m.Enter("LockResource", [&] { return sim::Arguments{sim::ResourceText(m, resource)}; })) return nullptr;
    return resource;
}

DWORD SizeofResource(HMODULE module, HRSRC resource)
{
    Machine& m = Machine::Current();
    if (m.Enter("SizeofResource", [&] {
            return sim::Arguments{m.handles.Label(module), sim::ResourceText(m, resource)};
        }))
        return 0;
    if (resource == nullptr) return 0;
    const sim::BlockEntry* entry = sim::KnownBlock(m, resource);
    if (module != nullptr || entry == nullptr) {
        return m.Fail(module != nullptr ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_INVALID_HANDLE, 0);
    }
    return static_cast<DWORD>(entry->second.size());
}

}  // namespace platform
