// Streaming audio file access. The Linux build reads every format libsndfile reads; the
// Windows build, which has no libsndfile, uses the built-in WAV codec below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace VLM {

enum class ESampleType { Int8, Int16, Int24, Int32, Float32, Float64, Other };

const char* SampleTypeName(ESampleType type);

class CAudioReader {
public:
    virtual ~CAudioReader() = default;
    int Channels() const { return channels; }
    double SampleRate() const { return sampleRate; }
    std::int64_t Frames() const { return frames; }
    ESampleType Type() const { return type; }
    /// Reads up to `count` frames as interleaved floats (full scale 1.0); returns the number
    /// read, 0 at the end. Throws Exceptions::HostFailure on a read error.
    virtual std::size_t Read(float* interleaved, std::size_t count) = 0;

protected:
    int channels = 0;
    double sampleRate = 0.0;
    std::int64_t frames = 0;
    ESampleType type = ESampleType::Other;
};

class CAudioWriter {
public:
    virtual ~CAudioWriter() = default;
    /// Integer formats saturate at full scale rather than wrap around.
    virtual void Write(const float* interleaved, std::size_t count) = 0;
    /// Completes the file; throws Exceptions::HostFailure when it could not be written whole.
    virtual void Finish() = 0;
};

/// The reader and writer of this build. `type` Other is written as 32-bit float.
std::unique_ptr<CAudioReader> OpenAudioReader(const std::string& path);
std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, int channels,
                                                double sampleRate, ESampleType type);

/// The built-in codec: RIFF WAVE with PCM (8 to 32 bits) or IEEE float (32 or 64 bits),
/// plain or extensible format chunk.
std::unique_ptr<CAudioReader> OpenWavReader(const std::string& path);
std::unique_ptr<CAudioWriter> CreateWavWriter(const std::string& path, int channels,
                                              double sampleRate, ESampleType type);

} // namespace VLM
