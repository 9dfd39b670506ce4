// Images decoded on a worker thread while the editor's window and GL context are being made,
// so that the first picture waits only for what could not be done in the meantime.
#pragma once

#include "platform/platform.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace VLM {

// [UI thread] (every operation; the worker is its own)
class CDecodeAhead {
public:
    CDecodeAhead() = default;
    // Stops the worker and disposes of what it decoded and nobody took.
    ~CDecodeAhead();
    CDecodeAhead(const CDecodeAhead&) = delete;
    CDecodeAhead& operator=(const CDecodeAhead&) = delete;

    // Decodes these encoded images, each of other bytes, in their order on a worker thread. A
    // set still running is cancelled first. Where the system gives no thread, each image is
    // decoded when it is taken.
    void Start(std::vector<std::vector<std::uint8_t>> images);
    // The decoded image of these bytes, if they were started and not taken yet: the worker's,
    // waited for while it is on it, or decoded here when it has not begun it. The caller owns
    // it (status as DecodeImage reports it). Nothing for other bytes.
    std::optional<Platform::Bitmap> Take(const std::vector<std::uint8_t>& bytes);
    // Stops the worker after the image it is on, and disposes of every image not taken.
    void Cancel();

private:
    enum class State { Waiting, Decoding, Done, Taken };
    struct Job {
        std::vector<std::uint8_t> bytes;
        Platform::Bitmap decoded;
        State state = State::Waiting;
    };

    void Work();
    static Platform::Bitmap Decode(const std::vector<std::uint8_t>& bytes);

    // The list is fixed while the worker runs; the states and results are guarded by `lock`.
    std::vector<Job> jobs;
    std::mutex lock;
    std::condition_variable finished;
    bool stopping = false;
    std::thread worker;
};

} // namespace VLM
