// Preset files as bytes: every kind against a file built by hand from the field list, and
// every kind of damage refused with its reason.
#include "io/preset_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using VLM::Preset::BytesToRead;
using VLM::Preset::CFormatError;
using VLM::Preset::EKind;
using VLM::Preset::Parse;
using VLM::Preset::Serialise;
using VLM::Preset::SPreset;
using VLM::Preset::SProgram;

namespace {

// A file written field by field: big-endian numbers, four-character codes, fixed names.
struct SBytes {
    std::vector<std::uint8_t> b;
    SBytes& U32(std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            b.push_back(static_cast<std::uint8_t>(v >> shift));
        }
        return *this;
    }
    SBytes& Code(const char* four) {
        b.insert(b.end(), four, four + 4);
        return *this;
    }
    SBytes& Name(const std::string& name) {
        b.insert(b.end(), name.begin(), name.end());
        b.insert(b.end(), 28 - name.size(), 0);
        return *this;
    }
    SBytes& F(float v) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, 4);
        return U32(bits);
    }
    SBytes& Zeros(std::size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    SBytes& Raw(const std::vector<std::uint8_t>& bytes) {
        b.insert(b.end(), bytes.begin(), bytes.end());
        return *this;
    }
};

// A 'FxCk' program record of two values, as a bank holds it: 56 + 8 bytes, 56 after the size.
SBytes ProgramRecord(const char* id, const std::string& name, float a, float b) {
    return SBytes()
        .Code("CcnK")
        .U32(56)
        .Code("FxCk")
        .U32(1)
        .Code(id)
        .U32(7)
        .U32(2)
        .Name(name)
        .F(a)
        .F(b);
}

SBytes ValuesProgram() {
    return ProgramRecord("VGn1", "Warm", 0.25f, 1.0f);
}

SBytes ChunkProgram() {
    return SBytes()
        .Code("CcnK")
        .U32(52 + 5)
        .Code("FPCh")
        .U32(1)
        .Code("VGn1")
        .U32(7)
        .U32(2)
        .Name("Bright")
        .U32(5)
        .Raw({1, 2, 3, 4, 5});
}

SBytes ValuesBank() {
    return SBytes()
        .Code("CcnK")
        .U32(148 + 2 * 64)
        .Code("FxBk")
        .U32(2)
        .Code("VGn1")
        .U32(7)
        .U32(2)
        .U32(1) // current program
        .Zeros(124)
        .Raw(ProgramRecord("VGn1", "One", 0.5f, 0.0f).b)
        .Raw(ProgramRecord("VGn1", "Two", 0.125f, 1.0f).b);
}

SBytes ChunkBank() {
    return SBytes()
        .Code("CcnK")
        .U32(152 + 3)
        .Code("FBCh")
        .U32(1)
        .Code("VGn1")
        .U32(7)
        .U32(16)
        .Zeros(128) // version 1: no current program
        .U32(3)
        .Raw({9, 8, 7});
}

SProgram Program(const std::string& name, std::vector<float> values) {
    SProgram p;
    p.name = name;
    p.values = std::move(values);
    return p;
}

SPreset Record(EKind kind, std::int32_t version, std::int32_t count) {
    SPreset p;
    p.kind = kind;
    p.formatVersion = version;
    p.uniqueId = 0x56476E31; // 'VGn1'
    p.pluginVersion = 7;
    p.count = count;
    return p;
}

void ExpectEqual(const SPreset& a, const SPreset& b, const std::string& what) {
    EXPECT_EQ(a.kind, b.kind) << what;
    EXPECT_EQ(a.formatVersion, b.formatVersion) << what;
    EXPECT_EQ(a.uniqueId, b.uniqueId) << what;
    EXPECT_EQ(a.pluginVersion, b.pluginVersion) << what;
    EXPECT_EQ(a.count, b.count) << what;
    EXPECT_EQ(a.currentProgram, b.currentProgram) << what;
    EXPECT_EQ(a.chunk, b.chunk) << what;
    ASSERT_EQ(a.programs.size(), b.programs.size()) << what;
    for (std::size_t i = 0; i < a.programs.size(); ++i) {
        EXPECT_EQ(a.programs[i].name, b.programs[i].name) << what << ", program " << i;
        EXPECT_EQ(a.programs[i].values, b.programs[i].values) << what << ", program " << i;
    }
}

std::string Refusal(const std::vector<std::uint8_t>& bytes) {
    try {
        Parse(bytes.data(), bytes.size());
    } catch (const CFormatError& e) {
        return e.what();
    }
    return "(accepted)";
}

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> file, std::size_t at,
                                  std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        file[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
    return file;
}

std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> file, std::size_t size) {
    file.resize(size);
    return file;
}

} // namespace

TEST(PresetFile, EveryKindReadsAndWritesTheHandBuiltBytes) {
    SPreset program = Record(EKind::Program, 1, 2);
    program.programs = {Program("Warm", {0.25f, 1.0f})};
    SPreset programChunk = Record(EKind::ProgramChunk, 1, 2);
    programChunk.programs = {Program("Bright", {})};
    programChunk.chunk = {1, 2, 3, 4, 5};
    SPreset bank = Record(EKind::Bank, 2, 2);
    bank.currentProgram = 1;
    bank.programs = {Program("One", {0.5f, 0.0f}), Program("Two", {0.125f, 1.0f})};
    SPreset bankChunk = Record(EKind::BankChunk, 1, 16);
    bankChunk.chunk = {9, 8, 7};

    const struct {
        const char* what;
        SPreset record;
        std::vector<std::uint8_t> bytes;
    } cases[] = {{"FxCk program", program, ValuesProgram().b},
                 {"FPCh program", programChunk, ChunkProgram().b},
                 {"FxBk bank, version 2", bank, ValuesBank().b},
                 {"FBCh bank, version 1", bankChunk, ChunkBank().b}};
    for (const auto& c : cases) {
        EXPECT_EQ(Serialise(c.record), c.bytes) << c.what << ": written bytes";
        ExpectEqual(Parse(c.bytes.data(), c.bytes.size()), c.record, c.what);
        // A reader that knows only the first bytes takes the whole file and one byte more.
        EXPECT_EQ(BytesToRead(c.bytes.data(), 8), c.bytes.size() + 1) << c.what;
    }
}

TEST(PresetFile, ANameThatFillsItsFieldIsReadWhole) {
    const std::string full(28, 'n');
    SBytes file = ValuesProgram();
    std::memcpy(file.b.data() + 28, full.data(), 28);
    const SPreset p = Parse(file.b.data(), file.b.size());
    EXPECT_EQ(p.programs[0].name, full);
    EXPECT_FALSE(p.programs[0].terminated);
    // Written back, the name keeps a terminator within its field.
    const std::vector<std::uint8_t> again = Serialise(p);
    EXPECT_EQ(again[28 + 27], 0);
    EXPECT_EQ(Parse(again.data(), again.size()).programs[0].name, full.substr(0, 27));
}

TEST(PresetFile, DamagedFilesAreRefusedWithTheReason) {
    SBytes trailing = ValuesProgram();
    trailing.U32(0);
    SBytes bankTrailing = ValuesBank();
    bankTrailing.U32(0);
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* expected;
    } cases[] = {
        {"empty", {}, "truncated header: 0 of 28 bytes"},
        {"wrong magic", Patched(ValuesProgram().b, 0, 0x52494646),
         "starts with 'RIFF', not 'CcnK'"},
        {"binary magic", Patched(ValuesProgram().b, 0, 0x00010203), "starts with 0x00010203"},
        {"truncated header", Cut(ValuesProgram().b, 20), "truncated header: 20 of 28 bytes"},
        {"truncated body", Cut(ValuesProgram().b, 60), "cut short: its header announces 56 bytes"},
        {"truncated name", Patched(Cut(ValuesProgram().b, 40), 4, 32), "within the program name"},
        {"size beyond the file", Patched(ValuesProgram().b, 4, 0xFFFFFFFF), "announces 4294967295"},
        {"bytes beyond the size", trailing.b, "60 bytes follow the size field, but its header"},
        {"size beyond the limit", Patched(Cut(ValuesProgram().b, 8), 4, 0x0FFFFFF9),
         "announces 268435449 bytes after the size field, more than the 256 MiB"},
        {"unknown kind", Patched(ValuesProgram().b, 8, 0x46784B4B), "unknown kind 'FxKK'"},
        {"program version", Patched(ValuesProgram().b, 12, 2), "program format version 2"},
        {"bank version", Patched(ValuesBank().b, 12, 3), "bank format version 3"},
        {"negative parameter count", Patched(ValuesProgram().b, 24, 0xFFFFFFFF),
         "negative parameter count -1"},
        {"huge parameter count", Patched(ValuesProgram().b, 24, 0x7FFFFFFF),
         "2147483647 parameter values take 8589934588 bytes, but 8 follow"},
        {"count beyond the values", Patched(ValuesProgram().b, 24, 3),
         "3 parameter values take 12"},
        {"values not finite", Patched(ValuesProgram().b, 60, 0x7FC00000),
         "parameter value 1 is not a finite number"},
        {"negative chunk size", Patched(ChunkProgram().b, 56, 0x80000000),
         "negative chunk size -2147483648"},
        {"huge chunk size", Patched(ChunkProgram().b, 56, 0x7FFFFFFF),
         "chunk size is 2147483647 bytes, but 5 bytes follow"},
        {"no chunk size", Patched(Cut(ChunkProgram().b, 58), 4, 50), "ends before the chunk size"},
        {"truncated bank header", Patched(Cut(ChunkBank().b, 100), 4, 92),
         "truncated bank header: 100 of 156"},
        {"negative program count", Patched(ValuesBank().b, 24, 0xFFFFFFFE),
         "negative program count -2"},
        {"huge program count", Patched(ValuesBank().b, 24, 0x7FFFFFFF),
         "2147483647 programs take at least"},
        {"current program beyond the bank", Patched(ValuesBank().b, 28, 2),
         "current program 2 is not one of its 2 programs"},
        {"program count beyond the programs", Patched(ValuesBank().b, 24, 3),
         "3 programs take at least 168 bytes, but 128 follow the bank header"},
        {"program cut short", Patched(Cut(ValuesBank().b, 156 + 64 + 50), 4, 148 + 64 + 50),
         "program 1: cut short: its header announces 56 bytes, 42 are left"},
        {"program count short of the programs", Patched(bankTrailing.b, 4, 148 + 2 * 64 + 4),
         "4 bytes follow its last program"},
        {"program with the wrong magic", Patched(ValuesBank().b, 156 + 64, 0x43636E4C),
         "program 1: not a preset file: it starts with 'CcnL'"},
        {"program as a chunk", Patched(ValuesBank().b, 156 + 8, 0x46504368),
         "program 0: a bank holds 'FxCk' programs, not 'FPCh'"},
        {"program of another plug-in", Patched(ValuesBank().b, 156 + 64 + 16, 0x56466C74),
         "program 1: its unique id 'VFlt' is not the bank's 'VGn1'"},
        {"program longer than the bank", Patched(ValuesBank().b, 156 + 64 + 4, 57),
         "program 1: cut short: its header announces 57 bytes, 56 are left"},
        {"program's count beyond its values", Patched(ValuesBank().b, 156 + 24, 1),
         "program 0: 1 parameter values take 4 bytes, but 8 follow"},
    };
    for (const auto& c : cases) {
        const std::string message = Refusal(c.bytes);
        EXPECT_NE(message.find(c.expected), std::string::npos)
            << c.what << ": expected a message containing '" << c.expected << "', got '" << message
            << "'";
        EXPECT_EQ(message.find('\n'), std::string::npos) << c.what << ": " << message;
    }
}
