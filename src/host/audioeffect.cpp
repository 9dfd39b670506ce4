#include "host/audioeffect.h"

#include "host/hosttext.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace {

// Flush-to-zero and denormals-are-zero for the length of a processing call: a signal fading
// into the subnormal range (a reverb tail, the end of a fade) would otherwise take a slow path
// through every multiplication on many processors. The host's control word, modes and status
// flags alike, is back when the scope ends, however it ends. [audio thread]
class CDenormalsOff {
public:
    CDenormalsOff(const CDenormalsOff&) = delete;
    CDenormalsOff& operator=(const CDenormalsOff&) = delete;
#if defined(__SSE__) || defined(_M_X64)
    CDenormalsOff() : saved(_mm_getcsr()) {
        _mm_setcsr(saved | kFlushToZero | kDenormalsAreZero);
    }
    ~CDenormalsOff() {
        _mm_setcsr(saved);
    }

private:
    static constexpr unsigned int kFlushToZero = 0x8000;
    static constexpr unsigned int kDenormalsAreZero = 0x0040;
    unsigned int saved;
#else
    CDenormalsOff() {}
#endif
};

// Copies at most maxLen characters and writes the terminator at maxLen: the host's buffer
// holds maxLen + 1 bytes.
void copyText(char* text, const char* source, VstInt32 maxLen) {
    if (text == nullptr || maxLen < 0) {
        return;
    }
    VstInt32 i = 0;
    for (; i < maxLen && source[i] != '\0'; ++i) {
        text[i] = source[i];
    }
    for (; i <= maxLen; ++i) {
        text[i] = '\0';
    }
}

// Appends to a text already held in a buffer of maxLen + 1 bytes, with the same bound.
void appendText(char* text, const char* source, VstInt32 maxLen) {
    if (text == nullptr || maxLen < 0) {
        return;
    }
    VstInt32 length = 0;
    while (length < maxLen && text[length] != '\0') {
        ++length;
    }
    copyText(text + length, source, maxLen - length);
}

void writeEmptyText(char* text) {
    if (text != nullptr) {
        text[0] = '\0';
    }
}

// A double beyond the float range becomes an infinity rather than an undefined conversion.
float toFloat(double value) {
    if (value > static_cast<double>(FLT_MAX)) {
        return HUGE_VALF;
    }
    if (value < -static_cast<double>(FLT_MAX)) {
        return -HUGE_VALF;
    }
    return static_cast<float>(value);
}

AudioEffect* instanceOf(AEffect* effect) {
    return effect != nullptr ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

// The number text holds eight characters: sign, integer digits, point and decimals together.
constexpr int kNumberChars = 8;

} // namespace

AudioEffect::AudioEffect(audioMasterCallback hostCallback, VstInt32 programCount,
                         VstInt32 paramCount)
    : audioMaster(hostCallback), numPrograms(programCount), numParams(paramCount) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.flags = effFlagsCanReplacing;

    cEffect.dispatcher = &AudioEffect::dispatchEntry;
    cEffect.process = &AudioEffect::processEntry;
    cEffect.setParameter = &AudioEffect::setParameterEntry;
    cEffect.getParameter = &AudioEffect::getParameterEntry;
    cEffect.processReplacing = &AudioEffect::processReplacingEntry;
    cEffect.processDoubleReplacing = &AudioEffect::processDoubleReplacingEntry;
    cEffect.magic = kEffectMagic;
    cEffect.numPrograms = programCount;
    cEffect.numParams = paramCount;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = FourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    // Every request that writes through or reads from ptr is answered 0 without a call when
    // the host passes null, so no operation below ever sees a null buffer; every text written
    // for the host is terminated within the buffer size the interface documents.
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        // A negative number passes the bound: hosts rely on it as written.
        if (value < numPrograms && value >= INT32_MIN) {
            setProgram(static_cast<VstInt32>(value));
        }
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (ptr != nullptr) {
            setProgramName(static_cast<char*>(ptr));
        }
        return 0;
    case effGetProgramName:
        if (ptr != nullptr) {
            getProgramName(static_cast<char*>(ptr));
            VLM::TerminateHostText(ptr, opcode);
        }
        return 0;
    case effGetParamLabel:
        if (ptr != nullptr) {
            getParameterLabel(index, static_cast<char*>(ptr));
            VLM::TerminateHostText(ptr, opcode);
        }
        return 0;
    case effGetParamDisplay:
        if (ptr != nullptr) {
            getParameterDisplay(index, static_cast<char*>(ptr));
            VLM::TerminateHostText(ptr, opcode);
        }
        return 0;
    case effGetParamName:
        if (ptr != nullptr) {
            getParameterName(index, static_cast<char*>(ptr));
            VLM::TerminateHostText(ptr, opcode);
        }
        return 0;
    case effSetSampleRate:
        // A rate that is not a positive number would break every filter designed from it.
        if (std::isfinite(opt) && opt > 0.0f) {
            setSampleRate(opt);
        }
        return 0;
    case effSetBlockSize:
        if (value > 0 && value <= INT32_MAX) {
            setBlockSize(static_cast<VstInt32>(value));
        }
        return 0;
    case effMainsChanged:
        if (value == 0) {
            suspend();
        } else {
            resume();
        }
        return 0;
    case effEditGetRect:
        if (editor != nullptr && ptr != nullptr) {
            return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        }
        return 0;
    case effEditOpen:
        if (editor != nullptr) {
            return editor->open(ptr) ? 1 : 0;
        }
        return 0;
    case effEditClose:
        if (editor != nullptr) {
            editor->close();
        }
        return 0;
    case effEditIdle:
        if (editor != nullptr) {
            editor->idle();
        }
        return 0;
    case effIdentify:
        return FourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
        if (ptr == nullptr) {
            return 0;
        }
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk: {
        if (ptr == nullptr) {
            return 0;
        }
        // A size beyond the int32 range saturates instead of wrapping into a different size.
        const VstIntPtr size = value > INT32_MAX ? INT32_MAX : (value < INT32_MIN ? 0 : value);
        return setChunk(ptr, static_cast<VstInt32>(size), index != 0);
    }
    default:
        return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getProgramName(char* name) {
    writeEmptyText(name);
}

void AudioEffect::getParameterLabel(VstInt32 /*index*/, char* label) {
    writeEmptyText(label);
}

void AudioEffect::getParameterDisplay(VstInt32 /*index*/, char* text) {
    writeEmptyText(text);
}

void AudioEffect::getParameterName(VstInt32 /*index*/, char* text) {
    writeEmptyText(text);
}

VstInt32 AudioEffect::getMasterVersion() {
    if (audioMaster == nullptr) {
        return 1;
    }
    const auto version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
    callHost(audioMasterIdle);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    if (value <= 0.0f) {
        copyText(text, "-oo", maxLen);
        return;
    }
    float2string(20.0f * std::log10(value), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    if (samples == 0.0f) {
        float2string(0.0f, text, maxLen);
        return;
    }
    float2string(getSampleRate() / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    const double ms = static_cast<double>(samples) * 1000.0 / static_cast<double>(getSampleRate());
    float2string(toFloat(ms), text, maxLen);
}

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    if (text == nullptr || maxLen < 0) {
        return;
    }
    double v = value;
    // A NaN has no digits to show; "NaN" says what came, and infinities fall under "Huge!".
    if (std::isnan(v)) {
        copyText(text, "NaN", maxLen);
        return;
    }
    const bool neg = v < 0.0;
    if (neg) {
        v = -v;
    }
    if ((neg && v > 9999999.0) || (!neg && v > 99999999.0)) {
        copyText(text, "Huge!", maxLen);
        return;
    }

    char digits[kNumberChars + 1];
    int numDigits = 0;
    double integer = std::floor(v);
    do {
        digits[numDigits++] = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
        integer = std::floor(integer / 10.0);
    } while (integer >= 1.0 && numDigits < kNumberChars);

    char number[kNumberChars + 2];
    int count = 0;
    if (neg) {
        number[count++] = '-';
    }
    while (numDigits > 0) {
        number[count++] = digits[--numDigits];
    }
    // A number with eight integer characters (seven digits and the sign) keeps every digit
    // and drops the point, rather than losing its leading digit.
    if (count < kNumberChars) {
        number[count++] = '.';
    }
    number[count] = '\0';
    copyText(text, number, maxLen);
    if (count >= kNumberChars) {
        return;
    }

    static constexpr double kPowersOfTen[] = {1.0, 10.0, 100.0, 1e3, 1e4, 1e5, 1e6, 1e7};
    const int numDecimals = kNumberChars - count;
    double m = std::fmod(v, 1.0) * kPowersOfTen[numDecimals];
    char decimals[kNumberChars + 1];
    for (int i = numDecimals - 1; i >= 0; --i) {
        if (m > 0.0) {
            decimals[i] = static_cast<char>('0' + static_cast<int>(std::fmod(m, 10.0)));
            m /= 10.0;
        } else {
            decimals[i] = '0';
        }
    }
    decimals[numDecimals] = '\0';
    appendText(text, decimals, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    std::int64_t v = value;
    // Nine digits do not fit the number text in either direction, and the negation of the
    // smallest int32 would overflow.
    if (v >= 100000000 || v <= -100000000) {
        copyText(text, "Huge!", maxLen);
        return;
    }
    char number[kNumberChars + 3];
    int count = 0;
    if (v < 0) {
        number[count++] = '-';
        v = -v;
    }
    bool started = false;
    for (std::int64_t place = 100000000; place >= 1; place /= 10) {
        const int digit = static_cast<int>((v / place) % 10);
        if (digit != 0 || started || place == 1) {
            number[count++] = static_cast<char>('0' + digit);
            started = true;
        }
    }
    number[count] = '\0';
    copyText(text, number, maxLen);
}

bool AudioEffect::isInputConnected(VstInt32 input) {
    if (audioMaster == nullptr) {
        return true;
    }
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    if (audioMaster == nullptr) {
        return true;
    }
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    if (audioMaster == nullptr) {
        return 0;
    }
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state) {
        cEffect.flags |= flag;
    } else {
        cEffect.flags &= ~flag;
    }
}

// [UI thread] (mostly) effClose ends the instance here: the instance's own answer is ignored.
VstIntPtr VLM_VSTCALL AudioEffect::dispatchEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                 VstIntPtr value, void* ptr, float opt) {
    AudioEffect* instance = instanceOf(effect);
    if (instance == nullptr) {
        return 0;
    }
    if (opcode == effClose) {
        try {
            instance->dispatcher(opcode, index, value, ptr, opt);
        } catch (...) {
            // The host is closing the instance anyway; it goes regardless.
        }
        delete instance;
        return 1;
    }
    try {
        return instance->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

// [audio thread]
void VLM_VSTCALL AudioEffect::processEntry(AEffect* effect, float** inputs, float** outputs,
                                           VstInt32 sampleFrames) {
    AudioEffect* instance = instanceOf(effect);
    if (instance == nullptr || inputs == nullptr || outputs == nullptr || sampleFrames < 0) {
        return;
    }
    try {
        instance->process(inputs, outputs, sampleFrames);
    } catch (...) {
        // Nothing may leave towards the host.
    }
}

// [any thread]
void VLM_VSTCALL AudioEffect::setParameterEntry(AEffect* effect, VstInt32 index, float value) {
    AudioEffect* instance = instanceOf(effect);
    // A NaN has no place in 0..1 and would survive any clamping downstream.
    if (instance == nullptr || std::isnan(value)) {
        return;
    }
    try {
        instance->setParameter(index, value);
    } catch (...) {
        // Nothing may leave towards the host.
    }
}

// [any thread]
float VLM_VSTCALL AudioEffect::getParameterEntry(AEffect* effect, VstInt32 index) {
    AudioEffect* instance = instanceOf(effect);
    if (instance == nullptr) {
        return 0.0f;
    }
    try {
        return instance->getParameter(index);
    } catch (...) {
        return 0.0f;
    }
}

// [audio thread]
void VLM_VSTCALL AudioEffect::processReplacingEntry(AEffect* effect, float** inputs,
                                                    float** outputs, VstInt32 sampleFrames) {
    AudioEffect* instance = instanceOf(effect);
    if (instance == nullptr || inputs == nullptr || outputs == nullptr || sampleFrames < 0) {
        return;
    }
    const CDenormalsOff denormalsOff;
    try {
        instance->processReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
        // Nothing may leave towards the host.
    }
}

// [audio thread]
void VLM_VSTCALL AudioEffect::processDoubleReplacingEntry(AEffect* effect, double** inputs,
                                                          double** outputs, VstInt32 sampleFrames) {
    AudioEffect* instance = instanceOf(effect);
    if (instance == nullptr || inputs == nullptr || outputs == nullptr || sampleFrames < 0) {
        return;
    }
    const CDenormalsOff denormalsOff;
    try {
        instance->processDoubleReplacing(inputs, outputs, sampleFrames);
    } catch (...) {
        // Nothing may leave towards the host.
    }
}
