// The vsthost binary run as a user runs it, against the fixture plug-ins.
#include <gtest/gtest.h>

#include <sndfile.h>

#include "cli_support.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace cli;

namespace {

// The render's temporary files in the test folder.
std::vector<std::string> TemporaryFiles() {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(Dir())) {
        if (entry.path().filename().string().find(".vsthost-") != std::string::npos) {
            found.push_back(entry.path().filename().string());
        }
    }
    return found;
}

std::string Describe(const SRun& r) {
    return "exit code " + std::to_string(r.code) + "\nstdout:\n" + r.out + "stderr:\n" + r.err;
}

struct SAudio {
    int channels = 0;
    int rate = 0;
    int format = 0;
    std::vector<float> samples; // interleaved
    std::size_t Frames() const { return channels > 0 ? samples.size() / channels : 0; }
};

void WriteWav(const std::string& path, const SAudio& a) {
    SF_INFO info{};
    info.channels = a.channels;
    info.samplerate = a.rate;
    info.format = a.format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_float(f, a.samples.data(), static_cast<sf_count_t>(a.Frames()));
    sf_close(f);
}

SAudio ReadWav(const std::string& path) {
    SF_INFO info{};
    SAudio a;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) {
        ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
        return a;
    }
    a.channels = info.channels;
    a.rate = info.samplerate;
    a.format = info.format;
    a.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(f, a.samples.data(), info.frames);
    sf_close(f);
    return a;
}

// Two different tones per channel, so that a channel mix-up shows.
SAudio Tones(int channels, int rate, int format, std::size_t frames, double amplitude = 0.4) {
    SAudio a{channels, rate, SF_FORMAT_WAV | format, {}};
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double f = c == 0 ? 441.0 : 1234.0;
            a.samples.push_back(static_cast<float>(
                amplitude * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate)));
        }
    }
    return a;
}

double Step(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_16:
        return 1.0 / 32768.0;
    case SF_FORMAT_PCM_24:
        return 1.0 / 8388608.0;
    default:
        return 1e-6;
    }
}

// Every output channel c is `gain` times input channel `source(c)`.
template <typename Source>
void ExpectScaled(const SAudio& in, const SAudio& out, double gain, Source source,
                  const std::string& what) {
    ASSERT_EQ(out.Frames(), in.Frames()) << what << ": frame count";
    const double tolerance = 2.5 * Step(in.format) * std::max(1.0, gain);
    for (std::size_t i = 0; i < out.Frames(); ++i) {
        for (int c = 0; c < out.channels; ++c) {
            const double x = in.samples[i * in.channels + source(c)];
            const double y = out.samples[i * out.channels + c];
            if (std::fabs(y - gain * x) > tolerance) {
                ADD_FAILURE() << what << ": frame " << i << " channel " << c << " expected "
                              << gain * x << ", got " << y;
                return;
            }
        }
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(Info, ShowsIdentityRecordParametersProgramsAndChunk) {
    const SRun r = RunTool({"info", VLM_GAINPLUG});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(r.err, "") << Describe(r);
    for (const char* expected :
         {"Effect name: Gain Fixture\n",
          "Vendor: Velmora\n",
          "Product: Gain Fixture\n",
          "Vendor version: 100\n",
          "Unique id: 'VGn1' (0x56476E31, 1447521841)\n",
          "VST version: 2400\n",
          "Category: effect (1)\n",
          "Magic: 'VstP' (0x56737450, 1450406992)\n",
          "Flags: 0x00000031 HasEditor CanReplacing ProgramChunks\n",
          "Inputs: 2\n",
          "Outputs: 2\n",
          "Parameters: 2\n",
          "Programs: 1\n",
          "Initial delay: 0\n",
          "Version: 1\n",
          "Parameter 0: name=\"Gain\" value=0.500000 display=\"0.00\" label=\"dB\"\n",
          "Parameter 1: name=\"Swap\" value=0.000000 display=\"off\" label=\"\"\n",
          "Program 0: \"Default\" (current)\n",
          "Chunk size (bank): 24 bytes\n",
          "Chunk size (program): 24 bytes\n"}) {
        EXPECT_NE(r.out.find(expected), std::string::npos)
            << "expected the line '" << expected << "' in\n"
            << r.out;
    }
}

TEST(Info, FallsBackToTheEntryNamedMain) {
    const SRun r = RunTool({"info", VLM_NULLPLUG}, {{"VLM_FIXTURE_FAULT", "plain"}});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_NE(r.out.find("Effect name: Null Fixture\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Chunk size: none"), std::string::npos) << r.out;
}

TEST(Render, AppliesTheGainToMonoAndStereoIn16And24BitAndFloat) {
    for (int channels : {1, 2}) {
        for (int format : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT}) {
            const int rate = format == SF_FORMAT_PCM_24 ? 96000 : 44100;
            const SAudio in = Tones(channels, rate, format, 3000);
            const std::string inPath = Path("in.wav"), outPath = Path("out.wav");
            WriteWav(inPath, in);
            // Gain parameter 0.25 is a factor of 0.5; the odd block size leaves a remainder.
            const SRun r = RunTool(
                {"render", VLM_GAINPLUG, inPath, outPath, "--param", "0=0.25", "--block", "256"});
            const std::string what =
                std::to_string(channels) + " channel(s), format 0x" + std::to_string(format);
            ASSERT_EQ(r.code, 0) << what << "\n" << Describe(r);
            const SAudio out = ReadWav(outPath);
            EXPECT_EQ(out.channels, 2) << what << ": mono input is written as stereo";
            EXPECT_EQ(out.rate, rate) << what << ": sample rate carried over";
            EXPECT_EQ(out.format, SF_FORMAT_WAV | format) << what << ": sample format kept";
            ExpectScaled(
                in, out, 0.5, [&](int c) { return std::min(c, channels - 1); }, what);
        }
    }
}

TEST(Render, FloatOptionWritesFloatWhateverTheInput) {
    const SAudio in = Tones(2, 48000, SF_FORMAT_PCM_16, 1000);
    WriteWav(Path("in16.wav"), in);
    const SRun r = RunTool({"render", VLM_GAINPLUG, Path("in16.wav"), Path("outf.wav"), "--float"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const SAudio out = ReadWav(Path("outf.wav"));
    EXPECT_EQ(out.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ExpectScaled(
        in, out, 1.0, [](int c) { return c; }, "unity gain to float");
}

TEST(Render, BandAndInSettingsReachThePlugin) {
    const SAudio in = Tones(2, 44100, SF_FORMAT_FLOAT, 2000);
    WriteWav(Path("inf.wav"), in);
    // Band 1 at -6 dB is parameter 0 at 0.25 (factor 0.5); band 2 at +12 dB turns the swap on.
    SRun r = RunTool({"render", VLM_GAINPLUG, Path("inf.wav"), Path("o.wav"), "--band", "1=-6",
                      "--band", "2=12"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    ExpectScaled(
        in, ReadWav(Path("o.wav")), 0.5, [](int c) { return 1 - c; }, "band settings");

    // IN off through the state chunk: the input passes untouched.
    r = RunTool({"render", VLM_GAINPLUG, Path("inf.wav"), Path("o.wav"), "--param", "0=0.25",
                 "--in", "off"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const SAudio out = ReadWav(Path("o.wav"));
    EXPECT_EQ(out.samples, in.samples) << "with IN off the output must equal the input";
    r = RunTool({"render", VLM_GAINPLUG, Path("inf.wav"), Path("o.wav"), "--in", "off", "--in",
                 "on", "--param", "0=0.25"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    ExpectScaled(
        in, ReadWav(Path("o.wav")), 0.5, [](int c) { return c; }, "IN back on");
}

TEST(Render, DrivesThePluginInTheOrderOfADaw) {
    WriteWav(Path("short.wav"), Tones(1, 22050, SF_FORMAT_PCM_16, 1050));
    const std::string trace = Path("trace.txt");
    fs::remove(trace);
    const SRun r = RunTool({"render", VLM_GAINPLUG, Path("short.wav"), Path("o.wav"), "--block",
                            "100", "--settle", "3", "--param", "1=1"},
                           {{"VLM_FIXTURE_TRACE", trace}});
    ASSERT_EQ(r.code, 0) << Describe(r);
    std::vector<std::string> expected = {
        "effOpen",          "effSetSampleRate 22050", "effSetBlockSize 100",
        "setParameter 1 1", "effMainsChanged 1",      "effStartProcess"};
    for (int i = 0; i < 3 + 10; ++i) {
        expected.push_back("process 100"); // three blocks of settling, then the file
    }
    for (const char* line : {"process 50", "effStopProcess", "effMainsChanged 0", "effClose"}) {
        expected.push_back(line);
    }
    EXPECT_EQ(Lines(ReadFile(trace)), expected);
}

TEST(Render, SaturatesIntegerOutputAndWarnsOnce) {
    const SAudio in = Tones(1, 44100, SF_FORMAT_PCM_16, 500, 0.9);
    WriteWav(Path("loud.wav"), in);
    const SRun r =
        RunTool({"render", VLM_GAINPLUG, Path("loud.wav"), Path("o.wav"), "--param", "0=1"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(Lines(r.err).size(), 1u) << "one warning line expected, got:\n" << r.err;
    EXPECT_NE(r.err.find("clipped"), std::string::npos) << r.err;
    const SAudio out = ReadWav(Path("o.wav"));
    ASSERT_EQ(out.Frames(), in.Frames());
    for (std::size_t i = 0; i < in.Frames(); ++i) {
        const float x = in.samples[i], y = out.samples[2 * i];
        if (std::fabs(x) > 0.01f && (x > 0) != (y > 0)) {
            FAIL() << "frame " << i << " wrapped around: input " << x << ", output " << y;
        }
        EXPECT_LE(std::fabs(y), 1.0f);
    }
}

TEST(Render, NeverOverwritesTheInput) {
    const std::string in = Path("precious.wav");
    WriteWav(in, Tones(2, 44100, SF_FORMAT_PCM_16, 400));
    const std::string before = ReadFile(in);
    fs::remove(Path("hardlink.wav"));
    fs::remove(Path("symlink.wav"));
    fs::create_hard_link(in, Path("hardlink.wav"));
    fs::create_symlink(fs::absolute(in), Path("symlink.wav"));
    for (const std::string& out :
         {in, Dir() + "/./precious.wav", Path("hardlink.wav"), Path("symlink.wav")}) {
        const SRun r = RunTool({"render", VLM_GAINPLUG, in, out, "--param", "0=0"});
        EXPECT_NE(r.code, 0) << "writing to " << out << "\n" << Describe(r);
        EXPECT_EQ(Lines(r.err).size(), 1u) << Describe(r);
        EXPECT_NE(r.err.find("it is the input file"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFile(in), before) << "the input changed when writing to " << out;
    }
}

TEST(Render, AFailedRunLeavesAnExistingOutputAndNoTemporaryFile) {
    WriteWav(Path("in2.wav"), Tones(2, 44100, SF_FORMAT_PCM_16, 400));
    const std::string out = Path("kept.wav");
    WriteText(out, "earlier result");
    const SRun r = RunTool({"render", VLM_GAINPLUG, Path("in2.wav"), out, "--param", "7=0.5"});
    EXPECT_EQ(r.code, 2) << Describe(r);
    EXPECT_EQ(ReadFile(out), "earlier result");
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
}

TEST(BadInput, EveryCaseEndsWithOneLineOnStderrAndNonZeroExit) {
    WriteWav(Path("ok.wav"), Tones(2, 44100, SF_FORMAT_PCM_16, 100));
    SAudio three = Tones(2, 44100, SF_FORMAT_PCM_16, 100);
    three.channels = 3;
    three.samples.resize(300);
    WriteWav(Path("three.wav"), three);
    WriteText(Path("text.wav"), "RIFF? no, just text\n");
    WriteText(Path("text.so"), "not a library\n");
    std::string dll(64, '\0'); // the headers of a 64-bit Windows DLL, and nothing else
    dll[0] = 'M';
    dll[1] = 'Z';
    dll[0x3C] = 64;
    WriteText(Path("windows.dll"), dll + std::string("PE\0\0\x64\x86", 6));
    const std::string ok = Path("ok.wav"), out = Path("bad-out.wav");

    struct SCase {
        std::vector<std::string> args;
        std::string fault; // VLM_FIXTURE_FAULT
        std::string expected;
    };
    const std::vector<SCase> cases = {
        {{"info", Path("missing.so")}, "", "No such file"},
        {{"info", Dir()}, "", "it is a directory"},
        {{"info", Path("text.so")},
         "",
         "plug-in '" + Path("text.so") + "': it is not a plug-in binary"},
        {{"info", Path("windows.dll")}, "", "it is a Windows plug-in, which the Linux build"},
        {{"info", VLM_NOENTRYPLUG}, "", "exports neither VSTPluginMain nor main"},
        {{"info", VLM_NULLPLUG}, "", "returned no effect"},
        {{"info", VLM_NULLPLUG}, "magic", "magic is 'Nope'"},
        {{"info", VLM_NULLPLUG}, "crash", "crashed (segmentation fault) during effOpen"},
        {{"render", VLM_NULLPLUG, ok, out}, "noio", "0 inputs and 0 outputs"},
        {{"render", VLM_GAINPLUG, Path("missing.wav"), out}, "", "cannot read"},
        {{"render", VLM_GAINPLUG, Path("text.wav"), out}, "", "cannot read"},
        {{"render", VLM_GAINPLUG, Path("three.wav"), out}, "", "has 3 channels"},
        {{"render", VLM_GAINPLUG, Dir(), out}, "", "it is a directory"},
        {{"render", VLM_GAINPLUG, ok, Dir()}, "", "it is a directory"},
        {{"render", VLM_GAINPLUG, ok, out, "--param", "0=loud"}, "", "must be a number"},
        {{"render", VLM_GAINPLUG, ok, out, "--band", "4=20"}, "", "-12 to +12"},
        {{"render", VLM_GAINPLUG, ok, out, "--param", "2=0.5"},
         "",
         "parameter index 2 is out of range"},
        {{"render", VLM_GAINPLUG, ok, out, "--band", "3=0"},
         "",
         "parameter index 2 is out of range"},
        {{"render", VLM_GAINPLUG, ok, out, "--param", "-1=0"},
         "",
         "parameter index -1 is out of range: this plug-in has parameters 0..1"},
        {{"render", VLM_GAINPLUG, ok, VLM_GAINPLUG}, "", "it is the plug-in"},
        {{"response", VLM_GAINPLUG, "--png", VLM_GAINPLUG}, "", "it is the plug-in"},
        {{"render", VLM_NULLPLUG, ok, out, "--in", "on"}, "plain", "keeps no state chunk"},
        {{"response", VLM_GAINPLUG, "--png", Path("no/such/dir/r.png")}, "", "cannot write"},
        {{"editor", VLM_GAINPLUG}, "", "effEditOpen answered 0"},
        {{"editor", VLM_NULLPLUG}, "plain", "has no editor"},
        {{"render", VLM_GAINPLUG}, "", "needs PLUGIN IN.wav OUT.wav"},
        {{"frobnicate"}, "", "unknown command"},
    };
    for (const SCase& c : cases) {
        std::string command;
        for (const auto& a : c.args) {
            command += a + " ";
        }
        const SRun r =
            c.fault.empty() ? RunTool(c.args) : RunTool(c.args, {{"VLM_FIXTURE_FAULT", c.fault}});
        EXPECT_NE(r.code, 0) << command << "\n" << Describe(r);
        EXPECT_EQ(Lines(r.err).size(), 1u) << command << ": exactly one line expected\n"
                                           << Describe(r);
        EXPECT_EQ(r.err.rfind("vsthost: ", 0), 0u) << command << "\n" << Describe(r);
        EXPECT_NE(r.err.find(c.expected), std::string::npos)
            << command << ": expected '" << c.expected << "'\n"
            << Describe(r);
        EXPECT_FALSE(fs::exists(out)) << command << " wrote " << out;
    }
}

TEST(Response, ReportsTheGainAtTheBandCentresAndDrawsAPlot) {
    const std::string png = Path("response.png");
    fs::remove(png);
    const SRun r =
        RunTool({"response", VLM_GAINPLUG, "--param", "0=0.25", "--png", png, "--rate", "48000"});
    ASSERT_EQ(r.code, 0) << Describe(r);
    const auto lines = Lines(r.out);
    int rows = 0;
    for (const std::string& line : lines) {
        if (line.find("Hz ") == std::string::npos || line.rfind("Magnitude", 0) == 0) {
            continue;
        }
        ++rows;
        std::istringstream fields(line.substr(line.find("Hz") + 2));
        double left = 0.0, right = 0.0;
        fields >> left >> right;
        EXPECT_NEAR(left, -6.02, 0.005) << line;
        EXPECT_NEAR(right, -6.02, 0.005) << line;
    }
    EXPECT_EQ(rows, 10) << "one row per band centre expected in\n" << r.out;
    for (const char* band : {"\n500 Hz ", "\n1 kHz ", "\n16 kHz "}) {
        EXPECT_NE(r.out.find(band), std::string::npos) << "no row '" << band + 1 << "' in\n"
                                                       << r.out;
    }
    const std::string image = ReadFile(png);
    ASSERT_GT(image.size(), 24u) << "no PNG written";
    EXPECT_EQ(image.substr(1, 3), "PNG");
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(image[at]) << 24) |
               (static_cast<unsigned char>(image[at + 1]) << 16) |
               (static_cast<unsigned char>(image[at + 2]) << 8) |
               static_cast<unsigned char>(image[at + 3]);
    };
    EXPECT_EQ(be32(16), 1000) << "plot width";
    EXPECT_EQ(be32(20), 560) << "plot height";
}

TEST(Output, DevicesFifosAndStandardOutputAreStreamedNeverReplaced) {
    WriteWav(Path("s.wav"), Tones(2, 44100, SF_FORMAT_PCM_16, 3000));
    const std::vector<std::string> render = {"render", VLM_GAINPLUG, Path("s.wav")};
    auto renderTo = [&](const std::string& out) {
        std::vector<std::string> args = render;
        args.push_back(out);
        return RunTool(args);
    };
    SRun r = renderTo(Path("reference.wav"));
    ASSERT_EQ(r.code, 0) << Describe(r);
    const std::string reference = ReadFile(Path("reference.wav"));

    // A node of its own with the numbers of the null device, and a FIFO with a reader.
    const std::string node = Path("null-device"), fifo = Path("fifo");
    fs::remove(node);
    fs::remove(fifo);
    ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0) << std::strerror(errno);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0) << std::strerror(errno);
    std::string fromFifo;
    std::thread reader([&] { fromFifo = ReadFile(fifo); });
    r = renderTo(fifo);
    reader.join();
    EXPECT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(fromFifo == reference) << "the FIFO's reader got " << fromFifo.size() << " bytes";
    r = renderTo(node);
    EXPECT_EQ(r.code, 0) << Describe(r);
    struct stat st {};
    EXPECT_TRUE(lstat(node.c_str(), &st) == 0 && S_ISCHR(st.st_mode)) << "the node was replaced";
    EXPECT_TRUE(lstat(fifo.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << "the FIFO was replaced";

    // "-": the WAV alone on standard output, the summary on standard error.
    r = renderTo("-");
    EXPECT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(r.out == reference) << "standard output carried " << r.out.size() << " bytes";
    EXPECT_NE(r.err.find("-> standard output"), std::string::npos) << r.err;
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    r = FinishTool(
        StartTool({"render", VLM_GAINPLUG, Path("s.wav"), "-"}, {{}, "", ptsname(terminal)}));
    close(terminal);
    EXPECT_EQ(r.code, 1) << Describe(r);
    EXPECT_NE(r.err.find("refusing to write audio to the terminal"), std::string::npos) << r.err;

    const std::string socketPath = Path("socket");
    fs::remove(socketPath);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    r = renderTo(socketPath);
    close(sock);
    EXPECT_EQ(r.code, 1) << Describe(r);
    EXPECT_EQ(r.err, "vsthost: cannot write '" + socketPath + "': it is a socket\n");
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
}

// Output that never arrived is a failure, whichever command printed it.
TEST(Output, AFailedWriteToStandardOutputFailsTheRun) {
    WriteWav(Path("s.wav"), Tones(2, 44100, SF_FORMAT_PCM_16, 300));
    ASSERT_EQ(RunTool({"preset", "save", VLM_GAINPLUG, Path("full.fxp")}).code, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"--version"},
        {"info", VLM_GAINPLUG},
        {"preset", "show", Path("full.fxp")},
        {"response", VLM_GAINPLUG},
        {"render", VLM_GAINPLUG, Path("s.wav"), "-"},
    };
    for (const auto& args : commands) {
        const SRun r = FinishTool(StartTool(args, {{}, "", "/dev/full"}));
        EXPECT_EQ(r.code, 1) << args[0] << "\n" << Describe(r);
        EXPECT_NE(r.err.find("standard output: No space left on device\n"), std::string::npos)
            << args[0] << "\n"
            << Describe(r);
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args[0] << ": one line\n" << Describe(r);
    }
}

TEST(Output, ALinkKeepsPointingAtTheReplacedFileWhichKeepsItsPermissions) {
    WriteWav(Path("s.wav"), Tones(2, 44100, SF_FORMAT_PCM_16, 300));
    const std::string target = Path("target.wav"), link = Path("link.wav");
    fs::remove(link);
    WriteText(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("target.wav", link);
    SRun r = RunTool({"render", VLM_GAINPLUG, Path("s.wav"), link});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWav(target).Frames(), 300u);
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // The longest name a file system allows is a valid output.
    const std::string longName = Path(std::string(246, 'n') + ".wav");
    r = RunTool({"render", VLM_GAINPLUG, Path("s.wav"), longName});
    EXPECT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(ReadWav(longName).Frames(), 300u);
    fs::remove(longName);
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
}

TEST(Output, NoUnfinishedFileSurvivesACrashAnExitOrASignal) {
    WriteWav(Path("s.wav"), Tones(2, 44100, SF_FORMAT_PCM_16, 44100));
    const std::string out = Path("unfinished.wav");
    struct SCase {
        std::string fault;
        int signal; // sent once the temporary file exists; 0: none
        int code;
        std::string message;
    };
    const std::vector<SCase> cases = {
        {"crash", 0, 3,
         "vsthost: the plug-in crashed (segmentation fault) during processReplacing\n"},
        {"exit", 0, 3,
         "vsthost: the plug-in ended the process (exit(0)) during processReplacing\n"},
        {"_exit", 0, 3,
         "vsthost: the plug-in ended the process (_exit(0)) during processReplacing\n"},
        {"slow", SIGINT, 128 + SIGINT, ""},
        {"slow", SIGTERM, 128 + SIGTERM, ""},
        {"slow", SIGHUP, 128 + SIGHUP, ""},
    };
    for (const SCase& c : cases) {
        fs::remove(out);
        const pid_t pid = StartTool({"render", VLM_FAULTPLUG, Path("s.wav"), out, "--block", "64"},
                                    {{{"VLM_FIXTURE_FAULT", c.fault}}, "", ""});
        if (c.signal != 0) {
            for (int i = 0; i < 500 && TemporaryFiles().empty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            kill(pid, c.signal);
        }
        const SRun r = FinishTool(pid);
        EXPECT_EQ(r.code, c.code) << c.fault << " " << c.signal << "\n" << Describe(r);
        EXPECT_EQ(r.err, c.message) << c.fault << " " << c.signal;
        EXPECT_FALSE(fs::exists(out)) << c.fault << " " << c.signal;
        EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{}) << c.fault << " " << c.signal;
    }
    // The plot likewise: an earlier one stays as it was.
    WriteText(Path("plot.png"), "earlier plot");
    const SRun r = RunTool({"response", VLM_FAULTPLUG, "--png", Path("plot.png")},
                           {{"VLM_FIXTURE_FAULT", "crash"}});
    EXPECT_EQ(r.code, 3) << Describe(r);
    EXPECT_EQ(ReadFile(Path("plot.png")), "earlier plot");
    EXPECT_EQ(TemporaryFiles(), std::vector<std::string>{});
}

TEST(CommandLine, VersionAndTheEndOfOptions) {
    SRun r = RunTool({"--version"});
    EXPECT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(r.out, "vsthost " VLM_PROJECT_VERSION "\n");
    WriteWav(Path("-in.wav"), Tones(1, 44100, SF_FORMAT_PCM_16, 100));
    fs::remove(Path("-out.wav"));
    r = FinishTool(
        StartTool({"render", VLM_GAINPLUG, "--", "-in.wav", "-out.wav"}, {{}, Dir(), ""}));
    EXPECT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(ReadWav(Path("-out.wav")).Frames(), 100u);
}
