#include "formats/shared/bands.h"

#include "formats/shared/utf8.h"

#include "dsp/controldesc.h"
#include "gui/numbers.h"
#include "widgets/knob.h"

#include <cmath>

namespace VLM {
namespace Bands {

namespace {

const ControlDesc& Fader(int band) {
    return Controls::BandFader[band >= 0 && band < kCount ? band : 0];
}

// The controls' texts are wide; hosts take UTF-8.
std::string Utf8(const std::wstring& text) {
    std::string out;
    for (const wchar_t wc : text) {
        AppendUtf8(out, static_cast<std::uint32_t>(wc));
    }
    return out;
}

} // namespace

std::string Name(int band) {
    return Utf8(Fader(band).label);
}

std::string Unit(int band) {
    return Utf8(Fader(band).unit);
}

float ToDb(int band, float normalised) {
    return ToUnitValue(Fader(band), normalised);
}

float ToNormalised(int band, float db) {
    return ToNormalisedValue(Fader(band), db);
}

double ToDbPrecise(int band, float normalised) {
    const ControlDesc& fader = Fader(band);
    if (fader.valueMap != nullptr) {
        return ToDb(band, normalised);
    }
    const double low = fader.minValue;
    return low + static_cast<double>(normalised) * (static_cast<double>(fader.maxValue) - low);
}

float ToNormalisedPrecise(int band, double db) {
    const ControlDesc& fader = Fader(band);
    const double range = static_cast<double>(fader.maxValue) - fader.minValue;
    if (fader.valueMap != nullptr || range == 0.0) {
        return ToNormalised(band, static_cast<float>(db));
    }
    return static_cast<float>((db - fader.minValue) / range);
}

bool Clamp(float& normalised) {
    if (std::isnan(normalised)) {
        return false;
    }
    normalised = normalised < 0.0f ? 0.0f : (normalised > 1.0f ? 1.0f : normalised);
    return true;
}

std::string Text(int band, float normalised) {
    return Utf8(ReadoutText(Fader(band), normalised));
}

bool FromText(int band, const std::string& text, float& normalised) {
    // The number must start the text (after white space and a sign), as the text entry reads it;
    // unlike the entry, a text without digits is no value rather than 0.
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
    }
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
        return false;
    }
    const double db = ParseNumber(std::wstring(text.begin(), text.end()));
    if (!std::isfinite(db)) {
        return false;
    }
    normalised = ToNormalised(band, static_cast<float>(db));
    return Clamp(normalised);
}

} // namespace Bands
} // namespace VLM
