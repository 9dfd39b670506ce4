// preset save and preset show, and --preset: preset files between the disk and a plug-in.
#include "commands/commands.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/opcode_names.h"
#include "host/plugin.h"
#include "io/output_file.h"
#include "io/preset_file.h"
#include "os/files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace VLM {
namespace {

// What a host hands to effBeginLoadProgram and effBeginLoadBank before it loads a file, so
// that the plug-in can refuse it (-1) or prepare for it.
struct VstPatchChunkInfo {
    VstInt32 version;        // of this record: 1
    VstInt32 pluginUniqueID; // the file's
    VstInt32 pluginVersion;  // the file's
    VstInt32 numElements;    // parameters of a program, programs of a bank
    char future[48];
};
static_assert(sizeof(VstPatchChunkInfo) == 64);

constexpr std::size_t kReadPiece = 64 * 1024;
// Plug-ins write names of up to 24 characters; a faulty one may write more, so the buffer
// has room to spare and the text is cut at its first zero byte.
constexpr std::size_t kNameBufferSize = 256;

std::string Quoted(const std::string& path) {
    return "'" + Printable(path) + "'";
}

// 'VGn1', or the hexadecimal number when the four bytes are not all printable.
std::string IdText(std::int32_t id) {
    const auto u = static_cast<std::uint32_t>(id);
    std::string chars;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((u >> shift) & 0xFFu);
        if (c < 0x20 || c >= 0x7F) {
            return Format("0x%08X", u);
        }
        chars.push_back(static_cast<char>(c));
    }
    return "'" + chars + "'";
}

const char* KindText(Preset::EKind kind) {
    switch (kind) {
    case Preset::EKind::Program:
        return "FxCk (a program of parameter values)";
    case Preset::EKind::ProgramChunk:
        return "FPCh (a program as an opaque chunk)";
    case Preset::EKind::Bank:
        return "FxBk (a bank of programs)";
    case Preset::EKind::BankChunk:
    default:
        return "FBCh (a bank as an opaque chunk)";
    }
}

// Appends bytes from `stream` until `bytes` holds `limit` of them or the stream ends.
void ReadUpTo(std::FILE* stream, std::vector<std::uint8_t>& bytes, std::size_t limit) {
    while (bytes.size() < limit) {
        const std::size_t at = bytes.size();
        const std::size_t piece = std::min(kReadPiece, limit - at);
        bytes.resize(at + piece);
        const std::size_t n = std::fread(bytes.data() + at, 1, piece, stream);
        bytes.resize(at + n);
        if (n < piece) {
            break;
        }
    }
}

// A preset file's bytes, never more than it can use. A regular file beyond the size limit is
// refused unread. Anything else (a device, a FIFO) is read as far as its header announces and
// one byte more, or not beyond the header when that already refuses it, so that an endless
// stream costs no more time or memory than the preset it claims to be.
std::vector<std::uint8_t> ReadPresetBytes(const std::string& path) {
    if (IsDirectory(path)) {
        throw Exceptions::HostFailure("cannot read " + Quoted(path) + ": it is a directory");
    }
    std::FILE* stream = OpenStream(path, "rb");
    if (stream == nullptr) {
        throw Exceptions::HostFailure("cannot read " + Quoted(path) + ": " + LastErrorText());
    }
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(stream, std::fclose);
    const auto fail = [&](const std::string& reason) {
        throw Exceptions::HostFailure("cannot read " + Quoted(path) + ": " + reason);
    };
    std::vector<std::uint8_t> bytes;
    if (PathKind(path) == EPathKind::Regular) {
        std::int64_t size = -1;
        if (SeekStream(stream, 0, SEEK_END) != 0 || (size = TellStream(stream)) < 0 ||
            SeekStream(stream, 0, SEEK_SET) != 0) {
            fail(LastErrorText());
        }
        if (static_cast<std::uint64_t>(size) > Preset::kMaxFileSize) {
            throw Exceptions::HostFailure(
                "bad preset file " + Quoted(path) +
                Format(": %lld bytes, larger than %zu MiB, which no preset comes near",
                       static_cast<long long>(size), Preset::kMaxFileSize >> 20));
        }
        // One byte more than the size, to find a file that grows while it is read.
        bytes.reserve(static_cast<std::size_t>(size) + 1);
        ReadUpTo(stream, bytes, static_cast<std::size_t>(size) + 1);
    } else {
        ReadUpTo(stream, bytes, Preset::kSizePrefix);
        const std::size_t limit = Preset::BytesToRead(bytes.data(), bytes.size());
        ReadUpTo(stream, bytes, limit);
        if (bytes.size() > Preset::kSizePrefix && bytes.size() == limit) {
            throw Exceptions::HostFailure("bad preset file " + Quoted(path) +
                                          Format(": more than the %zu bytes its header announces "
                                                 "follow the size field",
                                                 limit - 1 - Preset::kSizePrefix));
        }
    }
    if (std::ferror(stream) != 0) {
        fail(LastErrorText());
    }
    return bytes;
}

Preset::SPreset ReadPresetFile(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadPresetBytes(path);
    Preset::SPreset preset;
    try {
        preset = Preset::Parse(bytes.data(), bytes.size());
    } catch (const Preset::CFormatError& e) {
        throw Exceptions::HostFailure("bad preset file " + Quoted(path) + ": " + e.what());
    }
    // A name is the one field a reader can do without: a full one is taken as it is.
    const auto full = std::count_if(preset.programs.begin(), preset.programs.end(),
                                    [](const Preset::SProgram& p) { return !p.terminated; });
    if (full > 0) {
        std::fprintf(stderr,
                     "vsthost: warning: %s: %ld program name(s) fill all %zu bytes without a "
                     "terminator; read as %zu characters\n",
                     Quoted(path).c_str(), static_cast<long>(full), Preset::kNameSize,
                     Preset::kNameSize);
    }
    return preset;
}

void SelectProgram(CPlugin& plugin, VstInt32 program) {
    plugin.Dispatch(effBeginSetProgram);
    plugin.Dispatch(effSetProgram, 0, program);
    plugin.Dispatch(effEndSetProgram);
}

// The current program, or 0 when the plug-in answers one it does not have.
VstInt32 CurrentProgram(CPlugin& plugin) {
    const VstIntPtr current = plugin.Dispatch(effGetProgram);
    return current >= 0 && current < plugin.Record().numPrograms ? static_cast<VstInt32>(current)
                                                                 : 0;
}

std::string ProgramName(CPlugin& plugin) {
    char buffer[kNameBufferSize] = {};
    plugin.Dispatch(effGetProgramName, 0, 0, buffer);
    return FromBuffer(buffer, sizeof buffer);
}

void SetProgramName(CPlugin& plugin, const std::string& name) {
    char buffer[kVstMaxProgNameLen + 1] = {};
    std::copy_n(name.begin(), std::min<std::size_t>(name.size(), kVstMaxProgNameLen), buffer);
    plugin.Dispatch(effSetProgramName, 0, 0, buffer);
}

std::vector<float> ParameterValues(CPlugin& plugin) {
    std::vector<float> values(static_cast<std::size_t>(plugin.Record().numParams));
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = plugin.GetParameter(static_cast<VstInt32>(i));
        if (!std::isfinite(values[i])) {
            throw Exceptions::HostFailure(Format("the plug-in answers parameter %zu = %g; a "
                                                 "preset holds finite values only",
                                                 i, static_cast<double>(values[i])));
        }
    }
    return values;
}

std::vector<std::uint8_t> Chunk(CPlugin& plugin, bool program) {
    std::vector<std::uint8_t> chunk = plugin.GetChunk(program);
    if (chunk.empty()) {
        throw Exceptions::HostFailure(
            Format("the plug-in keeps its state in chunks but gave no %s chunk (effGetChunk "
                   "index %d)",
                   program ? "program" : "bank", program ? 1 : 0));
    }
    return chunk;
}

// The plug-in's current program or its bank, as a chunk when it keeps chunks.
Preset::SPreset Capture(CPlugin& plugin, bool bank) {
    const AEffect& r = plugin.Record();
    Preset::SPreset preset;
    preset.uniqueId = r.uniqueID;
    preset.pluginVersion = r.version;
    if (!bank) {
        preset.kind = plugin.HasChunks() ? Preset::EKind::ProgramChunk : Preset::EKind::Program;
        preset.count = r.numParams;
        Preset::SProgram program;
        program.name = ProgramName(plugin);
        if (plugin.HasChunks()) {
            preset.chunk = Chunk(plugin, true);
        } else {
            program.values = ParameterValues(plugin);
        }
        preset.programs.push_back(program);
        return preset;
    }
    preset.kind = plugin.HasChunks() ? Preset::EKind::BankChunk : Preset::EKind::Bank;
    preset.formatVersion = 2;
    preset.count = r.numPrograms;
    const VstInt32 current = CurrentProgram(plugin);
    preset.currentProgram = r.numPrograms > 0 ? current : 0;
    if (plugin.HasChunks()) {
        preset.chunk = Chunk(plugin, false);
        return preset;
    }
    if (r.numPrograms == 0) {
        throw Exceptions::HostFailure("the plug-in has no programs to save as a bank; a program "
                                      "(.fxp) holds its parameters");
    }
    for (VstInt32 i = 0; i < r.numPrograms; ++i) {
        SelectProgram(plugin, i);
        Preset::SProgram program;
        program.name = ProgramName(plugin);
        program.values = ParameterValues(plugin);
        preset.programs.push_back(program);
    }
    SelectProgram(plugin, current);
    return preset;
}

// Refuses a count that differs from the plug-in's unless forced; the part both have is loaded.
std::size_t Common(std::size_t file, VstInt32 plugin, const char* what, const std::string& name,
                   bool force) {
    const auto own = static_cast<std::size_t>(plugin);
    if (file != own && !force) {
        throw Exceptions::HostFailure(Format("%s holds %zu %s, the plug-in has %zu; --force "
                                             "loads the first %zu",
                                             name.c_str(), file, what, own, std::min(file, own)));
    }
    return std::min(file, own);
}

void SetValues(CPlugin& plugin, const std::vector<float>& values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        plugin.SetParameter(static_cast<VstInt32>(i), values[i]);
    }
}

void LoadPreset(CPlugin& plugin, const Preset::SPreset& preset, const SOptions& options) {
    const std::string name = Quoted(options.presetFile);
    const AEffect& r = plugin.Record();
    if (preset.uniqueId != r.uniqueID && !options.force) {
        throw Exceptions::HostFailure(name + " is a preset of the plug-in " +
                                      IdText(preset.uniqueId) + ", not of this one (" +
                                      IdText(r.uniqueID) + "); --force loads it all the same");
    }
    const bool bank = Preset::IsBank(preset.kind);
    if (Preset::IsChunk(preset.kind) && !plugin.HasChunks()) {
        throw Exceptions::HostFailure(name + Format(" holds a %s chunk, but the plug-in keeps "
                                                    "no state chunk",
                                                    bank ? "bank" : "program"));
    }
    std::size_t programs = 0;
    if (preset.kind == Preset::EKind::Bank) {
        programs = Common(preset.programs.size(), r.numPrograms, "programs", name, options.force);
        for (std::size_t i = 0; i < programs; ++i) {
            Common(preset.programs[i].values.size(), r.numParams,
                   Format("parameter values in program %zu", i).c_str(), name, options.force);
        }
    }
    const std::size_t values = preset.kind == Preset::EKind::Program
                                   ? Common(preset.programs[0].values.size(), r.numParams,
                                            "parameter values", name, options.force)
                                   : 0;

    if (Preset::IsChunk(preset.kind)) {
        CheckStateRecords(plugin, preset.chunk, !bank, name);
    }

    VstPatchChunkInfo info{};
    info.version = 1;
    info.pluginUniqueID = preset.uniqueId;
    info.pluginVersion = preset.pluginVersion;
    info.numElements = preset.count;
    const VstInt32 opcode = bank ? effBeginLoadBank : effBeginLoadProgram;
    if (plugin.Dispatch(opcode, 0, 0, &info) == -1) {
        throw Exceptions::HostFailure(Format("the plug-in refuses %s (%s answered -1)",
                                             name.c_str(), EffectOpcodeName(opcode)));
    }

    std::vector<std::uint8_t> chunk = preset.chunk; // the plug-in gets a buffer it may keep
    const VstInt32 before = CurrentProgram(plugin);
    switch (preset.kind) {
    case Preset::EKind::ProgramChunk:
        plugin.SetChunk(chunk, true);
        break;
    case Preset::EKind::Program:
        SetProgramName(plugin, preset.programs[0].name);
        SetValues(plugin, preset.programs[0].values, values);
        break;
    case Preset::EKind::BankChunk:
        plugin.SetChunk(chunk, false);
        break;
    case Preset::EKind::Bank:
        for (std::size_t i = 0; i < programs; ++i) {
            SelectProgram(plugin, static_cast<VstInt32>(i));
            SetProgramName(plugin, preset.programs[i].name);
            SetValues(
                plugin, preset.programs[i].values,
                std::min(preset.programs[i].values.size(), static_cast<std::size_t>(r.numParams)));
        }
        break;
    }
    if (bank) {
        // A version 2 bank names its current program; version 1 leaves the plug-in's.
        VstInt32 target = before;
        if (preset.formatVersion >= 2 && preset.currentProgram < r.numPrograms) {
            target = preset.currentProgram;
        }
        if (preset.kind == Preset::EKind::Bank || target != CurrentProgram(plugin)) {
            SelectProgram(plugin, target);
        }
        // Where the programs carry names only and share one set of values, the last program
        // loaded has set them all: the current program's values go in again, last.
        if (preset.kind == Preset::EKind::Bank && static_cast<std::size_t>(target) < programs) {
            const auto& current = preset.programs[static_cast<std::size_t>(target)].values;
            SetValues(plugin, current,
                      std::min(current.size(), static_cast<std::size_t>(r.numParams)));
        }
    }
}

void PrintProgram(const Preset::SProgram& program, const char* indent) {
    for (std::size_t i = 0; i < program.values.size(); ++i) {
        std::printf("%sValue %zu: %.6f\n", indent, i, static_cast<double>(program.values[i]));
    }
}

} // namespace

std::shared_ptr<const Preset::SPreset> ReadPresetOption(const SOptions& options) {
    if (options.presetFile.empty()) {
        return nullptr;
    }
    return std::make_shared<const Preset::SPreset>(ReadPresetFile(options.presetFile));
}

void ApplyPresetAndSettings(CPlugin& plugin, const Preset::SPreset* preset,
                            const SOptions& options) {
    if (preset != nullptr) {
        LoadPreset(plugin, *preset, options);
    }
    ApplySettings(plugin, options.settings);
}

int RunPresetShow(const SOptions& options) {
    const Preset::SPreset preset = ReadPresetFile(options.input);
    const bool bank = Preset::IsBank(preset.kind);
    std::printf("File: %s\n", Quoted(options.input).c_str());
    std::printf("Kind: %s\n", KindText(preset.kind));
    std::printf("Format version: %d\n", preset.formatVersion);
    std::printf("Unique id: %s\n", FourCharText(preset.uniqueId).c_str());
    std::printf("Plug-in version: %d\n", preset.pluginVersion);
    std::printf("%s: %d\n", bank ? "Programs" : "Parameters", preset.count);
    if (bank && preset.formatVersion >= 2) {
        std::printf("Current program: %d\n", preset.currentProgram);
    }
    if (!bank) {
        std::printf("Program name: \"%s\"\n", Printable(preset.programs[0].name).c_str());
        PrintProgram(preset.programs[0], "");
    }
    if (preset.kind == Preset::EKind::Bank) {
        for (std::size_t i = 0; i < preset.programs.size(); ++i) {
            std::printf("Program %zu: \"%s\"\n", i, Printable(preset.programs[i].name).c_str());
            PrintProgram(preset.programs[i], "  ");
        }
    }
    if (Preset::IsChunk(preset.kind)) {
        std::printf("Chunk: %zu bytes\n", preset.chunk.size());
    }
    return kExitOk;
}

int RunPresetSave(const SOptions& options) {
    const std::string out = Quoted(options.output);
    RefuseToOverwriteInputs(options, options.output);
    const auto loaded = ReadPresetOption(options);
    CPlugin plugin(options.plugin);
    plugin.Open(44100.0f, options.blockSize);
    ApplyPresetAndSettings(plugin, loaded.get(), options);
    const Preset::SPreset preset = Capture(plugin, options.saveBank);
    const std::vector<std::uint8_t> bytes = Preset::Serialise(preset);
    {
        COutputFile output(options.output);
        if (std::fwrite(bytes.data(), 1, bytes.size(), output.Stream()) != bytes.size()) {
            throw Exceptions::HostFailure("cannot write " + out + ": " + LastErrorText());
        }
        output.Commit();
    }
    plugin.Close();
    switch (preset.kind) {
    case Preset::EKind::Program:
        std::printf("Saved program \"%s\" (%zu parameter values) to %s\n",
                    Printable(preset.programs[0].name).c_str(), preset.programs[0].values.size(),
                    out.c_str());
        break;
    case Preset::EKind::ProgramChunk:
        std::printf("Saved program \"%s\" (a chunk of %zu bytes) to %s\n",
                    Printable(preset.programs[0].name).c_str(), preset.chunk.size(), out.c_str());
        break;
    case Preset::EKind::Bank:
        std::printf("Saved a bank of %zu program(s) (current %d) to %s\n", preset.programs.size(),
                    preset.currentProgram, out.c_str());
        break;
    case Preset::EKind::BankChunk:
        std::printf("Saved the plug-in's state as one bank chunk of %zu bytes (current program "
                    "%d) to %s\n",
                    preset.chunk.size(), preset.currentProgram, out.c_str());
        break;
    }
    return kExitOk;
}

} // namespace VLM
