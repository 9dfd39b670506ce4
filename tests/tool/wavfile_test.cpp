#include "common/errors.h"
#include "io/audio_file.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sndfile.h>
#endif

using VLM::ESampleType;

namespace {

// Relative to the test's working directory, which is the same under Wine.
std::string TempPath(const std::string& name) {
    std::filesystem::create_directories("vsthost_units.tmp");
    return "vsthost_units.tmp/" + name;
}

double Step(ESampleType type) {
    switch (type) {
    case ESampleType::Int8:
        return 1.0 / 128.0;
    case ESampleType::Int16:
        return 1.0 / 32768.0;
    case ESampleType::Int24:
        return 1.0 / 8388608.0;
    case ESampleType::Int32:
        return 1.0 / 2147483648.0;
    default:
        return 1e-7;
    }
}

const ESampleType kTypes[] = {ESampleType::Int8,  ESampleType::Int16,   ESampleType::Int24,
                              ESampleType::Int32, ESampleType::Float32, ESampleType::Float64};

// A stereo ramp with values in range, at the extremes and beyond full scale.
const std::vector<float> kSamples = {0.0f,    -1.0f,     0.5f,       -0.25f, 0.999f,
                                     -0.999f, 0.123456f, -0.654321f, 1.5f,   -1.5f};

std::vector<float> ReadAll(VLM::CAudioReader& reader) {
    std::vector<float> out(static_cast<std::size_t>(reader.Frames() * reader.Channels()) + 8);
    const std::size_t n = reader.Read(out.data(), out.size() / reader.Channels());
    out.resize(n * static_cast<std::size_t>(reader.Channels()));
    return out;
}

// libsndfile scales by 2^(bits-1) - 1 when writing integers and by 2^(bits-1) when
// reading, so files crossing between the two codecs may differ by one more step.
void ExpectSamples(const std::vector<float>& got, ESampleType type, const char* how,
                   double steps = 1.01) {
    ASSERT_EQ(got.size(), kSamples.size()) << how;
    const bool isInteger = type != ESampleType::Float32 && type != ESampleType::Float64;
    for (std::size_t i = 0; i < kSamples.size(); ++i) {
        double expected = kSamples[i];
        if (isInteger) {
            // Integer files saturate at full scale: never wrap around.
            expected = std::min(1.0 - Step(type), std::max(-1.0, expected));
        }
        EXPECT_NEAR(got[i], expected, steps * Step(type))
            << how << ", " << VLM::SampleTypeName(type) << ", sample " << i;
    }
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::uint64_t LeAt(const std::string& bytes, std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    }
    return v;
}

// Overwrites the 32-bit field at `at` (counted from the start of chunk `id`, 0 = its id).
void PatchChunk(const std::string& path, const char* id, std::size_t at, std::uint32_t value) {
    std::string bytes = FileBytes(path);
    const std::size_t chunk = bytes.find(id, 12);
    ASSERT_NE(chunk, std::string::npos) << id;
    for (int i = 0; i < 4; ++i) {
        bytes[chunk + at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string WriteWithFormat(const std::string& path, const std::vector<float>& samples,
                            VLM::SWriteFormat format, bool seekable,
                            std::uint64_t plainMax = VLM::Detail::kPlainWavMaxBytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    auto writer = VLM::Detail::CreateWavWriter(f, seekable, format, "'test'", plainMax);
    writer->Write(samples.data(), samples.size() / static_cast<std::size_t>(format.channels));
    writer->Finish();
    std::fclose(f);
    return FileBytes(path);
}

} // namespace

TEST(WavFile, RoundTripsEveryEncodingAndSaturates) {
    for (ESampleType type : kTypes) {
        const std::string path = TempPath("roundtrip.wav");
        {
            auto writer = VLM::CreateWavWriter(path, 2, 48000.0, type);
            writer->Write(kSamples.data(), kSamples.size() / 2);
            writer->Finish();
        }
        auto reader = VLM::OpenWavReader(path);
        EXPECT_EQ(reader->Type(), type) << VLM::SampleTypeName(type);
        EXPECT_EQ(reader->Channels(), 2);
        EXPECT_EQ(reader->SampleRate(), 48000.0);
        EXPECT_EQ(reader->Frames(), static_cast<std::int64_t>(kSamples.size() / 2));
        ExpectSamples(ReadAll(*reader), type, "built-in writer, built-in reader");
    }
}

TEST(WavFile, RefusesFilesThatAreNotWav) {
    const std::string path = TempPath("text.wav");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("this is not audio at all, only text\n", f);
    std::fclose(f);
    try {
        VLM::OpenWavReader(path);
        FAIL() << "expected a refusal of a text file";
    } catch (const VLM::Exceptions::HostFailure& e) {
        EXPECT_NE(std::string(e.what()).find("is not a WAV or RF64 file"), std::string::npos)
            << e.what();
    }
    EXPECT_THROW(VLM::OpenWavReader(TempPath("missing.wav")), VLM::Exceptions::HostFailure);
}

TEST(WavFile, CutShortDataChunkYieldsTheFramesPresent) {
    const std::string path = TempPath("cut.wav");
    {
        auto writer = VLM::CreateWavWriter(path, 2, 44100.0, ESampleType::Int16);
        writer->Write(kSamples.data(), kSamples.size() / 2);
        writer->Finish();
    }
    // Drop the last frame and a half, as a crashed recorder would leave the file.
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 6);
    auto reader = VLM::OpenWavReader(path);
    EXPECT_EQ(reader->Frames(), static_cast<std::int64_t>(kSamples.size() / 2 - 2));
    EXPECT_EQ(reader->DeclaredFrames(), static_cast<std::int64_t>(kSamples.size() / 2))
        << "the header's count, for the warning";
}

TEST(WavFile, DataSizeLeftOpenMeansTheRestOfTheFile) {
    const std::string path = TempPath("open.wav");
    for (std::uint32_t size : {0u, 0xFFFFFFFFu}) {
        {
            auto writer = VLM::CreateWavWriter(path, 2, 44100.0, ESampleType::Float32);
            writer->Write(kSamples.data(), kSamples.size() / 2);
            writer->Finish();
        }
        PatchChunk(path, "data", 4, size);
        auto reader = VLM::OpenAudioReader(path);
        EXPECT_EQ(reader->Frames(), static_cast<std::int64_t>(kSamples.size() / 2)) << size;
        EXPECT_EQ(reader->DeclaredFrames(), reader->Frames()) << size;
        EXPECT_EQ(ReadAll(*reader), kSamples) << "data size " << size;
    }
}

TEST(WavFile, OnlySampleRatesFromOneKilohertzToOneMegahertzAreRead) {
    const std::string path = TempPath("rate.wav");
    const struct {
        std::uint32_t rate;
        bool accepted;
    } cases[] = {{0, false},      {999, false},     {1000, true},
                 {1000000, true}, {1000001, false}, {4000000000u, false}};
    for (const auto& c : cases) {
        {
            auto writer = VLM::CreateWavWriter(path, 1, 44100.0, ESampleType::Int16);
            writer->Write(kSamples.data(), 4);
            writer->Finish();
        }
        PatchChunk(path, "fmt ", 12, c.rate);
        try {
            auto reader = VLM::OpenAudioReader(path);
            EXPECT_TRUE(c.accepted) << c.rate << " Hz was accepted";
            EXPECT_EQ(reader->SampleRate(), c.rate);
        } catch (const VLM::Exceptions::HostFailure& e) {
            EXPECT_FALSE(c.accepted) << c.rate << " Hz was refused: " << e.what();
            EXPECT_NE(
                std::string(e.what()).find(std::to_string(c.rate) + " Hz; only 1 kHz to 1 MHz"),
                std::string::npos)
                << e.what();
        }
    }
}

TEST(WavFile, IntegersRoundToTheNearestStepSilenceStaysZeroAndFullScaleSaturates) {
    // Inputs in steps of the output format, and the step count expected back.
    const std::vector<std::pair<double, double>> steps = {
        {0.0, 0.0},   {-0.0, 0.0}, {0.4, 0.0}, {-0.4, 0.0},  {0.6, 1.0},
        {-0.6, -1.0}, {2.5, 2.0},  {3.5, 4.0}, {-2.5, -2.0}, {1e9, 1e9}};
    for (ESampleType type :
         {ESampleType::Int8, ESampleType::Int16, ESampleType::Int24, ESampleType::Int32}) {
        const double step = Step(type);
        std::vector<float> in, expected;
        for (const auto& [x, y] : steps) {
            in.push_back(static_cast<float>(x * step));
            expected.push_back(static_cast<float>(std::min(1.0 - step, y * step)));
        }
        in.push_back(1.0f);
        expected.push_back(static_cast<float>(1.0 - step));
        in.push_back(-1.0f);
        expected.push_back(-1.0f);
        in.push_back(-7.0f);
        expected.push_back(-1.0f);
        // A plug-in may leave another rounding mode behind; the result must not change.
        for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
            const std::string path = TempPath("round.wav");
            {
                auto writer = VLM::CreateWavWriter(path, 1, 48000.0, type);
                std::fesetround(mode);
                writer->Write(in.data(), in.size());
                std::fesetround(FE_TONEAREST);
                writer->Finish();
            }
            auto reader = VLM::OpenWavReader(path);
            const std::vector<float> got = ReadAll(*reader);
            ASSERT_EQ(got.size(), expected.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i], expected[i]) << VLM::SampleTypeName(type) << ", rounding mode "
                                               << mode << ", input " << in[i];
            }
        }
    }
}

TEST(WavFile, TriangularDitherIsUnbiasedBoundedAndReproducible) {
    VLM::SWriteFormat format;
    format.channels = 1;
    format.type = ESampleType::Int16;
    format.dither = VLM::EDither::Tpdf;
    const double step = Step(ESampleType::Int16);
    const std::vector<float> quarter(40000, static_cast<float>(0.25 * step));
    const std::string a = WriteWithFormat(TempPath("dither1.wav"), quarter, format, true);
    EXPECT_EQ(WriteWithFormat(TempPath("dither2.wav"), quarter, format, true), a)
        << "two renders with dither must be identical";
    auto reader = VLM::OpenWavReader(TempPath("dither1.wav"));
    const std::vector<float> got = ReadAll(*reader);
    double sum = 0.0;
    int counts[3] = {};
    for (float v : got) {
        const double s = v / step;
        ASSERT_TRUE(s == -1.0 || s == 0.0 || s == 1.0) << "dither beyond one step: " << s;
        ++counts[static_cast<int>(s) + 1];
        sum += s;
    }
    EXPECT_NEAR(sum / static_cast<double>(got.size()), 0.25, 0.01) << "dither keeps the mean";
    // Triangular noise from -0.75 to 1.25 steps: -1 with 1/32, +1 with 9/32 of the samples.
    EXPECT_NEAR(counts[0] / 40000.0, 1.0 / 32.0, 0.005);
    EXPECT_NEAR(counts[2] / 40000.0, 9.0 / 32.0, 0.01);
}

TEST(WavFile, FloatFilesCarryAnExtendedFormatChunkAndAFactChunk) {
    VLM::SWriteFormat format;
    format.type = ESampleType::Float32;
    const std::string bytes = WriteWithFormat(TempPath("float.wav"), kSamples, format, true);
    const std::size_t fmt = bytes.find("fmt ");
    ASSERT_NE(fmt, std::string::npos);
    EXPECT_EQ(LeAt(bytes, fmt + 4, 4), 18u) << "format chunk size";
    EXPECT_EQ(LeAt(bytes, fmt + 8, 2), 3u) << "IEEE float";
    EXPECT_EQ(LeAt(bytes, fmt + 24, 2), 0u) << "cbSize";
    EXPECT_EQ(bytes.substr(fmt + 26, 4), "fact");
    EXPECT_EQ(LeAt(bytes, fmt + 34, 4), kSamples.size() / 2) << "fact: frame count";
}

// The 4 GiB switch is tested with the limit lowered: the same code decides at any size.
TEST(WavFile, BeyondThePlainSizeLimitTheFileBecomesRf64SeekableOrNot) {
    VLM::SWriteFormat format;
    format.type = ESampleType::Int16;
    format.frames = static_cast<std::int64_t>(kSamples.size() / 2);
    for (std::uint64_t limit : {std::uint64_t{100}, std::uint64_t{99}}) {
        const bool rf64 = limit == 99; // the file is 100 bytes
        const std::string path = TempPath("rf64.wav");
        const std::string streamed = WriteWithFormat(path, kSamples, format, false, limit);
        const std::string bytes = WriteWithFormat(path, kSamples, format, true, limit);
        EXPECT_EQ(streamed, bytes) << "the streamed header announces what the patched one says";
        const std::uint64_t dataBytes = kSamples.size() * 2;
        ASSERT_EQ(bytes.size(), 80 + dataBytes);
        EXPECT_EQ(bytes.substr(0, 4), rf64 ? "RF64" : "RIFF");
        EXPECT_EQ(bytes.substr(12, 4), rf64 ? "ds64" : "JUNK");
        EXPECT_EQ(LeAt(bytes, 4, 4), rf64 ? 0xFFFFFFFFu : bytes.size() - 8);
        EXPECT_EQ(LeAt(bytes, 76, 4), rf64 ? 0xFFFFFFFFu : dataBytes) << "data chunk size";
        if (rf64) {
            EXPECT_EQ(LeAt(bytes, 20, 8), bytes.size() - 8) << "ds64: RIFF size";
            EXPECT_EQ(LeAt(bytes, 28, 8), dataBytes) << "ds64: data size";
            EXPECT_EQ(LeAt(bytes, 36, 8), kSamples.size() / 2) << "ds64: frames";
        }
        auto reader = VLM::OpenAudioReader(path);
        EXPECT_EQ(reader->Frames(), format.frames);
        ExpectSamples(ReadAll(*reader), ESampleType::Int16, rf64 ? "RF64" : "RIFF");
#if !defined(_WIN32)
        SF_INFO info{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.frames, format.frames) << "libsndfile reading the " << bytes.substr(0, 4);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, rf64 ? SF_FORMAT_RF64 : SF_FORMAT_WAV);
        sf_close(sf);
#endif
    }
}

// The real limit, through the header a stream announces up front (no audio is written).
TEST(WavFile, AFileOfFourGibibytesOrMoreIsAnnouncedAsRf64) {
    VLM::SWriteFormat format;
    format.type = ESampleType::Int16; // 4 bytes a frame after an 80-byte header
    for (std::int64_t frames : {std::int64_t{1073741803}, std::int64_t{1073741804}}) {
        format.frames = frames;
        const std::uint64_t fileBytes = 80 + 4 * static_cast<std::uint64_t>(frames);
        const std::string path = TempPath("announced.wav");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        { auto writer = VLM::CreateAudioWriter(f, false, format); }
        std::fclose(f);
        const std::string header = FileBytes(path);
        ASSERT_EQ(header.size(), 80u);
        if (fileBytes < (std::uint64_t{1} << 32)) {
            EXPECT_EQ(header.substr(0, 4), "RIFF") << fileBytes << " bytes";
            EXPECT_EQ(LeAt(header, 4, 4), fileBytes - 8);
            EXPECT_EQ(LeAt(header, 76, 4), fileBytes - 80);
        } else {
            EXPECT_EQ(header.substr(0, 4), "RF64") << fileBytes << " bytes";
            EXPECT_EQ(LeAt(header, 20, 8), fileBytes - 8);
            EXPECT_EQ(LeAt(header, 28, 8), fileBytes - 80);
            EXPECT_EQ(LeAt(header, 36, 8), static_cast<std::uint64_t>(frames));
        }
    }
}

TEST(WavFile, AStreamOfUnknownLengthIsReadToItsEndAndAShortOneIsFilledAndReported) {
    VLM::SWriteFormat format;
    format.type = ESampleType::Int24;
    const std::string path = TempPath("stream.wav");
    const std::string bytes = WriteWithFormat(path, kSamples, format, false);
    EXPECT_EQ(LeAt(bytes, 4, 4), 0xFFFFFFFFu) << "RIFF size of a stream of unknown length";
    auto reader = VLM::OpenAudioReader(path);
    ExpectSamples(ReadAll(*reader), ESampleType::Int24, "stream of unknown length");

    format.frames = 9;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    auto writer = VLM::Detail::CreateWavWriter(f, false, format, "'out.wav'", 1u << 20);
    writer->Write(kSamples.data(), 5);
    EXPECT_THROW(writer->Write(kSamples.data(), 5), VLM::Exceptions::HostFailure)
        << "more frames than announced";
    try {
        writer->Finish();
        ADD_FAILURE() << "a stream shorter than announced must be reported";
    } catch (const VLM::Exceptions::HostFailure& e) {
        EXPECT_STREQ(e.what(), "'out.wav' ends after 5 of the 9 frames announced; the rest is "
                               "silence");
    }
    std::fclose(f);
    EXPECT_EQ(VLM::OpenAudioReader(path)->Frames(), 9) << "the stream stays a whole file";
}

#if !defined(_WIN32)
namespace {

int SndSubtype(ESampleType type) {
    switch (type) {
    case ESampleType::Int8:
        return SF_FORMAT_PCM_U8;
    case ESampleType::Int16:
        return SF_FORMAT_PCM_16;
    case ESampleType::Int24:
        return SF_FORMAT_PCM_24;
    case ESampleType::Int32:
        return SF_FORMAT_PCM_32;
    case ESampleType::Float32:
        return SF_FORMAT_FLOAT;
    default:
        return SF_FORMAT_DOUBLE;
    }
}

} // namespace

TEST(WavFile, AgreesWithLibsndfileBothWays) {
    for (ESampleType type : kTypes) {
        for (int major : {SF_FORMAT_WAV, SF_FORMAT_WAVEX}) {
            const std::string path = TempPath("libsndfile.wav");
            SF_INFO info{};
            info.channels = 2;
            info.samplerate = 22050;
            info.format = major | SndSubtype(type);
            SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
            ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
            sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
            sf_writef_float(sf, kSamples.data(), static_cast<sf_count_t>(kSamples.size() / 2));
            sf_close(sf);
            auto reader = VLM::OpenWavReader(path);
            EXPECT_EQ(reader->Type(), type);
            EXPECT_EQ(reader->SampleRate(), 22050.0);
            ExpectSamples(ReadAll(*reader), type,
                          major == SF_FORMAT_WAV ? "libsndfile WAV" : "libsndfile WAVEX", 2.01);
        }

        const std::string path = TempPath("builtin.wav");
        {
            auto writer = VLM::CreateWavWriter(path, 2, 96000.0, type);
            writer->Write(kSamples.data(), kSamples.size() / 2);
            writer->Finish();
        }
        SF_INFO info{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr) << "libsndfile cannot read the built-in writer's "
                               << VLM::SampleTypeName(type) << " file: " << sf_strerror(nullptr);
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SndSubtype(type));
        EXPECT_EQ(info.samplerate, 96000);
        std::vector<float> got(kSamples.size());
        EXPECT_EQ(sf_readf_float(sf, got.data(), static_cast<sf_count_t>(got.size() / 2)),
                  static_cast<sf_count_t>(got.size() / 2));
        sf_close(sf);
        ExpectSamples(got, type, "built-in writer, libsndfile reader", 2.01);
    }
}
#endif
