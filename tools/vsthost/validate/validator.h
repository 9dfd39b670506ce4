// vsthost validate: tests a VST 2.4 effect binary against the interface, level by level,
// each test ending in pass, fail or skip with the reason.
#pragma once

#include "commands/options.h"

#include <cstdint>
#include <string>
#include <vector>

namespace VLM {

class CPlugin;

enum class EOutcome { Pass, Fail, Skip };

struct SOutcome {
    EOutcome outcome = EOutcome::Pass;
    std::string reason;
};

// What one test sees of the run: the plug-in, the settings and its own random numbers;
// it gathers the faults found.
class CTestContext {
public:
    CTestContext(const SOptions& options, const std::string& testName);

    const std::string& PluginPath() const { return path; }
    bool Headless() const { return headless; }
    double Scale() const { return scale; } // the editor's drawing scale to ask for; 0: none
    int Strictness() const { return strictness; }
    std::uint32_t Seed() const { return seed; }

    // Records a fault; the test goes on, so that one run reports several.
    void Fail(const std::string& reason);
    // Records a fault when `ok` is false; answers `ok`.
    bool Check(bool ok, const std::string& reason);
    // A note for a passing test's line (what was looked at).
    void Note(const std::string& text) { note = text; }
    int FaultCount() const { return static_cast<int>(faults.size()); }

    // The result: every fault, or the note.
    SOutcome Outcome() const;

private:
    std::string path;
    bool headless;
    double scale;
    int strictness;
    std::uint32_t seed;
    std::vector<std::string> faults;
    std::string note;
};

// Thrown by a test to end at once: a fault that makes the rest meaningless, or a reason
// why the test cannot apply.
struct SStopTest {
    EOutcome outcome;
    std::string reason;
};
[[noreturn]] void Stop(EOutcome outcome, const std::string& reason);

struct STest {
    const char* name;
    int level;
    const char* description;
    void (*run)(CTestContext& test);
};

// Every test, by level and then in the order they run.
const std::vector<STest>& ValidatorTests();

// The validate command.
int RunValidate(const SOptions& options);

// A JSON string literal for `text`, quotes included.
std::string JsonString(const std::string& text);

} // namespace VLM
