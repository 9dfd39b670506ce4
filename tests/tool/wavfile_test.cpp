#include "audiofile.h"
#include "errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
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
        EXPECT_NE(std::string(e.what()).find("is not a WAV file"), std::string::npos) << e.what();
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
