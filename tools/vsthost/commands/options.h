// The command line of vsthost, parsed into one plain record before anything is loaded.
#pragma once

#include "io/audio_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace VLM {

enum class ECommand {
    Help,
    Version,
    Info,
    Render,
    Response,
    Editor,
    Validate,
    PresetSave,
    PresetShow
};

// One setting applied to the plug-in before processing, in command-line order.
struct SSetting {
    enum class EKind { Parameter, InSwitch };
    EKind kind = EKind::Parameter;
    int index = 0;      // parameter index (Parameter)
    float value = 0.0f; // normalised value, or 1 / 0 for the IN switch
    std::string source; // the option as written, for messages
};

struct SOptions {
    ECommand command = ECommand::Help;
    std::string plugin;
    std::string input;
    std::string output;
    std::string png;
    std::vector<SSetting> settings;
    int blockSize = 512;
    int settleBlocks = -1; // -1: the command's own default
    bool floatOutput = false;
    EDither dither = EDither::None; // before the reduction to 8, 16 or 24 bits
    double sampleRate = 44100.0;
    double seconds = -1.0; // -1: until the window closes
    bool log = false;
    bool audio = false;
    double scale = 0.0; // --scale: the drawing scale asked of the editor (0: none asked)
    // presets
    std::string presetFile; // --preset: loaded before the settings
    bool force = false;     // load a preset made for another plug-in or parameter count
    bool saveBank = false;  // preset save: .fxb (a bank) rather than .fxp (a program)
    // validate
    int strictness = 5;
    std::uint32_t seed = 1;
    bool json = false;
    bool list = false;
    bool headless = false;         // no editor tests, even when a display is present
    bool isolate = true;           // each test in a process of its own
    double timeout = 300.0;        // seconds one isolated test may take
    std::vector<std::string> only; // test names; empty: every test up to the strictness
    std::string runTest;           // internal: the one test a child process runs
    std::string resultFile;        // internal: where that child writes its result
};

// Parses the arguments after the program name; throws Exceptions::Usage on any fault.
SOptions ParseCommandLine(const std::vector<std::string>& args);

// --settle may run at most this much audio before the measurement or the file.
constexpr double kMaxSettleSeconds = 600.0;

// Throws Exceptions::Usage when --settle asks for more than kMaxSettleSeconds at `rate`.
void CheckSettle(const SOptions& options, double rate);

// The full help text.
const char* UsageText();

// "vsthost 1.0.0": the tool's name and the project's version.
const char* VersionText();

} // namespace VLM
