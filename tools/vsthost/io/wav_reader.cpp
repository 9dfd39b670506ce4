// The built-in WAV reader: RIFF and RF64, PCM and float, plain or extensible format chunk.
#include "io/audio_file.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "io/wav_format.h"
#include "os/files.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace VLM {
namespace {

using namespace WavFormat;

class CWavReader : public CAudioReader {
public:
    explicit CWavReader(const std::string& path) : name("'" + Printable(path) + "'") {
        file = OpenStream(path, "rb");
        if (file == nullptr) {
            throw Exceptions::HostFailure("cannot read " + name + ": " + std::strerror(errno));
        }
        try {
            ParseHeader();
        } catch (...) {
            std::fclose(file);
            throw;
        }
    }

    ~CWavReader() override { std::fclose(file); }

    std::size_t Read(float* interleaved, std::size_t count) override {
        const std::uint64_t left = static_cast<std::uint64_t>(frames) - position;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
        if (n == 0) {
            return 0;
        }
        const std::size_t bytes = n * frameBytes;
        raw.resize(bytes);
        if (std::fread(raw.data(), 1, bytes, file) != bytes) {
            throw Exceptions::HostFailure("cannot read " + name + ": the file ends early");
        }
        const std::size_t samples = n * static_cast<std::size_t>(channels);
        const std::uint8_t* p = raw.data();
        const int width = BytesPerSample(type);
        for (std::size_t i = 0; i < samples; ++i, p += width) {
            interleaved[i] = Decode(p);
        }
        position += n;
        return n;
    }

private:
    float Decode(const std::uint8_t* p) const {
        switch (type) {
        case ESampleType::Int8:
            return static_cast<float>(static_cast<int>(p[0]) - 128) / 128.0f;
        case ESampleType::Int16:
            return static_cast<float>(static_cast<std::int16_t>(Le16(p))) / 32768.0f;
        case ESampleType::Int24: {
            const std::int32_t v =
                static_cast<std::int32_t>((static_cast<std::uint32_t>(p[0]) << 8) |
                                          (static_cast<std::uint32_t>(p[1]) << 16) |
                                          (static_cast<std::uint32_t>(p[2]) << 24)) /
                256;
            return static_cast<float>(v) / 8388608.0f;
        }
        case ESampleType::Int32:
            return static_cast<float>(static_cast<double>(static_cast<std::int32_t>(Le32(p))) /
                                      2147483648.0);
        case ESampleType::Float32: {
            const std::uint32_t bits = Le32(p);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        case ESampleType::Float64: {
            const std::uint64_t bits = Le64(p);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return static_cast<float>(d);
        }
        default:
            return 0.0f;
        }
    }

    [[noreturn]] void NotWav(const std::string& why) const {
        throw Exceptions::HostFailure(name + " is not a readable WAV file: " + why);
    }

    void ParseHeader() {
        std::uint8_t header[12];
        if (std::fread(header, 1, sizeof header, file) != sizeof header || !IsWavHeader(header)) {
            throw Exceptions::HostFailure(
                name + " is not a WAV or RF64 file, the formats this build reads");
        }
        // RF64 (and its twin BW64) keep the 64-bit sizes in a ds64 chunk right after WAVE.
        const bool rf64 = std::memcmp(header, "RIFF", 4) != 0;
        std::uint64_t ds64DataBytes = 0;
        bool haveDs64 = false;
        bool haveFormat = false;
        for (;;) {
            std::uint8_t chunk[8];
            if (std::fread(chunk, 1, sizeof chunk, file) != sizeof chunk) {
                NotWav(haveFormat ? "no data chunk" : "no format chunk");
            }
            const std::uint32_t size = Le32(chunk + 4);
            if (std::memcmp(chunk, "fmt ", 4) == 0) {
                if (size < 16 || size > 1024) {
                    NotWav("a format chunk of unusual size");
                }
                std::vector<std::uint8_t> fmt(size + (size & 1u));
                if (std::fread(fmt.data(), 1, fmt.size(), file) != fmt.size()) {
                    NotWav("the format chunk is cut short");
                }
                ParseFormat(fmt.data(), size);
                haveFormat = true;
            } else if (rf64 && std::memcmp(chunk, "ds64", 4) == 0) {
                std::uint8_t ds64[28];
                if (size < 28 || std::fread(ds64, 1, sizeof ds64, file) != sizeof ds64 ||
                    SeekStream(file, std::int64_t{size} + (size & 1u) - 28, SEEK_CUR) != 0) {
                    NotWav("the RF64 size chunk is damaged");
                }
                ds64DataBytes = Le64(ds64 + 8);
                haveDs64 = true;
            } else if (std::memcmp(chunk, "data", 4) == 0) {
                if (!haveFormat) {
                    NotWav("the data chunk comes before the format chunk");
                }
                if (rf64 && !haveDs64) {
                    NotWav("an RF64 file without its size chunk");
                }
                // 0 or 0xFFFFFFFF is the size a writer leaves when it could not finish (or
                // streamed): the audio is the rest of the file.
                std::uint64_t declared = size;
                const bool open = size == 0 || (size == 0xFFFFFFFFu && !rf64);
                if (rf64 && size == 0xFFFFFFFFu) {
                    declared = ds64DataBytes;
                }
                const std::int64_t start = TellStream(file);
                SeekStream(file, 0, SEEK_END);
                const std::int64_t end = TellStream(file);
                SeekStream(file, start, SEEK_SET);
                const std::uint64_t available =
                    end > start ? static_cast<std::uint64_t>(end - start) : 0;
                frames = static_cast<std::int64_t>(
                    (open ? available : std::min(available, declared)) / frameBytes);
                declaredFrames = open ? frames : static_cast<std::int64_t>(declared / frameBytes);
                return;
            } else {
                const std::int64_t skip = std::int64_t{size} + (size & 1u);
                if (SeekStream(file, skip, SEEK_CUR) != 0) {
                    NotWav("a chunk runs past the end of the file");
                }
            }
        }
    }

    void ParseFormat(const std::uint8_t* fmt, std::uint32_t size) {
        std::uint16_t tag = Le16(fmt);
        const std::uint16_t channelCount = Le16(fmt + 2);
        const std::uint32_t rate = Le32(fmt + 4);
        const std::uint16_t blockAlign = Le16(fmt + 12);
        const std::uint16_t bits = Le16(fmt + 14);
        if (tag == kFormatExtensible) {
            if (size < 40) {
                NotWav("an extensible format chunk of unusual size");
            }
            tag = Le16(fmt + 24); // the first two bytes of the sub-format GUID
        }
        if (channelCount == 0) {
            NotWav("no channels");
        }
        const int container = (bits + 7) / 8;
        if (tag == kFormatPcm && bits >= 1 && bits <= 32) {
            type = container == 1   ? ESampleType::Int8
                   : container == 2 ? ESampleType::Int16
                   : container == 3 ? ESampleType::Int24
                                    : ESampleType::Int32;
        } else if (tag == kFormatFloat && (bits == 32 || bits == 64)) {
            type = bits == 32 ? ESampleType::Float32 : ESampleType::Float64;
        } else {
            throw Detail::UnsupportedEncoding(
                Format("%s uses an encoding that cannot be read (format %u, %u bits); PCM and "
                       "float WAV files can",
                       name.c_str(), tag, bits));
        }
        if (blockAlign != channelCount * BytesPerSample(type)) {
            NotWav("the block alignment does not match the channels and sample size");
        }
        channels = channelCount;
        sampleRate = rate;
        frameBytes = blockAlign;
    }

    std::string name;
    std::FILE* file = nullptr;
    std::size_t frameBytes = 0;
    std::uint64_t position = 0;
    std::vector<std::uint8_t> raw;
};

} // namespace

const char* SampleTypeName(ESampleType type) {
    switch (type) {
    case ESampleType::Int8:
        return "8-bit integer";
    case ESampleType::Int16:
        return "16-bit integer";
    case ESampleType::Int24:
        return "24-bit integer";
    case ESampleType::Int32:
        return "32-bit integer";
    case ESampleType::Float32:
        return "32-bit float";
    case ESampleType::Float64:
        return "64-bit float";
    default:
        return "other";
    }
}

std::unique_ptr<CAudioReader> OpenWavReader(const std::string& path) {
    return std::make_unique<CWavReader>(path);
}

namespace Detail {

bool LooksLikeWav(const std::string& path) {
    std::FILE* f = OpenStream(path, "rb");
    if (f == nullptr) {
        return false;
    }
    std::uint8_t header[12];
    const bool wav =
        std::fread(header, 1, sizeof header, f) == sizeof header && IsWavHeader(header);
    std::fclose(f);
    return wav;
}

void CheckReadable(const CAudioReader& reader, const std::string& name) {
    const double rate = reader.SampleRate();
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate)) {
        throw Exceptions::HostFailure(
            Format("%s has a sample rate of %.0f Hz; only 1 kHz to 1 MHz can be rendered",
                   name.c_str(), rate));
    }
    if (reader.Channels() < 1) {
        throw Exceptions::HostFailure(name + " has no channels");
    }
}

} // namespace Detail

#if !defined(VLM_HOST_SNDFILE)
std::unique_ptr<CAudioReader> OpenAudioReader(const std::string& path) {
    auto reader = OpenWavReader(path);
    Detail::CheckReadable(*reader, "'" + Printable(path) + "'");
    return reader;
}
#endif

} // namespace VLM
