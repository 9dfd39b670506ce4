#include "validate/validator.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/plugin.h"
#include "os/child_process.h"
#include "validate/checks.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace VLM {

CTestContext::CTestContext(const SOptions& options, const std::string& testName)
    : path(options.plugin), headless(options.headless), scale(options.scale),
      strictness(options.strictness), seed(options.seed) {
    (void)testName;
}

void CTestContext::Fail(const std::string& reason) {
    faults.push_back(reason);
}

bool CTestContext::Check(bool ok, const std::string& reason) {
    if (!ok) {
        Fail(reason);
    }
    return ok;
}

SOutcome CTestContext::Outcome() const {
    if (faults.empty()) {
        return {EOutcome::Pass, note};
    }
    constexpr std::size_t kShown = 6;
    std::string reason;
    for (std::size_t i = 0; i < faults.size() && i < kShown; ++i) {
        reason += (i == 0 ? "" : "; ") + faults[i];
    }
    if (faults.size() > kShown) {
        reason += Format("; and %zu more", faults.size() - kShown);
    }
    return {EOutcome::Fail, reason};
}

void Stop(EOutcome outcome, const std::string& reason) {
    throw SStopTest{outcome, reason};
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                out += Format("\\u%04x", u);
            } else {
                out.push_back(c);
            }
        }
    }
    return out + "\"";
}

namespace {

const char* OutcomeWord(EOutcome o) {
    switch (o) {
    case EOutcome::Pass:
        return "pass";
    case EOutcome::Fail:
        return "fail";
    case EOutcome::Skip:
    default:
        return "skip";
    }
}

const STest* FindTest(const std::string& name) {
    for (const STest& t : ValidatorTests()) {
        if (name == t.name) {
            return &t;
        }
    }
    return nullptr;
}

// Runs one test in this process. The plug-in's own faults come back as outcomes; a crash
// ends the process (the crash guard names the call).
SOutcome RunHere(const STest& test, const SOptions& options) {
    CTestContext context(options, test.name);
    try {
        test.run(context);
    } catch (const SStopTest& stop) {
        if (stop.outcome == EOutcome::Fail) {
            context.Fail(stop.reason);
        } else if (context.FaultCount() == 0) {
            return {stop.outcome, stop.reason};
        }
    } catch (const Exceptions::HostFailure& e) {
        context.Fail(e.what());
    } catch (const std::bad_alloc&) {
        context.Fail("the tool ran out of memory");
    }
    return context.Outcome();
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The line the crash guard or the tool printed last, for a test process that gave no result.
std::string LastToolLine(const std::string& output) {
    std::string last;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 9, "vsthost: ") == 0) {
            last = line.substr(9);
        }
    }
    return last;
}

SOutcome RunIsolated(const STest& test, const SOptions& options, const std::string& directory,
                     std::vector<std::string>& files) {
    const std::string resultFile = directory + "/" + test.name + ".result";
    const std::string outputFile = directory + "/" + test.name + ".out";
    files.push_back(resultFile);
    files.push_back(outputFile);
    std::vector<std::string> args = {"validate",      options.plugin,
                                     "--run-test",    test.name,
                                     "--strictness",  std::to_string(options.strictness),
                                     "--seed",        std::to_string(options.seed),
                                     "--result-file", resultFile};
    if (options.headless) {
        args.push_back("--headless");
    }
    if (options.scale > 0.0) {
        args.push_back("--scale");
        args.push_back(Format("%.17g", options.scale));
    }
    const SChildRun run = RunChild(args, outputFile, options.timeout);
    if (!run.started) {
        return {EOutcome::Fail, run.why};
    }
    const std::string output = ReadWhole(outputFile);
    if (run.timedOut) {
        return {EOutcome::Fail, Format("did not finish within %g seconds: the plug-in hangs or "
                                       "is far too slow",
                                       options.timeout)};
    }
    const std::string result = ReadWhole(resultFile);
    const std::size_t colon = result.find(':');
    if (colon != std::string::npos) {
        const std::string word = result.substr(0, colon);
        std::string reason = result.substr(colon + 1);
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
            reason.pop_back();
        }
        if (!reason.empty() && reason.front() == ' ') {
            reason.erase(0, 1);
        }
        const EOutcome o = word == "pass"   ? EOutcome::Pass
                           : word == "skip" ? EOutcome::Skip
                                            : EOutcome::Fail;
        return {o, reason};
    }
    const std::string line = LastToolLine(output);
    return {EOutcome::Fail,
            line.empty()
                ? Format("the test process ended without a result (exit code %d)", run.exitCode)
                : line};
}

void WriteResultFile(const std::string& path, const SOutcome& outcome) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << OutcomeWord(outcome.outcome) << ": " << Printable(outcome.reason) << "\n";
}

void PrintList() {
    std::printf("Level  Test                      What it checks\n");
    for (const STest& t : ValidatorTests()) {
        std::printf("%5d  %-24s  %s\n", t.level, t.name, t.description);
    }
}

} // namespace

int RunValidate(const SOptions& options) {
    if (options.list) {
        PrintList();
        return kExitOk;
    }
    for (const std::string& name : options.only) {
        if (FindTest(name) == nullptr) {
            throw Exceptions::Usage("no test named '" + Printable(name) +
                                    "' (see vsthost validate --list)");
        }
    }
    if (!options.runTest.empty()) {
        const STest* test = FindTest(options.runTest);
        if (test == nullptr) {
            throw Exceptions::Usage("no test named '" + Printable(options.runTest) + "'");
        }
        const SOutcome outcome = RunHere(*test, options);
        if (!options.resultFile.empty()) {
            WriteResultFile(options.resultFile, outcome);
        } else {
            std::printf("%s: %s\n", OutcomeWord(outcome.outcome),
                        Printable(outcome.reason).c_str());
        }
        return outcome.outcome == EOutcome::Fail ? kExitFailure : kExitOk;
    }

    std::vector<const STest*> selected;
    for (const STest& t : ValidatorTests()) {
        bool wanted = t.level <= options.strictness;
        if (!options.only.empty()) {
            wanted = false;
            for (const std::string& name : options.only) {
                wanted = wanted || name == t.name;
            }
        }
        if (wanted) {
            selected.push_back(&t);
        }
    }

    if (!options.json) {
        std::printf("Validating %s at strictness %d, seed %u%s\n",
                    Printable(options.plugin).c_str(), options.strictness, options.seed,
                    options.isolate ? "" : " (all tests in one process)");
        std::fflush(stdout);
    }
    const std::string directory = options.isolate ? MakeTemporaryDirectory() : std::string();
    std::vector<std::string> files;
    std::vector<SOutcome> outcomes;
    int counts[3] = {0, 0, 0};
    for (const STest* t : selected) {
        const SOutcome o =
            options.isolate ? RunIsolated(*t, options, directory, files) : RunHere(*t, options);
        outcomes.push_back(o);
        ++counts[static_cast<int>(o.outcome)];
        if (!options.json) {
            std::printf("%-4s  %2d  %-24s %s\n", OutcomeWord(o.outcome), t->level, t->name,
                        Printable(o.reason).c_str());
            std::fflush(stdout);
        }
    }
    if (options.isolate) {
        RemoveTemporaryDirectory(directory, files);
    }
    const int passed = counts[static_cast<int>(EOutcome::Pass)];
    const int failed = counts[static_cast<int>(EOutcome::Fail)];
    const int skipped = counts[static_cast<int>(EOutcome::Skip)];
    if (options.json) {
        std::printf("{\n  \"plugin\": %s,\n  \"strictness\": %d,\n  \"seed\": %u,\n  \"tests\": [",
                    JsonString(options.plugin).c_str(), options.strictness, options.seed);
        for (std::size_t i = 0; i < selected.size(); ++i) {
            const STest& t = *selected[i];
            std::printf("%s\n    {\"name\": %s, \"level\": %d, \"description\": %s, "
                        "\"result\": \"%s\", \"reason\": %s}",
                        i == 0 ? "" : ",", JsonString(t.name).c_str(), t.level,
                        JsonString(t.description).c_str(), OutcomeWord(outcomes[i].outcome),
                        JsonString(outcomes[i].reason).c_str());
        }
        std::printf("\n  ],\n  \"passed\": %d,\n  \"failed\": %d,\n  \"skipped\": %d\n}\n", passed,
                    failed, skipped);
    } else {
        std::printf("Totals: pass %d, fail %d, skip %d\n", passed, failed, skipped);
    }
    std::fflush(stdout);
    return failed > 0 ? kExitFailure : kExitOk;
}

} // namespace VLM
