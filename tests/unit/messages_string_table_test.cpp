// The simulated machine must serve exactly the string-table blocks that the
// resource compiler puts into the executable, so that the host tests read
// what Windows will read. These tests compile the same source with the
// resource compiler and compare, byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/machine.h"

namespace {

using Blocks = std::map<std::pair<platform::WORD, platform::LANGID>, std::vector<std::uint8_t>>;

// Scratch files carry the process id: ctest runs each test in its own
// process, possibly several at once.
std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "ostrel_msg_" + std::to_string(::getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::uint32_t Read32(const std::vector<std::uint8_t>& d, std::size_t at)
{
    return d.at(at) | (d.at(at + 1) << 8) | (d.at(at + 2) << 16) | (static_cast<std::uint32_t>(d.at(at + 3)) << 24);
}
std::uint16_t Read16(const std::vector<std::uint8_t>& d, std::size_t at)
{
    return static_cast<std::uint16_t>(d.at(at) | (d.at(at + 1) << 8));
}

// A type or name in a .res header: 0xFFFF and a number, or a string (which
// string tables never use; it is read past and reported as 0).
std::size_t ReadNameOrId(const std::vector<std::uint8_t>& d, std::size_t at, std::uint16_t& id)
{
    if (Read16(d, at) == 0xFFFF) {
        id = Read16(d, at + 2);
        return at + 4;
    }
    id = 0;
    while (Read16(d, at) != 0) at += 2;
    return at + 2;
}

// The RT_STRING resources of a compiled .res file.
Blocks StringBlocksOf(const std::vector<std::uint8_t>& res)
{
    Blocks blocks;
    std::size_t at = 0;
    while (at + 8 <= res.size()) {
        const std::uint32_t dataSize = Read32(res, at);
        const std::uint32_t headerSize = Read32(res, at + 4);
        std::uint16_t type = 0;
        std::uint16_t name = 0;
        std::size_t field = ReadNameOrId(res, at + 8, type);
        field = ReadNameOrId(res, field, name);
        field = (field + 3) & ~std::size_t{3};
        const std::uint16_t language = Read16(res, field + 6);  // after DataVersion and MemoryFlags
        if (type == platform::RT_STRING_ID) {
            const auto data = res.begin() + static_cast<std::ptrdiff_t>(at + headerSize);
            blocks[{name, language}] = std::vector<std::uint8_t>(data, data + dataSize);
        }
        at = (at + headerSize + dataSize + 3) & ~std::size_t{3};
    }
    return blocks;
}

class StringTableParity : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(OSTREL_WINDRES).empty()) GTEST_SKIP() << "no resource compiler (windres) was found";
    }

    Blocks Compile(const std::string& rcPath, const std::string& name)
    {
        const std::string resPath = TempPath(name + ".res");
        const std::string logPath = TempPath(name + ".log");
        const std::string command = std::string("\"") + OSTREL_WINDRES + "\" \"" + rcPath + "\" -O res -o \"" +
                                    resPath + "\" 2>\"" + logPath + "\"";
        if (std::system(command.c_str()) != 0) {
            const std::vector<std::uint8_t> log = ReadFile(logPath);
            throw std::runtime_error(command + ":\n" + std::string(log.begin(), log.end()));
        }
        return StringBlocksOf(ReadFile(resPath));
    }

    Blocks SimBlocks(const std::string& rcPath)
    {
        machine.LoadStringTableSource(rcPath);
        return machine.stringBlocks;
    }

    sim::Machine machine;
};

TEST_F(StringTableParity, TheCatalogueIsServedExactlyAsTheResourceCompilerBuildsIt)
{
    const Blocks compiled = Compile(OSTREL_STRING_TABLE_SOURCE, "catalogue");
    ASSERT_EQ(compiled.size(), 6U) << "three blocks in each of two languages";
    EXPECT_EQ(machine.stringBlocks, compiled);  // the machine read the same file when it was built
}

// Everything the reader claims to understand, in one script: comments, a
// global and a per-table language, memory options, hexadecimal IDs, a comma
// after an ID, gaps inside and between blocks, escapes, the empty text and
// non-ASCII text.
TEST_F(StringTableParity, EveryConstructTheReaderAcceptsMatchesTheResourceCompiler)
{
    const std::string rcPath = TempPath("constructs.rc");
    WriteFile(rcPath,
              "/* block\n comment */\n"
              "#pragma code_page(65001)\n"
              "STRINGTABLE DISCARDABLE\n"
              "BEGIN\n"
              "  0 \"zero\"  // first of block 1\n"
              "  15, \"last of block 1\"\n"
              "  0x20 \"tab\\there, quote \"\"q\"\" \\\"e\\\" back\\\\slash\\r\\n\"\n"
              "END\n"
              "LANGUAGE 0x07, 0x03\n"
              "STRINGTABLE\n"
              "{\n"
              "  16 \"\xC3\x9C"
              "ber \xE2\x82\xAC \xF0\x9F\x98\x80\"\n"
              "  17 \"\"\n"
              "  65535 \"last ID\"\n"
              "}\n"
              "STRINGTABLE\n"
              "LANGUAGE 0x0C, 0x01\n"
              "BEGIN\n"
              "  16 \"fran\xC3\xA7"
              "ais\"\n"
              "END\n");
    const Blocks compiled = Compile(rcPath, "constructs");
    ASSERT_FALSE(compiled.empty());
    EXPECT_EQ(SimBlocks(rcPath), compiled);
}

// The reader refuses what it would not read as the resource compiler does,
// and leaves the machine's tables as they were.
struct RefusedScript {
    const char* what;
    const char* script;
};

class StringTableRefusals : public ::testing::TestWithParam<RefusedScript> {
protected:
    sim::Machine machine;
};

TEST_P(StringTableRefusals, AreRefusedAndChangeNothing)
{
    const std::string rcPath = TempPath("refused.rc");
    WriteFile(rcPath, GetParam().script);
    const Blocks before = machine.stringBlocks;
    EXPECT_THROW(machine.LoadStringTableSource(rcPath), std::runtime_error);
    EXPECT_EQ(machine.stringBlocks, before);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, StringTableRefusals,
    ::testing::Values(RefusedScript{"include", "#include \"other.rc\"\n"},
                      RefusedScript{"other pragma", "#pragma code_page(1252)\n"},
                      RefusedScript{"non-ASCII without the UTF-8 pragma", "STRINGTABLE\nBEGIN\n 2 \"\xC3\xBC\"\nEND\n"},
                      RefusedScript{"octal-looking ID", "STRINGTABLE\nBEGIN\n 010 \"x\"\nEND\n"},
                      RefusedScript{"ID above 65535", "STRINGTABLE\nBEGIN\n 65536 \"x\"\nEND\n"},
                      RefusedScript{"hexadecimal escape", "STRINGTABLE\nBEGIN\n 2 \"\\x41\"\nEND\n"},
                      RefusedScript{"same ID twice", "STRINGTABLE\nBEGIN\n 2 \"a\"\n 2 \"b\"\nEND\n"},
                      RefusedScript{"string across lines", "STRINGTABLE\nBEGIN\n 2 \"a\nb\"\nEND\n"},
                      RefusedScript{"other resource", "1 RCDATA { \"x\" }\n"},
                      RefusedScript{"missing END", "STRINGTABLE\nBEGIN\n 2 \"a\"\n"},
                      RefusedScript{"unterminated comment", "/* \nSTRINGTABLE\n"}),
    [](const ::testing::TestParamInfo<RefusedScript>& script) {
        std::string name;
        for (const char* c = script.param.what; *c != 0; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) != 0 ? *c : '_';
        return name;
    });

TEST(StringTableSource, AMissingFileIsRefused)
{
    sim::Machine machine;
    EXPECT_THROW(machine.LoadStringTableSource(TempPath("does-not-exist.rc")), std::runtime_error);
}

}  // namespace
