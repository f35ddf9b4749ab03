// The module's string tables, read from the same resource script that the
// Windows build compiles, and the resource calls that serve them.
//
// The reader understands the part of the resource-script language that a
// string table needs (comments, "#pragma code_page(65001)", LANGUAGE,
// STRINGTABLE with its optional statements, numbered strings with the escapes
// the resource compiler knows). Anything else is refused loudly: a table that
// the sim read differently from the resource compiler would make every host
// test check the wrong texts.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace sim {

namespace {

constexpr LANGID kEnglishUs = 0x0409;
constexpr LANGID kLangNeutral = 0x0000;
constexpr unsigned kEntriesPerBlock = 16;

constexpr LANGID MakeLangId(unsigned primary, unsigned sub) { return static_cast<LANGID>((sub << 10) | primary); }
constexpr LANGID PrimaryLangId(LANGID language) { return static_cast<LANGID>(language & 0x3FF); }

// --- Reading the resource script -------------------------------------------

struct Token {
    enum Kind { kEnd, kWord, kNumber, kString, kComma, kOpen, kClose } kind = kEnd;
    std::string text;  // word, or the string's UTF-8 after its escapes
    unsigned long number = 0;
};

class ScriptReader {
public:
    ScriptReader(std::string source, std::string path) : source_(std::move(source)), path_(std::move(path)) {}

    Token Next()
    {
        SkipBlanksAndComments();
        if (pos_ >= source_.size()) return Token{};
        const char c = source_[pos_];
        if (c == '#') return Directive();
        if (c == '"') return String();
        if (c == ',') return Single(Token::kComma);
        if (c == '{') return Single(Token::kOpen);
        if (c == '}') return Single(Token::kClose);
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) return Number();
        if (std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_') return Word();
        Fail(std::string("unexpected character '") + c + "'");
    }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw std::runtime_error(path_ + ":" + std::to_string(line_) + ": " + what);
    }

private:
    void SkipBlanksAndComments()
    {
        while (pos_ < source_.size()) {
            const char c = source_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (source_.compare(pos_, 2, "//") == 0) {
                while (pos_ < source_.size() && source_[pos_] != '\n') ++pos_;
            } else if (source_.compare(pos_, 2, "/*") == 0) {
                SkipBlockComment();
            } else {
                return;
            }
        }
    }

    void SkipBlockComment()
    {
        const std::size_t end = source_.find("*/", pos_ + 2);
        if (end == std::string::npos) Fail("unterminated comment");
        for (std::size_t i = pos_; i < end; ++i)
            if (source_[i] == '\n') ++line_;
        pos_ = end + 2;
    }

    // Only the code-page pragma: the text is UTF-8 and the resource compiler
    // must be told so, or it reads the umlauts as Windows-1252.
    Token Directive()
    {
        std::size_t end = source_.find('\n', pos_);
        if (end == std::string::npos) end = source_.size();
        std::string line = source_.substr(pos_, end - pos_);
        line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; }),
                   line.end());
        if (line != "#pragmacode_page(65001)") Fail("only #pragma code_page(65001) is understood");
        utf8_ = true;
        pos_ = end;
        return Next();
    }

    Token Single(Token::Kind kind)
    {
        ++pos_;
        Token token;
        token.kind = kind;
        return token;
    }

    // Decimal, or hexadecimal after "0x". A leading zero is refused, since
    // resource compilers disagree on whether it means octal.
    Token Number()
    {
        const std::size_t start = pos_;
        while (pos_ < source_.size() && std::isalnum(static_cast<unsigned char>(source_[pos_])) != 0) ++pos_;
        const std::string digits = source_.substr(start, pos_ - start);
        const bool hex = digits.size() > 2 && (digits[1] == 'x' || digits[1] == 'X') && digits[0] == '0';
        const std::string body = hex ? digits.substr(2) : digits;
        const bool valid = !body.empty() && body.size() <= 8 && (hex || digits == "0" || digits[0] != '0') &&
                           body.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") == std::string::npos;
        if (!valid) Fail("malformed number '" + digits + "'");
        Token token;
        token.kind = Token::kNumber;
        token.number = std::stoul(body, nullptr, hex ? 16 : 10);
        return token;
    }

    Token Word()
    {
        const std::size_t start = pos_;
        while (pos_ < source_.size() &&
               (std::isalnum(static_cast<unsigned char>(source_[pos_])) != 0 || source_[pos_] == '_'))
            ++pos_;
        Token token;
        token.kind = Token::kWord;
        token.text = source_.substr(start, pos_ - start);
        if (token.text == "BEGIN") token.kind = Token::kOpen;
        if (token.text == "END") token.kind = Token::kClose;
        return token;
    }

    Token String()
    {
        Token token;
        token.kind = Token::kString;
        ++pos_;
        for (;;) {
            if (pos_ >= source_.size() || source_[pos_] == '\n') Fail("unterminated string");
            const char c = source_[pos_++];
            if (c == '"') {
                if (pos_ < source_.size() && source_[pos_] == '"') {
                    token.text.push_back('"');
                    ++pos_;
                    continue;
                }
                return token;
            }
            if (c == '\\') {
                token.text.push_back(Escape());
                continue;
            }
            if ((static_cast<unsigned char>(c) & 0x80) != 0 && !utf8_)
                Fail("non-ASCII text without #pragma code_page(65001)");
            token.text.push_back(c);
        }
    }

    char Escape()
    {
        if (pos_ >= source_.size()) Fail("unterminated string");
        switch (source_[pos_++]) {
            case 'n': return '\n';
            case 'r': return '\r';
            case 't': return '\t';
            case '\\': return '\\';
            case '"': return '"';
            default: Fail("escape the sim does not read the way the resource compiler does");
        }
    }

    std::string source_;
    std::string path_;
    std::size_t pos_ = 0;
    unsigned line_ = 1;
    bool utf8_ = false;
};

// The texts of one language, by string ID.
using StringTable = std::map<LANGID, std::map<WORD, std::u16string>>;

class ScriptParser {
public:
    explicit ScriptParser(ScriptReader& reader) : reader_(reader) {}

    StringTable Parse()
    {
        for (Token token = reader_.Next(); token.kind != Token::kEnd; token = reader_.Next()) {
            if (IsWord(token, "LANGUAGE")) {
                language_ = LanguageArguments();
            } else if (IsWord(token, "STRINGTABLE")) {
                StringTableResource();
            } else {
                reader_.Fail("only LANGUAGE and STRINGTABLE are understood, not '" + token.text + "'");
            }
        }
        return std::move(table_);
    }

private:
    static bool IsWord(const Token& token, const char* word)
    {
        return token.kind == Token::kWord && token.text == word;
    }

    unsigned long Expect(Token::Kind kind, const char* what)
    {
        const Token token = reader_.Next();
        if (token.kind != kind) reader_.Fail(std::string("expected ") + what);
        return token.number;
    }

    LANGID LanguageArguments()
    {
        const unsigned long primary = Expect(Token::kNumber, "a primary language");
        Expect(Token::kComma, "','");
        const unsigned long sub = Expect(Token::kNumber, "a sublanguage");
        if (primary > 0x3FF || sub > 0x3F) reader_.Fail("language out of range");
        return MakeLangId(static_cast<unsigned>(primary), static_cast<unsigned>(sub));
    }

    // STRINGTABLE [memory options] [LANGUAGE p, s | CHARACTERISTICS n | VERSION n]... BEGIN entries END
    void StringTableResource()
    {
        LANGID language = language_;
        Token token = reader_.Next();
        for (; token.kind == Token::kWord; token = reader_.Next()) {
            if (token.text == "LANGUAGE") {
                language = LanguageArguments();
            } else if (token.text == "CHARACTERISTICS" || token.text == "VERSION") {
                Expect(Token::kNumber, "a number");
            } else if (token.text != "DISCARDABLE" && token.text != "PURE" && token.text != "MOVEABLE" &&
                       token.text != "PRELOAD" && token.text != "LOADONCALL" && token.text != "IMPURE" &&
                       token.text != "FIXED") {
                reader_.Fail("unknown STRINGTABLE option '" + token.text + "'");
            }
        }
        if (token.kind != Token::kOpen) reader_.Fail("expected BEGIN");
        for (token = reader_.Next(); token.kind != Token::kClose; token = reader_.Next()) Entry(token, language);
    }

    void Entry(const Token& idToken, LANGID language)
    {
        if (idToken.kind != Token::kNumber || idToken.number > 0xFFFF) reader_.Fail("expected a string ID");
        Token text = reader_.Next();
        if (text.kind == Token::kComma) text = reader_.Next();
        if (text.kind != Token::kString) reader_.Fail("expected a string");
        const auto id = static_cast<WORD>(idToken.number);
        if (!table_[language].emplace(id, U16(text.text)).second)
            reader_.Fail("string " + std::to_string(id) + " given twice in one language");
    }

    ScriptReader& reader_;
    LANGID language_ = kEnglishUs;  // the resource compiler's default
    StringTable table_;
};

void AppendUnit(std::vector<std::uint8_t>& block, char16_t unit)
{
    block.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    block.push_back(static_cast<std::uint8_t>(unit >> 8));
}

// A block holds all sixteen entries, each a count and that many code units,
// with no terminator; an entry without text (or with the empty text) is a
// count of 0.
std::vector<std::uint8_t> BuildBlock(const std::map<WORD, std::u16string>& texts, unsigned blockNumber)
{
    std::vector<std::uint8_t> block;
    for (unsigned entry = 0; entry < kEntriesPerBlock; ++entry) {
        const auto it = texts.find(static_cast<WORD>((blockNumber - 1) * kEntriesPerBlock + entry));
        const std::u16string text = it == texts.end() ? std::u16string() : it->second;
        AppendUnit(block, static_cast<char16_t>(text.size()));
        for (char16_t unit : text) AppendUnit(block, unit);
    }
    return block;
}

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

void Machine::LoadStringTableSource(const std::string& rcPath)
{
    std::ifstream file(rcPath, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read the string table source " + rcPath);
    std::ostringstream source;
    source << file.rdbuf();
    ScriptReader reader(source.str(), rcPath);
    const StringTable table = ScriptParser(reader).Parse();

    stringBlocks.clear();
    for (const auto& [language, texts] : table) {
        std::set<unsigned> blocks;
        for (const auto& [id, text] : texts) blocks.insert(id / kEntriesPerBlock + 1U);
        for (unsigned block : blocks) stringBlocks[{static_cast<WORD>(block), language}] = BuildBlock(texts, block);
    }
}

}  // namespace sim

namespace platform {

using sim::Machine;

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    Machine& m = Machine::Current();
    if (m.Enter("FindResourceW", {m.handles.Label(module), sim::ResourceNameText(name), sim::ResourceNameText(type)}))
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
    if (m.Enter("FindResourceExW", {m.handles.Label(module), sim::ResourceNameText(type), sim::ResourceNameText(name),
                                    sim::Hex(language)}))
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
    if (m.Enter("LoadResource", {m.handles.Label(module), sim::ResourceText(m, resource)})) return nullptr;
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
    if (m.Enter("LockResource", {sim::ResourceText(m, resource)})) return nullptr;
    return resource;
}

DWORD SizeofResource(HMODULE module, HRSRC resource)
{
    Machine& m = Machine::Current();
    if (m.Enter("SizeofResource", {m.handles.Label(module), sim::ResourceText(m, resource)})) return 0;
    if (resource == nullptr) return 0;
    const sim::BlockEntry* entry = sim::KnownBlock(m, resource);
    if (module != nullptr || entry == nullptr) {
        return m.Fail(module != nullptr ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_INVALID_HANDLE, 0);
    }
    return static_cast<DWORD>(entry->second.size());
}

}  // namespace platform
