// Audio processed on a thread of its own while a test works on others, as in a DAW.
#pragma once

#include "validate/checks.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace VLM {

class CPlugin;

class CAudioRunner {
public:
    // Starts processing noise in blocks of `blockSize` at once; the plug-in must be resumed.
    CAudioRunner(CPlugin& plugin, int blockSize, std::uint64_t seed);
    ~CAudioRunner();
    CAudioRunner(const CAudioRunner&) = delete;
    CAudioRunner& operator=(const CAudioRunner&) = delete;

    // Waits until at least `blocks` blocks have been processed in all, then stops.
    void StopAfter(long blocks);
    long Blocks() const { return blocks.load(); }
    // The first fault seen in the output, empty when none.
    std::string Fault() const;

private:
    void Run();

    CPlugin& plugin;
    int block;
    CRandom random;
    CAudioBuffers buffers;
    std::atomic<bool> running{true};
    std::atomic<long> blocks{0};
    mutable std::mutex faultMutex;
    std::string fault;
    std::thread thread;
};

} // namespace VLM
