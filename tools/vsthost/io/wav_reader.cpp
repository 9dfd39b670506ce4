#include "io/audio_file.h"

#include "common/errors.h"
#include "common/text_format.h"
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

std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

bool IsWavHeader(const std::uint8_t* p) {
    return (std::memcmp(p, "RIFF", 4) == 0 || std::memcmp(p, "RF64", 4) == 0 ||
            std::memcmp(p, "BW64", 4) == 0) &&
           std::memcmp(p + 8, "WAVE", 4) == 0;
}

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

void Put64(std::uint8_t* p, std::uint64_t v) {
    Put32(p, static_cast<std::uint32_t>(v));
    Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
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

// The header: RIFF (or RF64), a 28-byte JUNK chunk that becomes the ds64 chunk of an RF64
// file, fmt (18 bytes with a fact chunk for float, 40 bytes extensible beyond two
// channels), data. Its layout does not depend on the sizes, so a seekable file is patched in
// place at the end.
class CWavWriter : public CAudioWriter {
public:
    CWavWriter(std::FILE* stream, bool isSeekable, const SWriteFormat& format,
               std::string shownName, std::uint64_t plainMaxBytes)
        : name(std::move(shownName)), file(stream), seekable(isSeekable), channels(format.channels),
          type(format.type == ESampleType::Other ? ESampleType::Float32 : format.type),
          width(static_cast<std::uint32_t>(BytesPerSample(type))),
          dither(format.dither == EDither::Tpdf &&
                 (type == ESampleType::Int8 || type == ESampleType::Int16 ||
                  type == ESampleType::Int24)),
          announcedFrames(format.frames), plainWavMaxBytes(plainMaxBytes) {
        if (channels < 1 || channels > 64) {
            throw Exceptions::HostFailure(
                Format("cannot write %s: %d channels is not a channel count WAV files carry",
                       name.c_str(), channels));
        }
        if (!(format.sampleRate >= 1.0 && format.sampleRate <= 4294967295.0)) {
            throw Exceptions::HostFailure(
                Format("cannot write %s: a sample rate of %g Hz", name.c_str(), format.sampleRate));
        }
        sampleRate = static_cast<std::uint32_t>(std::llround(format.sampleRate));
        if (seekable) {
            start = TellStream(file);
            if (start < 0) {
                seekable = false;
            }
        }
        if (!seekable && announcedFrames < 0) {
            // Length unknown and no way back: the streaming convention, all sizes at maximum.
            PutHeader(kUnknownSize, true);
        } else {
            PutHeader(static_cast<std::uint64_t>(std::max<std::int64_t>(announcedFrames, 0)) *
                          FrameBytes(),
                      false);
        }
    }

    void Write(const float* interleaved, std::size_t count) override {
        if (!seekable && announcedFrames >= 0 &&
            static_cast<std::uint64_t>(announcedFrames) - writtenFrames < count) {
            throw Exceptions::HostFailure(
                Format("cannot write %s: more than the %lld frames its header announces",
                       name.c_str(), static_cast<long long>(announcedFrames)));
        }
        const std::size_t samples = count * static_cast<std::size_t>(channels);
        raw.resize(samples * width);
        std::uint8_t* p = raw.data();
        for (std::size_t i = 0; i < samples; ++i, p += width) {
            Encode(interleaved[i], p);
        }
        Put(raw.data(), raw.size());
        writtenFrames += count;
    }

    void Finish() override {
        std::uint64_t missing = 0;
        if (!seekable && announcedFrames >= 0) {
            // Keep the stream a whole file: fill up to the length its header announced.
            missing = static_cast<std::uint64_t>(announcedFrames) - writtenFrames;
            const std::vector<float> silence(4096 * static_cast<std::size_t>(channels), 0.0f);
            for (std::uint64_t left = missing; left > 0;) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, 4096));
                const bool keep = dither;
                dither = false;
                Write(silence.data(), n);
                dither = keep;
                left -= n;
            }
        }
        const std::uint64_t bytes = writtenFrames * FrameBytes();
        if ((bytes & 1u) != 0) {
            const std::uint8_t pad = 0;
            Put(&pad, 1);
        }
        if (seekable) {
            if (SeekStream(file, start, SEEK_SET) != 0) {
                Fail();
            }
            PutHeader(bytes, false);
            if (SeekStream(file, 0, SEEK_END) != 0) {
                Fail();
            }
        }
        if (std::fflush(file) != 0 || std::ferror(file) != 0) {
            Fail();
        }
        if (missing > 0) {
            throw Exceptions::HostFailure(
                Format("%s ends after %llu of the %lld frames announced; the rest is silence",
                       name.c_str(), static_cast<unsigned long long>(writtenFrames - missing),
                       static_cast<long long>(announcedFrames)));
        }
    }

private:
    static constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};

    std::uint64_t FrameBytes() const { return static_cast<std::uint64_t>(channels) * width; }

    bool IsFloat() const { return type == ESampleType::Float32 || type == ESampleType::Float64; }

    // Round to the nearest step (after the dither, when on) and saturate: never wrap around.
    std::int64_t Quantise(float x, double scale, double lo, double hi) {
        if (std::isnan(x)) {
            return 0;
        }
        double s = static_cast<double>(x) * scale;
        if (dither) {
            s += NextTriangular();
        }
        return static_cast<std::int64_t>(std::min(hi, std::max(lo, RoundHalfEven(s))));
    }

    // Nearest, ties to even, whatever rounding mode a plug-in left in the control register:
    // floor is exact, and so are s + 0.5 and r - s for every sample value written.
    static double RoundHalfEven(double s) {
        double r = std::floor(s + 0.5);
        if (r - s == 0.5 && std::fmod(r, 2.0) != 0.0) {
            r -= 1.0;
        }
        return r;
    }

    // Triangular noise from -1 to +1 step: the difference of two uniform variables, from a
    // fixed-seed xorshift generator so that a render is reproducible.
    double NextTriangular() {
        noise ^= noise << 13;
        noise ^= noise >> 7;
        noise ^= noise << 17;
        constexpr double kUnit = 1.0 / 4294967296.0;
        return static_cast<double>(static_cast<std::uint32_t>(noise)) * kUnit -
               static_cast<double>(static_cast<std::uint32_t>(noise >> 32)) * kUnit;
    }

    void Encode(float v, std::uint8_t* p) {
        switch (type) {
        case ESampleType::Int8:
            p[0] = static_cast<std::uint8_t>(Quantise(v, 128.0, -128.0, 127.0) + 128);
            break;
        case ESampleType::Int16:
            Put16(p, static_cast<std::uint32_t>(Quantise(v, 32768.0, -32768.0, 32767.0)));
            break;
        case ESampleType::Int24: {
            const auto s =
                static_cast<std::uint32_t>(Quantise(v, 8388608.0, -8388608.0, 8388607.0));
            Put16(p, s);
            p[2] = static_cast<std::uint8_t>(s >> 16);
            break;
        }
        case ESampleType::Int32:
            Put32(p, static_cast<std::uint32_t>(
                         Quantise(v, 2147483648.0, -2147483648.0, 2147483647.0)));
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

    void PutHeader(std::uint64_t dataBytes, bool unknown) {
        const bool extensible = channels > 2;
        const std::uint32_t fmtBytes = extensible ? 40 : IsFloat() ? 18 : 16;
        const bool fact = IsFloat();
        std::uint8_t h[12 + 36 + 8 + 40 + 12 + 8] = {};
        std::size_t n = 12;
        std::memcpy(h + 8, "WAVE", 4);
        // The ds64 chunk (or the JUNK chunk that reserves its place).
        const std::size_t ds64 = n;
        Put32(h + n + 4, 28);
        n += 36;
        std::memcpy(h + n, "fmt ", 4);
        Put32(h + n + 4, fmtBytes);
        std::uint8_t* f = h + n + 8;
        Put16(f, extensible ? kFormatExtensible : IsFloat() ? kFormatFloat : kFormatPcm);
        Put16(f + 2, static_cast<std::uint32_t>(channels));
        Put32(f + 4, sampleRate);
        Put32(f + 8, static_cast<std::uint32_t>(sampleRate * FrameBytes()));
        Put16(f + 12, static_cast<std::uint32_t>(FrameBytes()));
        Put16(f + 14, width * 8);
        if (fmtBytes > 16) {
            Put16(f + 16, fmtBytes - 18); // cbSize
        }
        if (extensible) {
            Put16(f + 18, width * 8); // valid bits
            Put32(f + 20, channels <= 18 ? (1u << channels) - 1u : 0u);
            // The sub-format GUID: the format tag followed by the standard suffix.
            static const std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
            Put16(f + 24, IsFloat() ? kFormatFloat : kFormatPcm);
            std::memcpy(f + 26, kGuidTail, sizeof kGuidTail);
        }
        n += 8 + fmtBytes;
        std::size_t factAt = 0;
        if (fact) {
            std::memcpy(h + n, "fact", 4);
            Put32(h + n + 4, 4);
            factAt = n + 8;
            n += 12;
        }
        std::memcpy(h + n, "data", 4);
        const std::size_t dataAt = n + 4;
        n += 8;

        if (unknown) {
            std::memcpy(h, "RIFF", 4);
            std::memcpy(h + ds64, "JUNK", 4);
            Put32(h + 4, 0xFFFFFFFFu);
            Put32(h + dataAt, 0xFFFFFFFFu);
            if (fact) {
                Put32(h + factAt, 0xFFFFFFFFu);
            }
        } else {
            const std::uint64_t frameCount = dataBytes / FrameBytes();
            const std::uint64_t riffBytes = n - 8 + dataBytes + (dataBytes & 1u);
            const std::uint32_t frames32 =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(frameCount, 0xFFFFFFFFu));
            if (riffBytes + 8 > plainWavMaxBytes) {
                std::memcpy(h, "RF64", 4);
                std::memcpy(h + ds64, "ds64", 4);
                Put32(h + 4, 0xFFFFFFFFu);
                Put64(h + ds64 + 8, riffBytes);
                Put64(h + ds64 + 16, dataBytes);
                Put64(h + ds64 + 24, frameCount);
                Put32(h + dataAt, 0xFFFFFFFFu);
                if (fact) {
                    Put32(h + factAt, frames32);
                }
            } else {
                std::memcpy(h, "RIFF", 4);
                std::memcpy(h + ds64, "JUNK", 4);
                Put32(h + 4, static_cast<std::uint32_t>(riffBytes));
                Put32(h + dataAt, static_cast<std::uint32_t>(dataBytes));
                if (fact) {
                    Put32(h + factAt, frames32);
                }
            }
        }
        Put(h, n);
    }

    void Put(const void* data, std::size_t size) {
        if (std::fwrite(data, 1, size, file) != size) {
            Fail();
        }
    }

    [[noreturn]] void Fail() const {
        const int error = errno;
        throw Exceptions::HostFailure("cannot write " + name + ": " +
                                      (error != 0 ? std::strerror(error) : "write error"));
    }

    std::string name;
    std::FILE* file;
    bool seekable;
    int channels;
    ESampleType type;
    std::uint32_t width;
    bool dither;
    std::int64_t announcedFrames;
    std::uint64_t plainWavMaxBytes;
    std::uint32_t sampleRate = 0;
    std::int64_t start = 0;
    std::uint64_t writtenFrames = 0;
    std::uint64_t noise = 0x9E3779B97F4A7C15u;
    std::vector<std::uint8_t> raw;
};

// A writer into a file it opened itself and closes at the end.
class CFileWriter : public CAudioWriter {
public:
    CFileWriter(const std::string& path, const SWriteFormat& format, const std::string& shown)
        : name("'" + Printable(shown.empty() ? path : shown) + "'") {
        file = OpenStream(path, "wb");
        if (file == nullptr) {
            throw Exceptions::HostFailure("cannot write " + name + ": " + std::strerror(errno));
        }
        try {
            writer =
                std::make_unique<CWavWriter>(file, true, format, name, Detail::kPlainWavMaxBytes);
        } catch (...) {
            std::fclose(file);
            throw;
        }
    }

    ~CFileWriter() override {
        if (file != nullptr) {
            std::fclose(file);
        }
    }

    void Write(const float* interleaved, std::size_t count) override {
        writer->Write(interleaved, count);
    }

    void Finish() override {
        writer->Finish();
        const int closed = std::fclose(file);
        file = nullptr;
        if (closed != 0) {
            throw Exceptions::HostFailure("cannot write " + name + ": " + std::strerror(errno));
        }
    }

private:
    std::string name;
    std::FILE* file = nullptr;
    std::unique_ptr<CWavWriter> writer;
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
    SWriteFormat format;
    format.channels = channels;
    format.sampleRate = sampleRate;
    format.type = type;
    return std::make_unique<CFileWriter>(path, format, "");
}

std::unique_ptr<CAudioWriter> CreateAudioWriter(std::FILE* stream, bool seekable,
                                                const SWriteFormat& format,
                                                const std::string& name) {
    return std::make_unique<CWavWriter>(stream, seekable, format, name, Detail::kPlainWavMaxBytes);
}

std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, const SWriteFormat& format,
                                                const std::string& shownPath) {
    return std::make_unique<CFileWriter>(path, format, shownPath);
}

std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, int channels,
                                                double sampleRate, ESampleType type) {
    return CreateWavWriter(path, channels, sampleRate, type);
}

namespace Detail {

std::unique_ptr<CAudioWriter> CreateWavWriter(std::FILE* stream, bool seekable,
                                              const SWriteFormat& format, const std::string& name,
                                              std::uint64_t plainWavMaxBytes) {
    return std::make_unique<CWavWriter>(stream, seekable, format, name, plainWavMaxBytes);
}

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
