// The built-in WAV writer: RIFF, RF64 beyond 4 GiB, PCM with optional dither or float.
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

} // namespace Detail

} // namespace VLM
