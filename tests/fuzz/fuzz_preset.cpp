// The preset file reader with any bytes. A file it accepts is written back and read again:
// the second reading must give the same record, and writing that again the same bytes. A
// refusal is a CFormatError with one line of text; anything else, or a read outside the
// bytes, stops the run.
#include "io/preset_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace VLM::Preset;

namespace {

[[noreturn]] void Fault(const char* expected, const std::string& came) {
    std::fprintf(stderr, "INVARIANT: expected %s, came %s\n", expected, came.c_str());
    std::abort();
}

bool SameValues(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

void ExpectSame(const SPreset& a, const SPreset& b) {
    if (a.kind != b.kind || a.formatVersion != b.formatVersion || a.uniqueId != b.uniqueId ||
        a.pluginVersion != b.pluginVersion || a.count != b.count ||
        a.currentProgram != b.currentProgram || a.chunk != b.chunk ||
        a.programs.size() != b.programs.size()) {
        Fault("the same header, chunk and program count after writing and reading back",
              "a different one");
    }
    for (std::size_t i = 0; i < a.programs.size(); ++i) {
        // A name that fills its field is written with a terminator, one character shorter.
        const std::string name = a.programs[i].name.substr(0, kNameSize - 1);
        if (name != b.programs[i].name || !b.programs[i].terminated) {
            Fault("each program's name back, terminated", "'" + b.programs[i].name + "'");
        }
        if (!SameValues(a.programs[i].values, b.programs[i].values)) {
            Fault("each program's values back bit for bit", "other values");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SPreset first;
    try {
        first = Parse(data, size);
    } catch (const CFormatError& e) {
        if (std::strchr(e.what(), '\n') != nullptr || e.what()[0] == '\0') {
            Fault("one line of text", std::string("'") + e.what() + "'");
        }
        return 0;
    }
    const std::vector<std::uint8_t> written = Serialise(first);
    SPreset second;
    try {
        second = Parse(written.data(), written.size());
    } catch (const CFormatError& e) {
        Fault("what was written to read back", std::string("the refusal '") + e.what() + "'");
    }
    ExpectSame(first, second);
    if (Serialise(second) != written) {
        Fault("the same bytes when written twice", "different bytes");
    }
    return 0;
}
