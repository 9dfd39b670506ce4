// The Linux build's audio input: WAV through the built-in codec, every other format libsndfile
// reads through libsndfile. Output is always the built-in WAV writer.
#include "io/audio_file.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "os/files.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace VLM {
namespace {

// libsndfile's error texts name its internals ("SF_INFO struct incomplete"); users get the
// gist in plain words instead.
std::string Reason(int error) {
    switch (error) {
    case SF_ERR_NO_ERROR:
        return "the file ends early or is damaged";
    case SF_ERR_UNRECOGNISED_FORMAT:
        return "it is not an audio file in a format this tool reads";
    case SF_ERR_SYSTEM:
        return "the system could not read it";
    case SF_ERR_UNSUPPORTED_ENCODING:
        return "its audio encoding is not supported";
    default:
        return "its header is damaged or incomplete";
    }
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

class CSndReader : public CAudioReader {
public:
    explicit CSndReader(const std::string& path) : name("'" + Printable(path) + "'") {
        SF_INFO info{};
        file = sf_open(path.c_str(), SFM_READ, &info);
        if (file == nullptr) {
            throw Exceptions::HostFailure("cannot read " + name + ": " + Reason(sf_error(nullptr)));
        }
        channels = info.channels;
        sampleRate = info.samplerate;
        // The count libsndfile gives when it does not know the length is no count at all.
        const bool known = info.frames >= 0 && info.frames != SF_COUNT_MAX;
        frames = known ? info.frames : -1;
        declaredFrames = frames;
        type = TypeOf(info.format);
    }

    ~CSndReader() override { sf_close(file); }

    std::size_t Read(float* interleaved, std::size_t count) override {
        if (ended) {
            return 0;
        }
        const sf_count_t n = sf_readf_float(file, interleaved, static_cast<sf_count_t>(count));
        const int error = sf_error(file);
        if (error == SF_ERR_SYSTEM) {
            throw Exceptions::HostFailure("cannot read " + name + ": " + Reason(error));
        }
        // A decoding error is where a cut-short file ends (FLAC, Ogg): the frames before it
        // are rendered and the caller compares the count with DeclaredFrames().
        ended = error != SF_ERR_NO_ERROR;
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

private:
    std::string name;
    SNDFILE* file = nullptr;
    bool ended = false;
};

} // namespace

std::unique_ptr<CAudioReader> OpenAudioReader(const std::string& path) {
    const std::string name = "'" + Printable(path) + "'";
    // The file's own problems first (missing, no permission), in the system's words.
    std::FILE* probe = OpenStream(path, "rb");
    if (probe == nullptr) {
        throw Exceptions::HostFailure("cannot read " + name + ": " + std::strerror(errno));
    }
    std::fclose(probe);
    std::unique_ptr<CAudioReader> reader;
    if (Detail::LooksLikeWav(path)) {
        // PCM and float WAV through the built-in codec, exactly as the Windows build reads
        // them; libsndfile only for the encodings it does not decode.
        try {
            reader = OpenWavReader(path);
        } catch (const Detail::UnsupportedEncoding& unsupported) {
            try {
                reader = std::make_unique<CSndReader>(path);
            } catch (const Exceptions::HostFailure&) {
                throw unsupported;
            }
        }
    } else {
        reader = std::make_unique<CSndReader>(path);
    }
    Detail::CheckReadable(*reader, name);
    return reader;
}

} // namespace VLM
