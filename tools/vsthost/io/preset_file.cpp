#include "io/preset_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace VLM::Preset {
namespace {

constexpr std::int32_t Magic(const char (&text)[5]) {
    return static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(text[0]) << 24) | (static_cast<std::uint32_t>(text[1]) << 16) |
        (static_cast<std::uint32_t>(text[2]) << 8) | static_cast<std::uint32_t>(text[3]));
}

constexpr std::int32_t kFileMagic = Magic("CcnK");
constexpr std::int32_t kProgramMagic = Magic("FxCk");
constexpr std::int32_t kProgramChunkMagic = Magic("FPCh");
constexpr std::int32_t kBankMagic = Magic("FxBk");
constexpr std::int32_t kBankChunkMagic = Magic("FBCh");
// The byte size counts everything after itself: the magic and the size field are not in it.
constexpr std::size_t kUncountedSize = 8;

std::string Text(const char* format, long long a = 0, long long b = 0, long long c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

[[noreturn]] void Fail(const std::string& message) {
    throw CFormatError(message);
}

std::uint32_t U32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

std::int32_t I32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(U32(p));
}

void Put(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

void Put(std::vector<std::uint8_t>& out, std::int32_t v) {
    Put(out, static_cast<std::uint32_t>(v));
}

// 'FxCk' as written, or the four bytes in hexadecimal when any of them is not printable.
std::string MagicText(std::int32_t magic) {
    const auto bits = static_cast<std::uint32_t>(magic);
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((bits >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            return Text("0x%08llX", static_cast<long long>(bits));
        }
        text.push_back(c);
    }
    return text + "'";
}

// The seven header fields of one record of exactly `size` bytes, checked against the size.
struct SHeader {
    EKind kind = EKind::Program;
    std::int32_t version = 0;
    std::int32_t uniqueId = 0;
    std::int32_t pluginVersion = 0;
    std::int32_t count = 0;
};

void CheckFileMagic(const std::uint8_t* d, std::size_t size) {
    if (size >= 4 && I32(d) != kFileMagic) {
        Fail("not a preset file: it starts with " + MagicText(I32(d)) + ", not 'CcnK'");
    }
}

// The size its header announces for the whole file, magic and size field included.
std::uint64_t AnnouncedFileSize(const std::uint8_t* d) {
    return kUncountedSize + std::uint64_t{U32(d + 4)};
}

void CheckAnnouncedSize(const std::uint8_t* d, std::size_t size) {
    if (size >= kSizePrefix && AnnouncedFileSize(d) > kMaxFileSize) {
        Fail(Text("its header announces %lld bytes after the size field, more than the %lld MiB "
                  "a preset may take",
                  U32(d + 4), static_cast<long long>(kMaxFileSize >> 20)));
    }
}

SHeader ReadHeader(const std::uint8_t* d, std::size_t size) {
    CheckFileMagic(d, size);
    CheckAnnouncedSize(d, size);
    if (size < kHeaderSize) {
        Fail(Text("truncated header: %lld of %lld bytes", static_cast<long long>(size),
                  static_cast<long long>(kHeaderSize)));
    }
    const std::uint32_t byteSize = U32(d + 4);
    const std::size_t rest = size - kUncountedSize;
    if (byteSize > rest) {
        Fail(Text("cut short: its header announces %lld bytes after the size field, %lld are "
                  "there",
                  byteSize, static_cast<long long>(rest)));
    }
    if (byteSize < rest) {
        Fail(Text("%lld bytes follow the size field, but its header announces %lld",
                  static_cast<long long>(rest), byteSize));
    }
    SHeader h;
    const std::int32_t kind = I32(d + 8);
    if (kind == kProgramMagic) {
        h.kind = EKind::Program;
    } else if (kind == kProgramChunkMagic) {
        h.kind = EKind::ProgramChunk;
    } else if (kind == kBankMagic) {
        h.kind = EKind::Bank;
    } else if (kind == kBankChunkMagic) {
        h.kind = EKind::BankChunk;
    } else {
        Fail("unknown kind " + MagicText(kind) + " (not 'FxCk', 'FPCh', 'FxBk' or 'FBCh')");
    }
    h.version = I32(d + 12);
    const bool bank = IsBank(h.kind);
    if (h.version != 1 && !(bank && h.version == 2)) {
        Fail(Text(bank ? "bank format version %lld (1 and 2 are known)"
                       : "program format version %lld (1 is known)",
                  h.version));
    }
    h.uniqueId = I32(d + 16);
    h.pluginVersion = I32(d + 20);
    h.count = I32(d + 24);
    if (h.count < 0) {
        Fail(Text(bank ? "negative program count %lld" : "negative parameter count %lld", h.count));
    }
    return h;
}

// The chunk size field at `at` and the chunk after it, which must end the record.
std::vector<std::uint8_t> ReadChunk(const std::uint8_t* d, std::size_t size, std::size_t at) {
    if (size < at + 4) {
        Fail("truncated: the file ends before the chunk size");
    }
    const std::int32_t chunkSize = I32(d + at);
    const std::size_t left = size - at - 4;
    if (chunkSize < 0) {
        Fail(Text("negative chunk size %lld", chunkSize));
    }
    if (static_cast<std::size_t>(chunkSize) != left) {
        Fail(Text("its chunk size is %lld bytes, but %lld bytes follow it", chunkSize,
                  static_cast<long long>(left)));
    }
    return std::vector<std::uint8_t>(d + at + 4, d + size);
}

float Float(const std::uint8_t* p) {
    const std::uint32_t bits = U32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// A program record of exactly `size` bytes: header, name, then values or a chunk.
SProgram ReadProgram(const std::uint8_t* d, std::size_t size, const SHeader& h,
                     std::vector<std::uint8_t>* chunk) {
    if (size < kProgramHeaderSize) {
        Fail("truncated: the file ends within the program name");
    }
    SProgram program;
    const auto* name = reinterpret_cast<const char*>(d + kHeaderSize);
    const void* zero = std::memchr(name, 0, kNameSize);
    program.terminated = zero != nullptr;
    program.name.assign(name, zero != nullptr ? static_cast<const char*>(zero) - name
                                              : static_cast<std::ptrdiff_t>(kNameSize));
    if (h.kind == EKind::ProgramChunk) {
        *chunk = ReadChunk(d, size, kProgramHeaderSize);
        return program;
    }
    const std::size_t left = size - kProgramHeaderSize;
    const auto needed = static_cast<unsigned long long>(h.count) * 4;
    if (needed != left) {
        Fail(Text("%lld parameter values take %lld bytes, but %lld follow the name", h.count,
                  static_cast<long long>(needed), static_cast<long long>(left)));
    }
    program.values.resize(static_cast<std::size_t>(h.count));
    for (std::size_t i = 0; i < program.values.size(); ++i) {
        program.values[i] = Float(d + kProgramHeaderSize + 4 * i);
        if (!std::isfinite(program.values[i])) {
            Fail(Text("parameter value %lld is not a finite number", static_cast<long long>(i)));
        }
    }
    return program;
}

// One 'FxCk' record inside a bank, starting at `d` with `left` bytes to the end of the file.
SProgram ReadBankProgram(const std::uint8_t* d, std::size_t left, const SHeader& bank,
                         std::size_t* used) {
    CheckFileMagic(d, left);
    if (left < kUncountedSize) {
        Fail(Text("truncated: %lld bytes left, where a program record starts",
                  static_cast<long long>(left)));
    }
    const std::uint32_t byteSize = U32(d + 4);
    if (byteSize > left - kUncountedSize) {
        Fail(Text("cut short: its header announces %lld bytes, %lld are left", byteSize,
                  static_cast<long long>(left - kUncountedSize)));
    }
    *used = kUncountedSize + byteSize;
    const SHeader h = ReadHeader(d, *used);
    if (h.kind != EKind::Program) {
        Fail("a bank holds 'FxCk' programs, not " + MagicText(KindMagic(h.kind)));
    }
    if (h.uniqueId != bank.uniqueId) {
        Fail("its unique id " + MagicText(h.uniqueId) + " is not the bank's " +
             MagicText(bank.uniqueId));
    }
    return ReadProgram(d, *used, h, nullptr);
}

void PutName(std::vector<std::uint8_t>& out, const std::string& name) {
    // Always terminated: readers that expect a C string stop within the field.
    const std::size_t n = std::min(name.size(), kNameSize - 1);
    out.insert(out.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(n));
    out.insert(out.end(), kNameSize - n, 0);
}

void PutHeader(std::vector<std::uint8_t>& out, EKind kind, std::int32_t version,
               const SPreset& preset, std::int32_t count) {
    Put(out, kFileMagic);
    Put(out, std::uint32_t{0}); // the byte size, filled in by PutSize
    Put(out, KindMagic(kind));
    Put(out, version);
    Put(out, preset.uniqueId);
    Put(out, preset.pluginVersion);
    Put(out, count);
}

// Fills in the byte size of the record that starts at `start` and ends at the end of `out`.
void PutSize(std::vector<std::uint8_t>& out, std::size_t start) {
    const auto size = static_cast<std::uint32_t>(out.size() - start - kUncountedSize);
    for (int i = 0; i < 4; ++i) {
        out[start + 4 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
}

void PutValues(std::vector<std::uint8_t>& out, const std::vector<float>& values) {
    for (const float v : values) {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        Put(out, bits);
    }
}

void PutChunk(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& chunk) {
    Put(out, static_cast<std::uint32_t>(chunk.size()));
    out.insert(out.end(), chunk.begin(), chunk.end());
}

} // namespace

std::int32_t KindMagic(EKind kind) {
    switch (kind) {
    case EKind::Program:
        return kProgramMagic;
    case EKind::ProgramChunk:
        return kProgramChunkMagic;
    case EKind::Bank:
        return kBankMagic;
    case EKind::BankChunk:
    default:
        return kBankChunkMagic;
    }
}

bool IsBank(EKind kind) {
    return kind == EKind::Bank || kind == EKind::BankChunk;
}

bool IsChunk(EKind kind) {
    return kind == EKind::ProgramChunk || kind == EKind::BankChunk;
}

std::size_t BytesToRead(const std::uint8_t* prefix, std::size_t size) {
    if (size < kSizePrefix || I32(prefix) != kFileMagic ||
        AnnouncedFileSize(prefix) > kMaxFileSize) {
        return size;
    }
    return static_cast<std::size_t>(AnnouncedFileSize(prefix)) + 1;
}

SPreset Parse(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxFileSize) {
        Fail(Text("larger than %lld MiB, which no preset comes near",
                  static_cast<long long>(kMaxFileSize >> 20)));
    }
    const SHeader h = ReadHeader(data, size);
    SPreset preset;
    preset.kind = h.kind;
    preset.formatVersion = h.version;
    preset.uniqueId = h.uniqueId;
    preset.pluginVersion = h.pluginVersion;
    preset.count = h.count;
    if (!IsBank(h.kind)) {
        preset.programs.push_back(ReadProgram(data, size, h, &preset.chunk));
        return preset;
    }
    if (size < kBankHeaderSize) {
        Fail(Text("truncated bank header: %lld of %lld bytes", static_cast<long long>(size),
                  static_cast<long long>(kBankHeaderSize)));
    }
    if (h.version >= 2) {
        preset.currentProgram = I32(data + kHeaderSize);
        if (preset.currentProgram < 0 ||
            (h.count > 0 ? preset.currentProgram >= h.count : preset.currentProgram != 0)) {
            Fail(Text("its current program %lld is not one of its %lld programs",
                      preset.currentProgram, h.count));
        }
    }
    if (h.kind == EKind::BankChunk) {
        preset.chunk = ReadChunk(data, size, kBankHeaderSize);
        return preset;
    }
    std::size_t at = kBankHeaderSize;
    // Each program takes at least its header and name: a count beyond that cannot be true,
    // and nothing is reserved for it.
    const auto least = static_cast<unsigned long long>(h.count) * kProgramHeaderSize;
    if (least > size - at) {
        Fail(Text("%lld programs take at least %lld bytes, but %lld follow the bank header",
                  h.count, static_cast<long long>(least), static_cast<long long>(size - at)));
    }
    preset.programs.reserve(static_cast<std::size_t>(h.count));
    for (std::int32_t i = 0; i < h.count; ++i) {
        try {
            std::size_t used = 0;
            preset.programs.push_back(ReadBankProgram(data + at, size - at, h, &used));
            at += used;
        } catch (const CFormatError& e) {
            Fail(Text("program %lld: ", i) + e.what());
        }
    }
    if (at != size) {
        Fail(Text("%lld bytes follow its last program", static_cast<long long>(size - at)));
    }
    return preset;
}

std::vector<std::uint8_t> Serialise(const SPreset& preset) {
    std::vector<std::uint8_t> out;
    switch (preset.kind) {
    case EKind::Program:
    case EKind::ProgramChunk: {
        const SProgram none;
        const SProgram& program = preset.programs.empty() ? none : preset.programs.front();
        const bool values = preset.kind == EKind::Program;
        PutHeader(out, preset.kind, 1, preset,
                  values ? static_cast<std::int32_t>(program.values.size()) : preset.count);
        PutName(out, program.name);
        if (values) {
            PutValues(out, program.values);
        } else {
            PutChunk(out, preset.chunk);
        }
        break;
    }
    case EKind::Bank:
    case EKind::BankChunk: {
        const bool values = preset.kind == EKind::Bank;
        PutHeader(out, preset.kind, preset.formatVersion, preset,
                  values ? static_cast<std::int32_t>(preset.programs.size()) : preset.count);
        Put(out, preset.formatVersion >= 2 ? preset.currentProgram : 0);
        out.insert(out.end(), kBankReservedSize, 0);
        if (!values) {
            PutChunk(out, preset.chunk);
            break;
        }
        for (const SProgram& program : preset.programs) {
            const std::size_t start = out.size();
            PutHeader(out, EKind::Program, 1, preset,
                      static_cast<std::int32_t>(program.values.size()));
            PutName(out, program.name);
            PutValues(out, program.values);
            PutSize(out, start);
        }
        break;
    }
    }
    PutSize(out, 0);
    return out;
}

} // namespace VLM::Preset
