#include "commands/options.h"

#include "commands/equaliser.h"
#include "common/errors.h"
#include "common/text_format.h"
#include "os/files.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace VLM {
namespace {

SSetting ParseParameterSetting(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) {
        throw Exceptions::Usage("--param expects INDEX=VALUE, not '" + Printable(text) + "'");
    }
    SSetting s;
    s.kind = SSetting::EKind::Parameter;
    // The plug-in's own range is checked once it is loaded.
    s.index = static_cast<int>(
        ParseInteger(text.substr(0, eq), -(1LL << 30), 1LL << 30, "--param index"));
    const double value = ParseNumber(text.substr(eq + 1), "--param value");
    if (value < 0.0 || value > 1.0) {
        throw Exceptions::Usage("--param value must be from 0 to 1, not '" +
                                Printable(text.substr(eq + 1)) + "'");
    }
    s.value = static_cast<float>(value);
    s.source = "--param " + text;
    return s;
}

SSetting ParseBandSetting(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) {
        throw Exceptions::Usage("--band expects K=DB, not '" + Printable(text) + "'");
    }
    SSetting s;
    s.kind = SSetting::EKind::Parameter;
    s.index =
        static_cast<int>(ParseInteger(text.substr(0, eq), 1, Equaliser::kBandCount, "--band K")) -
        1;
    const double db = ParseNumber(text.substr(eq + 1), "--band gain");
    if (db < -Equaliser::kRangeDb || db > Equaliser::kRangeDb) {
        throw Exceptions::Usage(Format("--band gain must be from %g to %+g dB, not '%s'",
                                       -Equaliser::kRangeDb, Equaliser::kRangeDb,
                                       Printable(text.substr(eq + 1)).c_str()));
    }
    s.value = Equaliser::BandValueFromDb(db);
    s.source = "--band " + text;
    return s;
}

SSetting ParseInSetting(const std::string& text) {
    SSetting s;
    s.kind = SSetting::EKind::InSwitch;
    if (text == "on") {
        s.value = 1.0f;
    } else if (text == "off") {
        s.value = 0.0f;
    } else {
        throw Exceptions::Usage("--in expects on or off, not '" + Printable(text) + "'");
    }
    s.source = "--in " + text;
    return s;
}

ECommand CommandFromName(const std::string& name) {
    if (name == "info") {
        return ECommand::Info;
    }
    if (name == "render") {
        return ECommand::Render;
    }
    if (name == "response") {
        return ECommand::Response;
    }
    if (name == "editor") {
        return ECommand::Editor;
    }
    if (name == "validate") {
        return ECommand::Validate;
    }
    if (name == "preset") {
        return ECommand::PresetSave; // or PresetShow: the word after it says which
    }
    if (name == "help" || name == "--help" || name == "-h") {
        return ECommand::Help;
    }
    if (name == "version" || name == "--version") {
        return ECommand::Version;
    }
    throw Exceptions::Usage("unknown command '" + Printable(name) + "' (see vsthost --help)");
}

std::size_t PositionalCount(const SOptions& options) {
    switch (options.command) {
    case ECommand::Validate:
        return options.list ? 0 : 1;
    case ECommand::Render:
        return 3;
    case ECommand::PresetSave:
        return 2;
    case ECommand::Help:
        return 0;
    default:
        return 1;
    }
}

// The lower-case extension of a file name ("fxp"), or "".
std::string Extension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos ||
        std::any_of(path.begin() + static_cast<std::ptrdiff_t>(dot), path.end(), IsPathSeparator)) {
        return "";
    }
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return ext;
}

} // namespace

SOptions ParseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        throw Exceptions::Usage("no command given (see vsthost --help)");
    }
    SOptions options;
    options.command = CommandFromName(args[0]);
    if (options.command == ECommand::Help || options.command == ECommand::Version) {
        if (args.size() > 1) {
            throw Exceptions::Usage("unexpected argument '" + Printable(args[1]) + "'");
        }
        return options;
    }
    std::string commandName = args[0];
    std::size_t first = 1;
    if (args[0] == "preset") {
        const std::string action = args.size() > 1 ? args[1] : "";
        if (action != "save" && action != "show") {
            throw Exceptions::Usage(
                "preset needs save or show" +
                (action.empty() ? std::string() : ", not '" + Printable(action) + "'") +
                " (see vsthost --help)");
        }
        options.command = action == "save" ? ECommand::PresetSave : ECommand::PresetShow;
        commandName += " " + action;
        first = 2;
    }
    const ECommand cmd = options.command;
    const bool takesSettings =
        cmd != ECommand::Info && cmd != ECommand::Validate && cmd != ECommand::PresetShow;
    const bool loadsPresets = takesSettings;

    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (optionsEnded) {
            positional.push_back(name);
            continue;
        }
        if (name == "--") {
            optionsEnded = true; // what follows are names, even when they start with '-'
            continue;
        }
        if (name.size() > 2 && name.compare(0, 2, "--") == 0) {
            // Accept "--opt=value" as well as "--opt value".
            const std::size_t eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                hasValue = true;
            }
        } else if (name.empty() || name[0] != '-' || name == "-") {
            positional.push_back(name);
            continue;
        }
        auto next = [&]() -> std::string {
            if (hasValue) {
                return value;
            }
            if (i + 1 >= args.size()) {
                throw Exceptions::Usage(name + " needs a value");
            }
            return args[++i];
        };
        auto flag = [&]() {
            if (hasValue) {
                throw Exceptions::Usage(name + " takes no value");
            }
        };
        auto allowed = [&](bool ok) {
            if (!ok) {
                throw Exceptions::Usage("option " + Printable(name) + " does not apply to '" +
                                        commandName + "'");
            }
        };

        if (name == "--param") {
            allowed(takesSettings);
            options.settings.push_back(ParseParameterSetting(next()));
        } else if (name == "--band") {
            allowed(takesSettings);
            options.settings.push_back(ParseBandSetting(next()));
        } else if (name == "--in") {
            allowed(takesSettings);
            options.settings.push_back(ParseInSetting(next()));
        } else if (name == "--preset") {
            allowed(loadsPresets);
            if (!options.presetFile.empty()) {
                throw Exceptions::Usage("--preset can be given once");
            }
            options.presetFile = next();
            if (options.presetFile.empty()) {
                throw Exceptions::Usage("--preset needs a file name");
            }
        } else if (name == "--force") {
            allowed(loadsPresets);
            flag();
            options.force = true;
        } else if (name == "--block") {
            allowed(takesSettings);
            options.blockSize = static_cast<int>(ParseInteger(next(), 1, 65536, "--block"));
        } else if (name == "--settle") {
            allowed(cmd == ECommand::Render || cmd == ECommand::Response);
            options.settleBlocks = static_cast<int>(ParseInteger(next(), 0, 1000000, "--settle"));
        } else if (name == "--dither") {
            allowed(cmd == ECommand::Render);
            const std::string kind = next();
            if (kind == "none") {
                options.dither = EDither::None;
            } else if (kind == "tpdf") {
                options.dither = EDither::Tpdf;
            } else {
                throw Exceptions::Usage("--dither expects none or tpdf, not '" + Printable(kind) +
                                        "'");
            }
        } else if (name == "--float") {
            allowed(cmd == ECommand::Render);
            flag();
            options.floatOutput = true;
        } else if (name == "--png") {
            allowed(cmd == ECommand::Response);
            options.png = next();
            if (options.png.empty()) {
                throw Exceptions::Usage("--png needs a file name");
            }
        } else if (name == "--rate") {
            allowed(cmd == ECommand::Response || cmd == ECommand::Editor);
            options.sampleRate =
                static_cast<double>(ParseInteger(next(), static_cast<long long>(kMinSampleRate),
                                                 static_cast<long long>(kMaxSampleRate), "--rate"));
        } else if (name == "--seconds") {
            allowed(cmd == ECommand::Editor);
            options.seconds = ParseNumber(next(), "--seconds");
            if (options.seconds <= 0.0 || options.seconds > 86400.0) {
                throw Exceptions::Usage("--seconds must be more than 0 and at most 86400");
            }
        } else if (name == "--log") {
            allowed(cmd == ECommand::Editor);
            flag();
            options.log = true;
        } else if (name == "--audio") {
            allowed(cmd == ECommand::Editor);
            flag();
            options.audio = true;
        } else if (name == "--scale") {
            allowed(cmd == ECommand::Editor || cmd == ECommand::Validate);
            options.scale = ParseNumber(next(), "--scale");
            if (options.scale <= 0.0 || options.scale > 16.0) {
                throw Exceptions::Usage("--scale must be more than 0 and at most 16");
            }
        } else if (name == "--strictness") {
            allowed(cmd == ECommand::Validate);
            options.strictness = static_cast<int>(ParseInteger(next(), 1, 10, "--strictness"));
        } else if (name == "--seed") {
            allowed(cmd == ECommand::Validate);
            options.seed =
                static_cast<std::uint32_t>(ParseInteger(next(), 0, 4294967295LL, "--seed"));
        } else if (name == "--json") {
            allowed(cmd == ECommand::Validate);
            flag();
            options.json = true;
        } else if (name == "--list") {
            allowed(cmd == ECommand::Validate);
            flag();
            options.list = true;
        } else if (name == "--headless") {
            allowed(cmd == ECommand::Validate);
            flag();
            options.headless = true;
        } else if (name == "--in-process") {
            allowed(cmd == ECommand::Validate);
            flag();
            options.isolate = false;
        } else if (name == "--only") {
            allowed(cmd == ECommand::Validate);
            const std::string names = next();
            std::size_t start = 0;
            while (start <= names.size()) {
                const std::size_t comma = std::min(names.find(',', start), names.size());
                if (comma > start) {
                    options.only.push_back(names.substr(start, comma - start));
                }
                start = comma + 1;
            }
            if (options.only.empty()) {
                throw Exceptions::Usage("--only needs test names (see vsthost validate --list)");
            }
        } else if (name == "--timeout") {
            allowed(cmd == ECommand::Validate);
            options.timeout = ParseNumber(next(), "--timeout");
            if (options.timeout <= 0.0 || options.timeout > 86400.0) {
                throw Exceptions::Usage("--timeout must be more than 0 and at most 86400");
            }
        } else if (name == "--run-test") {
            allowed(cmd == ECommand::Validate);
            options.runTest = next();
        } else if (name == "--result-file") {
            allowed(cmd == ECommand::Validate);
            options.resultFile = next();
        } else {
            throw Exceptions::Usage("unknown option '" + Printable(name) +
                                    "' (see vsthost --help)");
        }
    }

    const std::size_t wanted = PositionalCount(options);
    if (positional.size() < wanted) {
        throw Exceptions::Usage(
            cmd == ECommand::Render       ? "render needs PLUGIN IN.wav OUT.wav"
            : cmd == ECommand::PresetSave ? "preset save needs PLUGIN OUT.fxp|OUT.fxb"
            : cmd == ECommand::PresetShow ? "preset show needs the preset file"
                                          : args[0] + " needs the plug-in's path");
    }
    if (cmd == ECommand::Validate && options.list && positional.size() == 1) {
        positional.clear(); // "validate PLUGIN --list" lists the tests all the same
    }
    if (positional.size() > wanted) {
        throw Exceptions::Usage("unexpected argument '" + Printable(positional[wanted]) + "'");
    }
    if (wanted == 0) {
        return options;
    }
    if (cmd == ECommand::PresetShow) {
        options.input = positional[0];
        return options;
    }
    options.plugin = positional[0];
    if (cmd == ECommand::PresetSave) {
        options.output = positional[1];
        const std::string ext = Extension(options.output);
        if (ext != "fxp" && ext != "fxb") {
            throw Exceptions::Usage("preset save writes a program (.fxp) or a bank (.fxb), not '" +
                                    Printable(options.output) + "'");
        }
        options.saveBank = ext == "fxb";
    }
    if (cmd == ECommand::Response) {
        CheckSettle(options, options.sampleRate);
    }
    if (cmd == ECommand::Render) {
        options.input = positional[1];
        options.output = positional[2];
    }
    return options;
}

void CheckSettle(const SOptions& options, double rate) {
    const double frames = static_cast<double>(options.settleBlocks) * options.blockSize;
    const double limit = std::floor(kMaxSettleSeconds * rate);
    if (frames > limit) {
        throw Exceptions::Usage(Format("--settle %d with --block %d is %.0f frames; at most %.0f "
                                       "(10 minutes at %.0f Hz) can settle",
                                       options.settleBlocks, options.blockSize, frames, limit,
                                       rate));
    }
}

const char* VersionText() {
    return "vsthost " VLM_PROJECT_VERSION "\n";
}

const char* UsageText() {
    return "usage: vsthost COMMAND PLUGIN [options]\n"
           "\n"
           "Loads a VST 2.4 effect binary the way a DAW does and drives it.\n"
           "\n"
           "  vsthost info PLUGIN\n"
           "      identity, record fields, parameters, programs and state size\n"
           "  vsthost render PLUGIN IN.wav OUT.wav [settings] [--float] [--dither none|tpdf]\n"
           "                [--settle N]\n"
           "      processes a mono or stereo file; OUT has the input's sample rate and\n"
           "      sample format (32-bit float with --float) and always two channels when\n"
           "      the plug-in has two outputs, mono input being fed to both inputs.\n"
           "      Integer samples are rounded to the nearest step; --dither tpdf adds\n"
           "      triangular dither first (8, 16 and 24 bits). RF64 from 4 GiB on.\n"
           "  vsthost response PLUGIN [settings] [--png FILE] [--rate SR] [--settle N]\n"
           "      measures the magnitude response after the smoothing has settled\n"
           "      (--rate 1000 to 1000000; --settle N blocks, at most 10 minutes of audio)\n"
           "  vsthost editor PLUGIN [settings] [--seconds N] [--log] [--audio] [--rate SR]\n"
           "                [--scale F]\n"
           "      opens the plug-in's editor in a window of its own; --scale asks the editor\n"
           "      to draw at F window pixels per pixel of its layout (1 to 2) before it opens\n"
           "  vsthost preset save PLUGIN OUT.fxp|OUT.fxb [settings]\n"
           "      saves the plug-in's program (.fxp) or bank (.fxb) after the settings: its\n"
           "      state chunk when it keeps one, else its parameter values\n"
           "  vsthost preset show FILE\n"
           "      the header, program names and values (or chunk size) of a .fxp or .fxb\n"
           "  vsthost validate PLUGIN [--strictness 1..10] [--seed N] [--json] [--only A,B]\n"
           "                  [--timeout S] [--headless] [--in-process] [--scale F]\n"
           "      tests the plug-in against the VST 2.4 interface; each test runs in a\n"
           "      process of its own (--in-process: all in this one) and ends in pass,\n"
           "      fail or skip with the reason; exit code 1 when any test fails.\n"
           "      --strictness runs every test up to that level (default 5); --headless\n"
           "      leaves the editor out; --timeout bounds one test (default 300 s); --scale\n"
           "      asks the editor for that drawing scale before every editor test\n"
           "  vsthost validate --list\n"
           "      the tests: level, name and what each checks\n"
           "  vsthost --version\n"
           "      the tool's name and version\n"
           "\n"
           "settings, applied in order before processing starts:\n"
           "  --param INDEX=VALUE   normalised parameter value, 0 to 1\n"
           "  --band K=DB           band fader K (1..10) in dB, -12 to +12\n"
           "  --in on|off           the IN switch, carried in the state chunk\n"
           "  --block N             frames per processing block (default 512)\n"
           "  --preset FILE         a .fxp or .fxb, loaded before the other settings\n"
           "  --force               loads a preset made for another plug-in, or the part\n"
           "                        of it that fits when the counts differ\n"
           "\n"
           "OUT.wav may be '-' (standard output), a device or a FIFO, which are written as a\n"
           "stream; '--' ends the options, for file names that start with '-'.\n"
           "\n"
           "Exit codes: 0 success, 1 failure, 2 bad command line, 3 the plug-in crashed.\n";
}

} // namespace VLM
