// The simulated machine serves the string-table blocks of the resources that
// the resource compiler makes, as Windows serves those linked into the
// program. These tests compile scripts with the resource compiler and read
// the result as the machine does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/machine.h"

namespace {

using Blocks = std::map<std::pair<platform::WORD, platform::LANGID>, std::vector<std::uint8_t>>;

constexpr platform::LANGID kEnglishUs = 0x0409;
constexpr platform::LANGID kGermanAustria = 0x0C07;
constexpr platform::LANGID kFrench = 0x040C;

// Scratch files carry the process id: ctest runs each test in its own
// process, possibly several at once.
std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "ostrel_msg_" + std::to_string(::getpid()) + "_" + name;
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file << bytes;
}

// Compiles `script` with the resource compiler; the path of the .res file.
std::string Compile(const std::string& script, const std::string& name)
{
    const std::string rcPath = TempPath(name + ".rc");
    const std::string resPath = TempPath(name + ".res");
    WriteFile(rcPath, script);
    const std::string command =
        std::string("\"") + OSTREL_WINDRES + "\" \"" + rcPath + "\" -O res -o \"" + resPath + "\"";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
    return resPath;
}

// Entry `entry` of a block: its count, then that many units.
std::u16string EntryOf(const std::vector<std::uint8_t>& block, unsigned entry)
{
    std::size_t at = 0;
    for (unsigned current = 0;; ++current) {
        const std::size_t count = block.at(at) | (block.at(at + 1) << 8);
        at += 2;
        if (current == entry) {
            std::u16string text;
            for (std::size_t i = 0; i < count; ++i, at += 2)
                text.push_back(static_cast<char16_t>(block.at(at) | (block.at(at + 1) << 8)));
            return text;
        }
        at += 2 * count;
    }
}

// Both languages, gaps inside and between blocks, escapes, the empty text
// and text beyond the basic plane, among resources of other kinds (a named
// one among them) that the machine passes over.
const char kScript[] =
    "#pragma code_page(65001)\n"
    "LANGUAGE 0x09, 0x01\n"
    "1 RCDATA { \"before\" }\n"
    "STRINGTABLE\n"
    "BEGIN\n"
    "  0 \"zero\"\n"
    "  15, \"last of block 1\"\n"
    "  0x20 \"tab\\there, quote \"\"q\"\"\"\n"
    "END\n"
    "NAMED RCDATA { \"between\" }\n"
    "STRINGTABLE\n"
    "LANGUAGE 0x07, 0x03\n"
    "BEGIN\n"
    "  16 \"\xC3\x9C"
    "ber \xE2\x82\xAC \xF0\x9F\x98\x80\"\n"
    "  17 \"\"\n"
    "END\n"
    "STRINGTABLE\n"
    "LANGUAGE 0x0C, 0x01\n"
    "BEGIN\n"
    "  16 \"fran\xC3\xA7"
    "ais\"\n"
    "END\n";

TEST(CompiledStringTables, TheMachineServesTheCompiledBlocksOfEveryLanguageAndPassesOverTheRest)
{
    sim::Machine machine;
    machine.LoadStringTables(Compile(kScript, "constructs"));
    const Blocks& blocks = machine.stringBlocks;

    std::vector<std::pair<platform::WORD, platform::LANGID>> keys;
    for (const auto& [key, block] : blocks) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::pair<platform::WORD, platform::LANGID>>{
                        {1, kEnglishUs}, {2, kFrench}, {2, kGermanAustria}, {3, kEnglishUs}}));
    EXPECT_EQ(EntryOf(blocks.at({1, kEnglishUs}), 0), u"zero");
    EXPECT_EQ(EntryOf(blocks.at({1, kEnglishUs}), 1), u"");
    EXPECT_EQ(EntryOf(blocks.at({1, kEnglishUs}), 15), u"last of block 1");
    EXPECT_EQ(EntryOf(blocks.at({3, kEnglishUs}), 0), u"tab\there, quote \"q\"");
    EXPECT_EQ(EntryOf(blocks.at({2, kGermanAustria}), 0), u"\u00DCber \u20AC \U0001F600");
    EXPECT_EQ(EntryOf(blocks.at({2, kGermanAustria}), 1), u"");
    EXPECT_EQ(EntryOf(blocks.at({2, kFrench}), 0), u"fran\u00E7ais");
}

TEST(CompiledStringTables, TheProjectsCatalogueHasFourBlocksInEachOfItsTwoLanguages)
{
    const sim::Machine machine;
    std::map<platform::LANGID, unsigned> blocksPerLanguage;
    for (const auto& [key, block] : machine.stringBlocks) ++blocksPerLanguage[key.second];
    EXPECT_EQ(blocksPerLanguage, (std::map<platform::LANGID, unsigned>{{kEnglishUs, 4}, {kGermanAustria, 4}}));
}

// A file cut short anywhere in an entry (the last one's data included; the
// last three bytes may be padding), or one that is not there, is refused and
// leaves the machine's tables as they were.
TEST(CompiledStringTables, AMalformedOrMissingFileIsRefusedAndChangesNothing)
{
    sim::Machine machine;
    const Blocks before = machine.stringBlocks;
    const std::vector<std::uint8_t> whole = ReadFile(Compile(kScript, "whole"));
    ASSERT_GT(whole.size(), 100U);
    for (const std::size_t cut : {whole.size() - 4, whole.size() / 2 + 1, std::size_t{34}}) {
        SCOPED_TRACE(cut);
        const std::string path = TempPath("cut.res");
        WriteFile(path, std::string(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        EXPECT_THROW(machine.LoadStringTables(path), std::runtime_error);
        EXPECT_EQ(machine.stringBlocks, before);
    }
    EXPECT_THROW(machine.LoadStringTables(TempPath("does-not-exist.res")), std::runtime_error);
    EXPECT_EQ(machine.stringBlocks, before);
}

}  // namespace
