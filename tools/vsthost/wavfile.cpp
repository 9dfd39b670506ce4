#include "audiofile.h"

#include "errors.h"
#include "files.h"
#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace VLM {
namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// 64-bit offsets: long is 32 bits on Windows.
std::int64_t Tell(std::FILE* f) {
#if defined(_WIN32)
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}

int Seek(std::FILE* f, std::int64_t offset, int origin) {
#if defined(_WIN32)
    return _fseeki64(f, offset, origin);
#else
    return fseeko(f, static_cast<off_t>(offset), origin);
#endif
}

int BytesPerSample(ESampleType type) {
    switch (type) {
    case ESampleType::Int8:
        return 1;
    case ESampleType::Int16:
        return 2;
    case ESampleType::Int24:
        return 3;
    case ESampleType::Int32:
    case ESampleType::Float32:
        return 4;
    case ESampleType::Float64:
        return 8;
    default:
        return 0;
    }
}

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
        const std::uint64_t left = dataFrames - position;
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
            const std::uint64_t bits = static_cast<std::uint64_t>(Le32(p)) |
                                       (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
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
        if (std::fread(header, 1, sizeof header, file) != sizeof header ||
            std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
            NotWav("no RIFF WAVE header");
        }
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
            } else if (std::memcmp(chunk, "data", 4) == 0) {
                if (!haveFormat) {
                    NotWav("the data chunk comes before the format chunk");
                }
                // A size left at 0 or too large by a writer that did not finish: take what
                // the file really holds.
                const std::int64_t start = Tell(file);
                Seek(file, 0, SEEK_END);
                const std::int64_t end = Tell(file);
                Seek(file, start, SEEK_SET);
                std::uint64_t available = end > start ? static_cast<std::uint64_t>(end - start) : 0;
                if (size != 0 && size != 0xFFFFFFFFu) {
                    available = std::min<std::uint64_t>(available, size);
                }
                dataFrames = available / frameBytes;
                frames = static_cast<std::int64_t>(dataFrames);
                return;
            } else {
                const std::int64_t skip = std::int64_t{size} + (size & 1u);
                if (Seek(file, skip, SEEK_CUR) != 0) {
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
        if (rate == 0) {
            NotWav("a sample rate of 0");
        }
        const int container = (bits + 7) / 8;
        if (tag == kFormatPcm && bits >= 1 && bits <= 32) {
            type = container == 1   ? ESampleType::Int8
                   : container == 2 ? ESampleType::Int16
                   : container == 3 ? ESampleType::Int24
                                    : ESampleType::Int32;
        } else if (tag == kFormatFloat && bits == 32) {
            type = ESampleType::Float32;
        } else if (tag == kFormatFloat && bits == 64) {
            type = ESampleType::Float64;
        } else {
            NotWav(Format("unsupported encoding (format %u, %u bits)", tag, bits));
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
    std::uint64_t dataFrames = 0;
    std::uint64_t position = 0;
    std::vector<std::uint8_t> raw;
};

class CWavWriter : public CAudioWriter {
public:
    CWavWriter(const std::string& path, int channelCount, double rate, ESampleType sampleType)
        : name("'" + Printable(path) + "'"), channels(channelCount),
          type(sampleType == ESampleType::Other ? ESampleType::Float32 : sampleType) {
        if (channels < 1 || channels > 2) {
            throw Exceptions::HostFailure(Format("cannot write %d channels", channels));
        }
        if (!(rate >= 1.0 && rate <= 4.0e9)) {
            throw Exceptions::HostFailure("cannot write a sample rate of " + Format("%g", rate));
        }
        sampleRate = static_cast<std::uint32_t>(std::lround(rate));
        file = OpenStream(path, "wb");
        if (file == nullptr) {
            throw Exceptions::HostFailure("cannot write " + name + ": " + std::strerror(errno));
        }
        WriteHeader(0);
    }

    ~CWavWriter() override {
        if (file != nullptr) {
            std::fclose(file);
        }
    }

    void Write(const float* interleaved, std::size_t count) override {
        const int width = BytesPerSample(type);
        const std::size_t samples = count * static_cast<std::size_t>(channels);
        raw.resize(samples * static_cast<std::size_t>(width));
        std::uint8_t* p = raw.data();
        for (std::size_t i = 0; i < samples; ++i, p += width) {
            Encode(interleaved[i], p);
        }
        Put(raw.data(), raw.size());
        dataBytes += raw.size();
    }

    void Finish() override {
        // RIFF sizes are 32-bit; with the header, 4 GiB is the limit.
        if (dataBytes > 0xFFFFFF00u) {
            throw Exceptions::HostFailure(name + " would exceed the 4 GB limit of a WAV file");
        }
        if ((dataBytes & 1u) != 0) {
            const std::uint8_t pad = 0;
            Put(&pad, 1);
        }
        if (Seek(file, 0, SEEK_SET) != 0) {
            Fail();
        }
        WriteHeader(static_cast<std::uint32_t>(dataBytes));
        const int closed = std::fclose(file);
        file = nullptr;
        if (closed != 0) {
            Fail();
        }
    }

private:
    void Encode(float v, std::uint8_t* p) const {
        auto quantise = [](float x, double scale, double lo, double hi) {
            double s = std::isnan(x) ? 0.0 : std::nearbyint(static_cast<double>(x) * scale);
            s = std::min(hi, std::max(lo, s));
            return static_cast<std::int64_t>(s);
        };
        switch (type) {
        case ESampleType::Int8:
            p[0] = static_cast<std::uint8_t>(quantise(v, 128.0, -128.0, 127.0) + 128);
            break;
        case ESampleType::Int16:
            Put16(p, static_cast<std::uint32_t>(quantise(v, 32768.0, -32768.0, 32767.0)));
            break;
        case ESampleType::Int24: {
            const auto s =
                static_cast<std::uint32_t>(quantise(v, 8388608.0, -8388608.0, 8388607.0));
            Put16(p, s);
            p[2] = static_cast<std::uint8_t>(s >> 16);
            break;
        }
        case ESampleType::Int32:
            Put32(p, static_cast<std::uint32_t>(
                         quantise(v, 2147483648.0, -2147483648.0, 2147483647.0)));
            break;
        case ESampleType::Float32: {
            std::uint32_t bits;
            std::memcpy(&bits, &v, sizeof bits);
            Put32(p, bits);
            break;
        }
        case ESampleType::Float64: {
            const double d = v;
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            Put32(p, static_cast<std::uint32_t>(bits));
            Put32(p + 4, static_cast<std::uint32_t>(bits >> 32));
            break;
        }
        default:
            break;
        }
    }

    void WriteHeader(std::uint32_t bytes) {
        const bool isFloat = type == ESampleType::Float32 || type == ESampleType::Float64;
        const auto width = static_cast<std::uint32_t>(BytesPerSample(type));
        const auto align = static_cast<std::uint32_t>(channels) * width;
        const std::uint32_t frameCount = align != 0 ? bytes / align : 0;
        std::uint8_t h[58] = {};
        std::size_t n = 0;
        std::memcpy(h, "RIFF", 4);
        std::memcpy(h + 8, "WAVE", 4);
        std::memcpy(h + 12, "fmt ", 4);
        if (isFloat) {
            // Float files carry the extended format chunk and a fact chunk, as readers expect.
            Put32(h + 16, 18);
            Put16(h + 20, kFormatFloat);
            n = 38;
        } else {
            Put32(h + 16, 16);
            Put16(h + 20, kFormatPcm);
            n = 36;
        }
        Put16(h + 22, static_cast<std::uint32_t>(channels));
        Put32(h + 24, sampleRate);
        Put32(h + 28, sampleRate * align);
        Put16(h + 32, align);
        Put16(h + 34, width * 8);
        if (isFloat) {
            std::memcpy(h + n, "fact", 4);
            Put32(h + n + 4, 4);
            Put32(h + n + 8, frameCount);
            n += 12;
        }
        std::memcpy(h + n, "data", 4);
        Put32(h + n + 4, bytes);
        n += 8;
        Put32(h + 4, static_cast<std::uint32_t>(n - 8 + bytes + (bytes & 1u)));
        Put(h, n);
    }

    void Put(const void* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file) != size) {
            Fail();
        }
    }

    [[noreturn]] void Fail() const {
        throw Exceptions::HostFailure("cannot write " + name + ": " + std::strerror(errno));
    }

    std::string name;
    std::FILE* file = nullptr;
    int channels;
    ESampleType type;
    std::uint32_t sampleRate = 0;
    std::uint64_t dataBytes = 0;
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

std::unique_ptr<CAudioWriter> CreateWavWriter(const std::string& path, int channels,
                                              double sampleRate, ESampleType type) {
    return std::make_unique<CWavWriter>(path, channels, sampleRate, type);
}

#if !defined(VLM_HOST_SNDFILE)
std::unique_ptr<CAudioReader> OpenAudioReader(const std::string& path) {
    return OpenWavReader(path);
}

std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, int channels,
                                                double sampleRate, ESampleType type) {
    return CreateWavWriter(path, channels, sampleRate, type);
}
#endif

} // namespace VLM
