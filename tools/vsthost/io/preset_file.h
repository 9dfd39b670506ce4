// Preset files as VST 2.4 hosts exchange them: a program (.fxp) or a bank (.fxb), each either
// parameter values or the plug-in's opaque chunk. This layer only turns bytes into a record
// and back; it knows no plug-in, so the fuzz target and the unit tests use it alone.
//
// Every field is a big-endian 32-bit number:
//   'CcnK', byte size of the rest, kind, format version, unique id, plug-in version, count
//   program: name[28]; 'FxCk' count floats, or 'FPCh' chunk size and bytes
//   bank:    current program (version 2; reserved in 1), 124 reserved bytes; 'FxBk' count
//            complete 'FxCk' program records, or 'FBCh' chunk size and bytes
#pragma once

#include "common/errors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VLM::Preset {

constexpr std::size_t kHeaderSize = 28; // the seven fields before the name or current program
constexpr std::size_t kNameSize = 28;
constexpr std::size_t kProgramHeaderSize = kHeaderSize + kNameSize; // values or chunk size next
constexpr std::size_t kBankReservedSize = 124;
constexpr std::size_t kBankHeaderSize = kHeaderSize + 4 + kBankReservedSize;
// Larger files are refused before they are read: no plug-in state comes near this.
constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;
// The magic and the byte size: the bytes that tell how long the whole file is.
constexpr std::size_t kSizePrefix = 8;

enum class EKind { Program, ProgramChunk, Bank, BankChunk };

// 'FxCk', 'FPCh', 'FxBk' or 'FBCh'.
std::int32_t KindMagic(EKind kind);
bool IsBank(EKind kind);
bool IsChunk(EKind kind);

struct SProgram {
    std::string name;       // the bytes before the first zero, at most kNameSize
    bool terminated = true; // false: the name fills its field with no zero byte
    std::vector<float> values;
};

struct SPreset {
    EKind kind = EKind::Program;
    std::int32_t formatVersion = 1; // 1 for programs; 1 or 2 for banks
    std::int32_t uniqueId = 0;
    std::int32_t pluginVersion = 0;
    // The header's count: parameters (programs) or programs (banks). Equals the number of
    // values of a 'FxCk' program and the number of programs of a 'FxBk' bank.
    std::int32_t count = 0;
    std::int32_t currentProgram = 0; // banks of version 2
    // One for a program file (name, and values for 'FxCk'); every program for 'FxBk'; none
    // for 'FBCh'.
    std::vector<SProgram> programs;
    std::vector<std::uint8_t> chunk; // 'FPCh' and 'FBCh'
};

// A file that is not a preset, or a damaged one; the text says what is wrong, without the
// file's name.
class CFormatError : public Exceptions::HostFailure {
public:
    explicit CFormatError(const std::string& message) : HostFailure(message) {}
};

// How many bytes of a file are worth reading, given its first kSizePrefix bytes (fewer when
// the file ends before them): one more than its header announces, so that a longer file is
// found out, or just these when they already refuse it (another magic, a size beyond
// kMaxFileSize). Never more than kMaxFileSize + 1; an endless stream is read no further.
std::size_t BytesToRead(const std::uint8_t* prefix, std::size_t size);
// Reads a whole file's bytes; throws CFormatError on any fault, never reads outside them.
SPreset Parse(const std::uint8_t* data, std::size_t size);
// The file's bytes. A 'FxCk' program counts its values and a 'FxBk' bank its programs;
// the chunk kinds write `count` as it is.
std::vector<std::uint8_t> Serialise(const SPreset& preset);

} // namespace VLM::Preset
