// Preset files through the vsthost binary: what save writes, show reads and --preset loads
// sounds as the settings did; files built by hand load into the right programs; every bad
// file or command line ends in one line and exit code 1 or 2.
#include <gtest/gtest.h>

#include "cli_support.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace cli;

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

std::string Describe(const SRun& r) {
    return "exit code " + std::to_string(r.code) + "\nstdout:\n" + r.out + "stderr:\n" + r.err;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// One second of 16-bit stereo: a different tone on each channel, so that gain and swap show.
void WriteInput(const std::string& path) {
    const int rate = 44100, frames = 44100;
    std::string data;
    for (int i = 0; i < frames; ++i) {
        for (double f : {441.0, 1234.0}) {
            const auto v = static_cast<std::int16_t>(
                std::lround(12000.0 * std::sin(2.0 * M_PI * f * i / rate)));
            data.push_back(static_cast<char>(v & 0xFF));
            data.push_back(static_cast<char>((v >> 8) & 0xFF));
        }
    }
    auto le = [](std::uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) {
            s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
        return s;
    };
    const auto size = static_cast<std::uint32_t>(data.size());
    WriteText(path, "RIFF" + le(36 + size, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) +
                        le(rate, 4) + le(rate * 4, 4) + le(4, 2) + le(16, 2) + "data" +
                        le(size, 4) + data);
}

// Big-endian fields for files built by hand.
std::string Be(std::uint32_t v) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        s.push_back(static_cast<char>((v >> shift) & 0xFF));
    }
    return s;
}

std::string BeFloat(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return Be(bits);
}

std::string Name(const std::string& name) {
    return name + std::string(28 - name.size(), '\0');
}

std::string ValuesProgram(const std::string& id, const std::string& name,
                          const std::vector<float>& values) {
    std::string body;
    for (float v : values) {
        body += BeFloat(v);
    }
    return "CcnK" + Be(static_cast<std::uint32_t>(48 + body.size())) + "FxCk" + Be(1) + id + Be(1) +
           Be(static_cast<std::uint32_t>(values.size())) + Name(name) + body;
}

std::string Input() {
    static const std::string path = [] {
        WriteInput(Path("preset_in.wav"));
        return Path("preset_in.wav");
    }();
    return path;
}

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

} // namespace

// The bar: a preset saved after the settings renders the same samples as the settings.
TEST(Preset, SavedProgramsAndBanksRenderAsTheirSettings) {
    const Env values = {{"VLM_FIXTURE_VALUES", "1"}};
    const struct {
        const char* plugin;
        Env env;
        const char* file;
        std::vector<std::string> settings;
        const char* kind;
        const char* saved; // what save says the file holds
    } cases[] = {
        {VLM_GAINPLUG,
         {},
         "gain.fxp",
         {"--param", "0=0.3", "--param", "1=1"},
         "Kind: FPCh",
         "(a chunk of 24 bytes)"},
        {VLM_GAINPLUG,
         {},
         "gain.fxb",
         {"--param", "0=0.9"},
         "Kind: FBCh",
         "state as one bank chunk of 24 bytes (current program 0)"},
        {VLM_GAINPLUG,
         values,
         "values.fxp",
         {"--param", "0=0.3", "--param", "1=1"},
         "Kind: FxCk",
         "(2 parameter values)"},
        {VLM_GAINPLUG,
         values,
         "values.fxb",
         {"--param", "0=0.7"},
         "Kind: FxBk",
         "a bank of 3 program(s) (current 0)"},
        {VLM_EQUALISER,
         {},
         "eq.fxp",
         {"--band", "3=6", "--band", "8=-4.5"},
         "Kind: FPCh",
         "(a chunk of 120 bytes)"},
        {VLM_EQUALISER,
         {},
         "eq.fxb",
         {"--band", "1=-12", "--in", "off"},
         "Kind: FBCh",
         "state as one bank chunk of 120 bytes (current program 0)"},
    };
    for (const auto& c : cases) {
        const std::string file = Path(c.file), what = c.file;
        SRun r = RunTool(With({"preset", "save", c.plugin, file}, c.settings), c.env);
        ASSERT_EQ(r.code, 0) << what << ": save\n" << Describe(r);
        EXPECT_TRUE(Has(r.out, c.saved)) << what << ": " << r.out;
        r = RunTool({"preset", "show", file});
        ASSERT_EQ(r.code, 0) << what << ": show\n" << Describe(r);
        EXPECT_TRUE(Has(r.out, c.kind)) << what << ": " << r.out;

        const std::string bySettings = Path("by_settings.wav"), byPreset = Path("by_preset.wav");
        r = RunTool(With({"render", c.plugin, Input(), bySettings, "--float"}, c.settings), c.env);
        ASSERT_EQ(r.code, 0) << what << "\n" << Describe(r);
        r = RunTool({"render", c.plugin, Input(), byPreset, "--float", "--preset", file}, c.env);
        ASSERT_EQ(r.code, 0) << what << "\n" << Describe(r);
        EXPECT_EQ(ReadFile(byPreset), ReadFile(bySettings)) << what << ": samples differ";
        r = RunTool({"render", c.plugin, Input(), byPreset, "--float"}, c.env);
        EXPECT_NE(ReadFile(byPreset), ReadFile(bySettings)) << what << ": the settings do nothing";
    }
    // response reads the file in the same way.
    const SRun a = RunTool({"response", VLM_EQUALISER, "--band", "3=6", "--band", "8=-4.5"});
    const SRun b = RunTool({"response", VLM_EQUALISER, "--preset", Path("eq.fxp")});
    ASSERT_EQ(a.code, 0) << Describe(a);
    EXPECT_EQ(b.out, a.out) << Describe(b);
}

TEST(Preset, AHandBuiltBankLoadsEveryProgramAndSelectsItsCurrentOne) {
    const Env values = {{"VLM_FIXTURE_VALUES", "1"}};
    const std::string programs = ValuesProgram("VGn1", "First", {0.1f, 0.0f}) +
                                 ValuesProgram("VGn1", "Second", {0.2f, 1.0f}) +
                                 ValuesProgram("VGn1", "Third", {0.3f, 0.0f});
    WriteText(Path("hand.fxb"), "CcnK" + Be(static_cast<std::uint32_t>(148 + programs.size())) +
                                    "FxBk" + Be(2) + "VGn1" + Be(1) + Be(3) + Be(1) +
                                    std::string(124, '\0') + programs);
    const std::string trace = Path("preset_trace.txt");
    fs::remove(trace);
    Env env = values;
    env.emplace_back("VLM_FIXTURE_TRACE", trace);
    // Loaded, then saved again as a bank: every program and the current one come back.
    SRun r = RunTool(
        {"preset", "save", VLM_GAINPLUG, Path("again.fxb"), "--preset", Path("hand.fxb")}, env);
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(Has(ReadFile(trace), "effBeginLoadBank version 1 id 1447521841 elements 3\n"))
        << ReadFile(trace);
    r = RunTool({"preset", "show", Path("again.fxb")});
    ASSERT_EQ(r.code, 0) << Describe(r);
    for (const char* line :
         {"Programs: 3\n", "Current program: 1\n", "Program 0: \"First\"\n",
          "  Value 0: 0.100000\n", "Program 1: \"Second\"\n", "  Value 1: 1.000000\n",
          "Program 2: \"Third\"\n", "  Value 0: 0.300000\n"}) {
        EXPECT_TRUE(Has(r.out, line)) << "expected '" << line << "' in\n" << r.out;
    }
    EXPECT_EQ(ReadFile(Path("again.fxb")), ReadFile(Path("hand.fxb")));
    // The current program alone, as a program file.
    r = RunTool({"preset", "save", VLM_GAINPLUG, Path("current.fxp"), "--preset", Path("hand.fxb")},
                values);
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_EQ(ReadFile(Path("current.fxp")), ValuesProgram("VGn1", "Second", {0.2f, 1.0f}));

    // The equaliser's programs carry names only: whatever order they load in, the values in
    // force are the current program's.
    std::vector<float> loud(10, 0.5f), flat(10, 0.5f);
    loud[0] = 1.0f;
    const std::string eqPrograms =
        ValuesProgram("VLM1", "Loud", loud) + ValuesProgram("VLM1", "Flat", flat);
    WriteText(Path("eq_values.fxb"),
              "CcnK" + Be(static_cast<std::uint32_t>(148 + eqPrograms.size())) + "FxBk" + Be(2) +
                  "VLM1" + Be(1) + Be(2) + Be(0) + std::string(124, '\0') + eqPrograms);
    const SRun bySettings = RunTool({"response", VLM_EQUALISER, "--band", "1=12"});
    const SRun byBank = RunTool({"response", VLM_EQUALISER, "--preset", Path("eq_values.fxb")});
    ASSERT_EQ(byBank.code, 0) << Describe(byBank);
    EXPECT_EQ(byBank.out, bySettings.out);
}

TEST(Preset, ANameWithoutTerminatorIsReadWithAWarning) {
    std::string file = ValuesProgram("VGn1", "x", {0.5f, 0.0f});
    file.replace(28, 28, std::string(28, 'n'));
    WriteText(Path("full.fxp"), file);
    const SRun r = RunTool({"preset", "show", Path("full.fxp")});
    ASSERT_EQ(r.code, 0) << Describe(r);
    EXPECT_TRUE(Has(r.out, "Program name: \"" + std::string(28, 'n') + "\"\n")) << r.out;
    EXPECT_TRUE(Has(r.err, "warning: ")) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
}

TEST(Preset, BadFilesAndCommandLinesEndInOneLine) {
    const Env values = {{"VLM_FIXTURE_VALUES", "1"}};
    const Env plain = {{"VLM_FIXTURE_FAULT", "plain"}};
    WriteText(Path("garbage.fxp"), "RIFF and then some");
    std::string cut = ValuesProgram("VGn1", "x", {0.5f, 0.0f});
    WriteText(Path("cut.fxp"), cut.substr(0, cut.size() - 3));
    WriteText(Path("other.fxp"), ValuesProgram("VFlt", "x", {0.5f, 0.0f}));
    WriteText(Path("three.fxp"), ValuesProgram("VGn1", "x", {0.5f, 0.0f, 1.0f}));
    WriteText(Path("null.fxp"), ValuesProgram("XXXX", "x", {0.5f}));
    ASSERT_EQ(RunTool({"preset", "save", VLM_GAINPLUG, Path("chunk.fxp")}).code, 0);
    const std::string chunk = ReadFile(Path("chunk.fxp"));
    // The gain record (id 0, then its value) of the fixture's chunk, at +inf.
    std::string infinite = chunk;
    infinite.replace(60 + 4, 4, std::string("\x00\x00\x80\x7f", 4));
    WriteText(Path("inf.fxp"), infinite);
    fs::remove(Path("plugin.fxp"));
    fs::create_symlink(VLM_GAINPLUG, Path("plugin.fxp"));
    fs::create_directories(Path("folder.fxp"));

    const std::string g = VLM_GAINPLUG, wav = Path("o.wav");
    const struct {
        const char* what;
        std::vector<std::string> args;
        Env env;
        int code;
        std::string message;
    } cases[] = {
        {"missing file", {"preset", "show", Path("none.fxp")}, {}, 1, "cannot read '"},
        {"a folder", {"preset", "show", Path("folder.fxp")}, {}, 1, "it is a directory"},
        {"wrong magic", {"preset", "show", Path("garbage.fxp")}, {}, 1, "not 'CcnK'"},
        {"cut short",
         {"render", g, Input(), wav, "--preset", Path("cut.fxp")},
         {},
         1,
         "bad preset file '" + Path("cut.fxp") + "': cut short"},
        {"another plug-in's id",
         {"render", g, Input(), wav, "--preset", Path("other.fxp")},
         values,
         1,
         "is a preset of the plug-in 'VFlt', not of this one ('VGn1')"},
        {"refused when forced",
         {"render", g, Input(), wav, "--preset", Path("other.fxp"), "--force"},
         values,
         1,
         "the plug-in refuses '" + Path("other.fxp") + "' (effBeginLoadProgram answered -1)"},
        {"a parameter too many",
         {"response", g, "--preset", Path("three.fxp")},
         values,
         1,
         "holds 3 parameter values, the plug-in has 2; --force loads the first 2"},
        {"a chunk for a plug-in without",
         {"render", g, Input(), wav, "--preset", Path("chunk.fxp")},
         values,
         1,
         "holds a program chunk, but the plug-in keeps no"},
        {"over the plug-in",
         {"preset", "save", Path("plugin.fxp"), Path("plugin.fxp")},
         {},
         1,
         "it is the plug-in"},
        {"a chunk record that is not finite",
         {"render", g, Input(), wav, "--preset", Path("inf.fxp")},
         {},
         1,
         "its state record 0 (control 0) holds inf, not a finite number"},
        {"over the preset",
         {"preset", "save", g, Path("chunk.fxp"), "--preset", Path("chunk.fxp")},
         {},
         1,
         "it is the preset file"},
        {"a plot over the preset",
         {"response", g, "--preset", Path("chunk.fxp"), "--png", Path("chunk.fxp")},
         {},
         1,
         "it is the preset file"},
        {"a bank of no programs",
         {"preset", "save", VLM_NULLPLUG, Path("n.fxb")},
         plain,
         1,
         "no programs to save as a bank"},
        {"no kind", {"preset", "save", g, Path("p.txt")}, {}, 2, "(.fxb), not"},
        {"no action", {"preset", Path("a.fxp")}, {}, 2, "preset needs save or show"},
        {"no file", {"render", g, Input(), wav, "--preset"}, {}, 2, "--preset needs a value"},
    };
    for (const auto& c : cases) {
        fs::remove(wav);
        const SRun r = RunTool(c.args, c.env);
        EXPECT_EQ(r.code, c.code) << c.what << "\n" << Describe(r);
        EXPECT_TRUE(Has(r.err, c.message)) << c.what << ": expected '" << c.message << "'\n"
                                           << Describe(r);
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << c.what << ": one line\n" << Describe(r);
        EXPECT_FALSE(fs::exists(wav)) << c.what << ": an output was written";
    }
    EXPECT_TRUE(ReadFile(Path("chunk.fxp")) == chunk) << "the preset was written over";
    // --force loads another plug-in's program into one that does not object.
    const SRun forced = RunTool(
        {"render", VLM_NULLPLUG, Input(), wav, "--preset", Path("null.fxp"), "--force"}, plain);
    EXPECT_EQ(forced.code, 0) << Describe(forced);
    EXPECT_TRUE(fs::is_regular_file(Path("plugin.fxp"))) << "the plug-in was left in place";
}

// A preset is refused as soon as its first bytes or its size allow, never after reading all
// that a device, a sparse file or a FIFO without an end would give.
TEST(Preset, EndlessAndOversizedInputsAreRefusedUnread) {
    const std::string sparse = Path("sparse.fxp"), fifo = Path("endless.fxp");
    std::ofstream(sparse, std::ios::binary).close();
    fs::resize_file(sparse, std::uintmax_t{2} << 30);
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const auto ignored = std::signal(SIGPIPE, SIG_IGN);
    // A header that announces 64 bytes, then zeros until the reader goes.
    std::thread writer([&] {
        int fd = -1;
        for (int i = 0; i < 1000 && fd < 0; ++i) {
            fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (fd < 0) {
            return;
        }
        fcntl(fd, F_SETFL, 0);
        std::string data = "CcnK" + Be(64) + std::string(1 << 16, '\0');
        while (write(fd, data.data(), data.size()) > 0) {
            data.assign(1 << 16, '\0');
        }
        close(fd);
    });
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {"/dev/zero", "'/dev/zero': not a preset file: it starts with 0x00000000, not 'CcnK'"},
        {sparse, "2147483648 bytes, larger than 256 MiB"},
        {fifo, "more than the 64 bytes its header announces follow the size field"},
    };
    for (const auto& c : cases) {
        const SRun r = RunTool({"preset", "show", c.file});
        EXPECT_EQ(r.code, 1) << c.file << "\n" << Describe(r);
        EXPECT_TRUE(Has(r.err, c.message)) << c.file << ": expected '" << c.message << "'\n"
                                           << Describe(r);
        EXPECT_LT(r.peakKb, 64 * 1024) << c.file << ": the tool read what it refused";
    }
    writer.join();
    std::signal(SIGPIPE, ignored);
    fs::remove(sparse);
    fs::remove(fifo);
}
