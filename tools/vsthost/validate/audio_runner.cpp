#include "validate/audio_runner.h"

#include "common/text_format.h"
#include "host/plugin.h"

#include <chrono>

namespace VLM {

CAudioRunner::CAudioRunner(CPlugin& effect, int blockSize, std::uint64_t seed)
    : plugin(effect), block(blockSize), random(seed),
      buffers(effect.Record().numInputs, effect.Record().numOutputs, blockSize) {
    thread = std::thread([this] { Run(); });
}

CAudioRunner::~CAudioRunner() {
    running.store(false);
    if (thread.joinable()) {
        thread.join();
    }
}

void CAudioRunner::StopAfter(long count) {
    while (blocks.load() < count && running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    running.store(false);
    if (thread.joinable()) {
        thread.join();
    }
}

std::string CAudioRunner::Fault() const {
    const std::lock_guard<std::mutex> lock(faultMutex);
    return fault;
}

void CAudioRunner::Run() {
    SetProcessLevel(kProcessLevelRealtime);
    const unsigned control = FloatControl();
    while (running.load()) {
        buffers.Prepare(block, true, random);
        plugin.Process(buffers.Inputs(), buffers.Outputs(), block);
        const long n = blocks.fetch_add(1) + 1;
        std::string found = buffers.Judge(block, Format("block %ld", n));
        if (FloatControl() != control) {
            found += (found.empty() ? "" : "; ") +
                     Format("block %ld: processReplacing changed the floating-point control "
                            "register",
                            n);
            SetFloatControl(control);
        }
        if (!found.empty()) {
            const std::lock_guard<std::mutex> lock(faultMutex);
            if (fault.empty()) {
                fault = found;
            }
        }
        // A DAW's audio thread waits for the next buffer; leave the other threads room.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace VLM
