// The vsthost binary's audio files as a user meets them: odd inputs, exact integer output,
// dither and the bounds of --rate and --settle.
#include <gtest/gtest.h>

#include <sndfile.h>

#include "cli_support.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace cli;

namespace {

// This suite's files, beside the other command-line tests' files.
std::string AudioPath(const std::string& name) {
    return Path("audio-" + name);
}

std::string Describe(const SRun& r) {
    return "exit code " + std::to_string(r.code) + "\nstdout:\n" + r.out + "stderr:\n" + r.err;
}

void Le(std::string& s, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        s.push_back(static_cast<char>(v >> (8 * i)));
    }
}

// A plain 16-bit stereo WAV of `frames` frames of a tone, written byte by byte so that its
// header can say anything: `dataSize` < 0 is the true size.
std::string Wav16(std::uint32_t rate, int frames, std::int64_t dataSize = -1) {
    std::string audio;
    for (int i = 0; i < frames; ++i) {
        Le(audio, static_cast<std::uint16_t>(std::lround(9000.0 * std::sin(i / 9.0))), 2);
        Le(audio, static_cast<std::uint16_t>(std::lround(-7000.0 * std::sin(i / 5.0))), 2);
    }
    std::string s = "RIFF";
    Le(s, 36 + audio.size(), 4);
    s += "WAVEfmt ";
    Le(s, 16, 4);
    Le(s, 1, 2);
    Le(s, 2, 2);
    Le(s, rate, 4);
    Le(s, std::uint64_t{rate} * 4, 4);
    Le(s, 4, 2);
    Le(s, 16, 2);
    s += "data";
    Le(s, dataSize < 0 ? audio.size() : static_cast<std::uint64_t>(dataSize), 4);
    return s + audio;
}

void Save(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The sample bytes of a WAV written by the tool (everything after the data chunk's header).
std::string Samples(const std::string& wav) {
    const std::size_t data = wav.find("data", 12);
    return data == std::string::npos ? std::string() : wav.substr(data + 8);
}

} // namespace

TEST(AudioInput, ACutShortFileIsRenderedAsFarAsItGoesWithOneWarning) {
    const std::string whole = Wav16(44100, 48000);
    Save(AudioPath("cut.wav"), whole.substr(0, 44 + 1000 * 4 + 2)); // and half a frame
    const SRun r =
        RunTool({"render", VLM_GAINPLUG, AudioPath("cut.wav"), AudioPath("cut-out.wav")});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(r.err, "vsthost: warning: '" + AudioPath("cut.wav") +
                         "' ends after 1000 of 48000 frames; rendered what is there\n");
    EXPECT_EQ(Samples(ReadFile(AudioPath("cut-out.wav"))), whole.substr(44, 1000 * 4));

    // Formats read through libsndfile end at the first frame that does not decode.
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = 44100;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE* flac = sf_open(AudioPath("cut.flac").c_str(), SFM_WRITE, &info);
    ASSERT_NE(flac, nullptr) << sf_strerror(nullptr);
    std::vector<short> tone;
    for (std::size_t i = 44; i + 1 < whole.size(); i += 2) {
        tone.push_back(static_cast<short>(static_cast<unsigned char>(whole[i]) |
                                          (static_cast<unsigned char>(whole[i + 1]) << 8)));
    }
    sf_writef_short(flac, tone.data(), 48000);
    sf_close(flac);
    fs::resize_file(AudioPath("cut.flac"), fs::file_size(AudioPath("cut.flac")) / 2);
    const SRun f =
        RunTool({"render", VLM_GAINPLUG, AudioPath("cut.flac"), AudioPath("cut-out.wav")});
    ASSERT_EQ(f.code, 0) << Describe(f);
    EXPECT_NE(f.err.find("cut.flac' ends after "), std::string::npos) << f.err;
    EXPECT_NE(f.err.find(" of 48000 frames; rendered what is there\n"), std::string::npos) << f.err;
}

TEST(AudioInput, ADataSizeOfZeroMeansTheRestOfTheFile) {
    const std::string wav = Wav16(48000, 700, 0);
    Save(AudioPath("zero.wav"), wav);
    const SRun r =
        RunTool({"render", VLM_GAINPLUG, AudioPath("zero.wav"), AudioPath("zero-out.wav")});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Samples(ReadFile(AudioPath("zero-out.wav"))), Samples(wav))
        << "700 frames at unity gain, bit for bit";
}

TEST(AudioOutput, DitherIsReproducibleAndOnlyWhereAsked) {
    Save(AudioPath("tone.wav"), Wav16(44100, 3000));
    std::vector<std::string> outputs;
    for (const char* dither : {"none", "tpdf", "tpdf"}) {
        const std::string out = AudioPath(std::string("dither-") + std::to_string(outputs.size()));
        const SRun r = RunTool({"render", VLM_GAINPLUG, AudioPath("tone.wav"), out + ".wav",
                                "--param", "0=0.4", "--dither", dither});
        ASSERT_EQ(r.code, 0) << Describe(r);
        outputs.push_back(ReadFile(out + ".wav"));
    }
    EXPECT_NE(outputs[0], outputs[1]) << "--dither tpdf changed nothing";
    EXPECT_EQ(outputs[1], outputs[2]) << "two dithered renders differ";
}

TEST(AudioInput, OutOfRangeInputsAndBoundsEndWithOneLineAndTheRightCode) {
    Save(AudioPath("ok.wav"), Wav16(44100, 100));
    Save(AudioPath("rate0.wav"), Wav16(0, 100));
    Save(AudioPath("rate4g.wav"), Wav16(4000000000u, 100));
    // A Sun/NeXT file with a sample rate of 0: libsndfile refuses it in words of its own.
    std::string au = ".snd";
    for (std::uint32_t v : {24u, 200u, 3u, 0u, 1u}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            au.push_back(static_cast<char>(v >> shift));
        }
    }
    Save(AudioPath("rate0.au"), au + std::string(200, '\0'));
    const std::string ok = AudioPath("ok.wav"), out = AudioPath("never.wav");
    fs::remove(out);

    const struct {
        std::vector<std::string> args;
        int code;
        std::string expected;
    } cases[] = {
        {{AudioPath("rate0.wav"), out}, 1, "has a sample rate of 0 Hz; only 1 kHz to 1 MHz"},
        {{AudioPath("rate4g.wav"), out}, 1, "has a sample rate of 4000000000 Hz"},
        {{AudioPath("rate0.au"), out}, 1, "rate0.au': its header is damaged or incomplete"},
        {{ok, out, "--settle", "1000000", "--block", "65536"},
         2,
         "is 65536000000 frames; at most 26460000 (10 minutes at 44100 Hz)"},
        {{ok, out, "--dither", "rect"}, 2, "--dither expects none or tpdf"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"render", VLM_GAINPLUG};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto start = std::chrono::steady_clock::now();
        const SRun r = RunTool(args);
        const std::string what = c.args[0] + " " + (c.args.size() > 2 ? c.args[2] : "");
        EXPECT_EQ(r.code, c.code) << what << "\n" << Describe(r);
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << what << ": one line\n" << Describe(r);
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << what << "\n" << Describe(r);
        EXPECT_EQ(r.err.find(" : "), std::string::npos) << "a library's message leaked: " << r.err;
        EXPECT_FALSE(fs::exists(out)) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << what;
    }
    const SRun r = RunTool({"response", VLM_GAINPLUG, "--rate", "999"});
    EXPECT_EQ(r.code, 2) << Describe(r);
    EXPECT_NE(r.err.find("--rate must be from 1000 to 1000000"), std::string::npos) << r.err;
}
