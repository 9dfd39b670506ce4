// The Linux build's audio files: everything libsndfile reads; results are written as WAV.
#include "audiofile.h"

#include "errors.h"
#include "text.h"

#include <sndfile.h>

#include <string>

namespace VLM {
namespace {

std::string Reason(SNDFILE* file) {
    std::string text = sf_strerror(file);
    while (!text.empty() && (text.back() == '.' || text.back() == ' ' || text.back() == '\n')) {
        text.pop_back();
    }
    return Printable(text);
}

ESampleType TypeOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return ESampleType::Int8;
    case SF_FORMAT_PCM_16:
        return ESampleType::Int16;
    case SF_FORMAT_PCM_24:
        return ESampleType::Int24;
    case SF_FORMAT_PCM_32:
        return ESampleType::Int32;
    case SF_FORMAT_FLOAT:
        return ESampleType::Float32;
    case SF_FORMAT_DOUBLE:
        return ESampleType::Float64;
    default:
        return ESampleType::Other;
    }
}

int WavSubtype(ESampleType type) {
    switch (type) {
    case ESampleType::Int8:
        return SF_FORMAT_PCM_U8;
    case ESampleType::Int16:
        return SF_FORMAT_PCM_16;
    case ESampleType::Int24:
        return SF_FORMAT_PCM_24;
    case ESampleType::Int32:
        return SF_FORMAT_PCM_32;
    case ESampleType::Float64:
        return SF_FORMAT_DOUBLE;
    default:
        return SF_FORMAT_FLOAT;
    }
}

class CSndReader : public CAudioReader {
public:
    explicit CSndReader(const std::string& path) : name("'" + Printable(path) + "'") {
        SF_INFO info{};
        file = sf_open(path.c_str(), SFM_READ, &info);
        if (file == nullptr) {
            throw Exceptions::HostFailure("cannot read " + name + ": " + Reason(nullptr));
        }
        channels = info.channels;
        sampleRate = info.samplerate;
        frames = info.frames;
        type = TypeOf(info.format);
    }

    ~CSndReader() override { sf_close(file); }

    std::size_t Read(float* interleaved, std::size_t count) override {
        const sf_count_t n = sf_readf_float(file, interleaved, static_cast<sf_count_t>(count));
        if (n < 0 || sf_error(file) != SF_ERR_NO_ERROR) {
            throw Exceptions::HostFailure("cannot read " + name + ": " + Reason(file));
        }
        return static_cast<std::size_t>(n);
    }

private:
    std::string name;
    SNDFILE* file = nullptr;
};

class CSndWriter : public CAudioWriter {
public:
    CSndWriter(const std::string& path, int channels, double sampleRate, ESampleType type)
        : name("'" + Printable(path) + "'") {
        SF_INFO info{};
        info.channels = channels;
        info.samplerate = static_cast<int>(sampleRate);
        info.format = SF_FORMAT_WAV | WavSubtype(type);
        file = sf_open(path.c_str(), SFM_WRITE, &info);
        if (file == nullptr) {
            throw Exceptions::HostFailure("cannot write " + name + ": " + Reason(nullptr));
        }
        // Saturate at full scale instead of wrapping around.
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }

    ~CSndWriter() override {
        if (file != nullptr) {
            sf_close(file);
        }
    }

    void Write(const float* interleaved, std::size_t count) override {
        const sf_count_t n = sf_writef_float(file, interleaved, static_cast<sf_count_t>(count));
        if (n != static_cast<sf_count_t>(count)) {
            throw Exceptions::HostFailure("cannot write " + name + ": " + Reason(file));
        }
    }

    void Finish() override {
        sf_write_sync(file);
        const int status = sf_close(file);
        file = nullptr;
        if (status != 0) {
            throw Exceptions::HostFailure("cannot write " + name + ": " +
                                          Printable(sf_error_number(status)));
        }
    }

private:
    std::string name;
    SNDFILE* file = nullptr;
};

} // namespace

std::unique_ptr<CAudioReader> OpenAudioReader(const std::string& path) {
    return std::make_unique<CSndReader>(path);
}

std::unique_ptr<CAudioWriter> CreateAudioWriter(const std::string& path, int channels,
                                                double sampleRate, ESampleType type) {
    return std::make_unique<CSndWriter>(path, channels, sampleRate, type);
}

} // namespace VLM
