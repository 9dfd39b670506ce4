// Streaming audio file access. WAV (RIFF and RF64, PCM and float) is read and written by the
// built-in codec on every build, so both builds read the same samples and write the same bytes;
// the Linux build reads the other formats libsndfile knows through libsndfile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/errors.h"

namespace VLM {

enum class ESampleType { Int8, Int16, Int24, Int32, Float32, Float64, Other };

const char* SampleTypeName(ESampleType type);

// Sample rates the tool accepts for inputs and --rate: what the plug-in is designed for.
constexpr double kMinSampleRate = 1000.0;
constexpr double kMaxSampleRate = 1000000.0;

class CAudioReader {
public:
    virtual ~CAudioReader() = default;
    int Channels() const { return channels; }
    double SampleRate() const { return sampleRate; }
    // The frames the file really holds (what Read delivers in total).
    std::int64_t Frames() const { return frames; }
    // The frames its header announces; more than Frames() when the file was cut short.
    std::int64_t DeclaredFrames() const { return declaredFrames; }
    ESampleType Type() const { return type; }
    // Reads up to `count` frames as interleaved floats (full scale 1.0); returns the number
    // read, 0 at the end. Throws Exceptions::HostFailure on a read error.
    virtual std::size_t Read(float* interleaved, std::size_t count) = 0;

protected:
    int channels = 0;
    double sampleRate = 0.0;
    std::int64_t frames = 0;
    std::int64_t declaredFrames = 0;
    ESampleType type = ESampleType::Other;
};

class CAudioWriter {
public:
    virtual ~CAudioWriter() = default;
    // Integer formats round to the nearest step and saturate at full scale.
    virtual void Write(const float* interleaved, std::size_t count) = 0;
    // Completes the file; throws Exceptions::HostFailure when it could not be written whole.
    virtual void Finish() = 0;
};

enum class EDither { None, Tpdf };

struct SWriteFormat {
    int channels = 2;
    double sampleRate = 44100.0;
    ESampleType type = ESampleType::Float32; // Other is written as 32-bit float
    EDither dither = EDither::None;          // applies to 8, 16 and 24 bits
    std::int64_t frames = -1;                // exact frame count when known in advance
};

// Opens a file for reading, refusing sample rates outside kMinSampleRate..kMaxSampleRate.
std::unique_ptr<CAudioReader> OpenAudioReader(const std::string& path);

// Writes a WAV (RF64 when it reaches 4 GiB) to `stream`, which the caller opened and closes.
// When `seekable` is false the header is written up front from format.frames and never
// patched. `name` is how messages refer to the output (the user's path, quoted).
std::unique_ptr<CAudioWriter> CreateAudioWriter(std::FILE* stream, bool seekable,
                                                const SWriteFormat& format,
                                                const std::string& name = "the output");

// The same into a file of its own at `path`, closed by Finish; messages name `shownPath`
// (the user's path when `path` is a temporary file), or `path` when it is empty.
std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, const SWriteFormat& format,
                                                const std::string& shownPath = "");
std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, int channels,
                                                double sampleRate, ESampleType type);

// The built-in codec: RIFF or RF64 WAVE with PCM (8 to 32 bits) or IEEE float (32 or 64
// bits), plain or extensible format chunk. It takes any sample rate; OpenAudioReader checks.
std::unique_ptr<CAudioReader> OpenWavReader(const std::string& path);
std::unique_ptr<CAudioWriter> CreateWavWriter(const std::string& path, int channels,
                                              double sampleRate, ESampleType type);

namespace Detail {
// A WAV file whose encoding the built-in codec does not decode (ADPCM, A-law, ...).
class UnsupportedEncoding : public Exceptions::HostFailure {
public:
    using HostFailure::HostFailure;
};

// RIFF sizes are 32-bit: a file of more bytes than this is written as RF64. Tests lower it.
constexpr std::uint64_t kPlainWavMaxBytes = 0xFFFFFFFFu;

std::unique_ptr<CAudioWriter> CreateWavWriter(std::FILE* stream, bool seekable,
                                              const SWriteFormat& format, const std::string& name,
                                              std::uint64_t plainWavMaxBytes);
// True when the file starts like a RIFF/RF64 WAVE file (the built-in codec's inputs).
bool LooksLikeWav(const std::string& path);
// The common checks of every reader: channel count and sample rate.
void CheckReadable(const CAudioReader& reader, const std::string& name);
} // namespace Detail

} // namespace VLM
