#include "gui/decodeahead.h"

#include <algorithm>
#include <system_error>

namespace VLM {

CDecodeAhead::~CDecodeAhead() {
    Cancel();
}

void CDecodeAhead::Start(std::vector<std::vector<std::uint8_t>> images) {
    Cancel();
    for (auto& bytes : images) {
        if (!bytes.empty()) {
            jobs.push_back(Job{std::move(bytes), {}, State::Waiting});
        }
    }
    if (jobs.empty()) {
        return;
    }
    try {
        worker = std::thread(&CDecodeAhead::Work, this);
    } catch (const std::system_error&) {
        // No thread: Take decodes each image itself.
    }
}

void CDecodeAhead::Work() {
    for (Job& job : jobs) {
        {
            const std::lock_guard<std::mutex> guard(lock);
            if (stopping) {
                return;
            }
            if (job.state != State::Waiting) {
                continue;
            }
            job.state = State::Decoding;
        }
        const Platform::Bitmap decoded = Decode(job.bytes);
        {
            const std::lock_guard<std::mutex> guard(lock);
            job.decoded = decoded;
            job.state = State::Done;
        }
        finished.notify_all();
    }
}

Platform::Bitmap CDecodeAhead::Decode(const std::vector<std::uint8_t>& bytes) {
    return Platform::DecodeImage(bytes.data(), bytes.size());
}

std::optional<Platform::Bitmap> CDecodeAhead::Take(const std::vector<std::uint8_t>& bytes) {
    const auto found =
        std::find_if(jobs.begin(), jobs.end(), [&](const Job& job) { return job.bytes == bytes; });
    if (found == jobs.end()) {
        return std::nullopt;
    }
    Job& job = *found;
    std::unique_lock<std::mutex> guard(lock);
    if (job.state == State::Taken) {
        return std::nullopt;
    }
    if (job.state == State::Waiting) {
        // Sooner here than after the images the worker has still to do before this one.
        job.state = State::Decoding;
        guard.unlock();
        const Platform::Bitmap decoded = Decode(job.bytes);
        guard.lock();
        job.decoded = decoded;
    } else {
        finished.wait(guard, [&] { return job.state == State::Done; });
    }
    job.state = State::Taken;
    const Platform::Bitmap taken = job.decoded;
    job.decoded = {};
    return taken;
}

void CDecodeAhead::Cancel() {
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    if (worker.joinable()) {
        worker.join();
    }
    for (Job& job : jobs) {
        Platform::DisposeBitmap(job.decoded.handle);
    }
    jobs.clear();
    stopping = false;
}

} // namespace VLM
