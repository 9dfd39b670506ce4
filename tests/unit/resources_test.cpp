// The images compiled into the plug-in, seen the way the plug-in looks them up: on Windows
// through the module's resources, elsewhere through the generated table.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "resources/embedded.h"

#include <strings.h>
#endif

namespace {

using Bytes = std::vector<unsigned char>;

struct Expected {
    std::string name; // as a control asks for it; the library stores it in upper case
    std::string file;
    std::uint32_t width;
    std::uint32_t height;
};

const Expected kOneX[] = {
    {"zem", "zem.png", 900, 258},
    {"fader01[64x18]", "fader01.png", 900, 940},
    {"fader02[64x18]", "fader02.png", 900, 940},
    {"fader03[64x18]", "fader03.png", 900, 940},
    {"fader04[64x18]", "fader04.png", 900, 940},
    {"fader05[64x18]", "fader05.png", 900, 940},
    {"fader06[64x18]", "fader06.png", 900, 940},
    {"fader07[64x18]", "fader07.png", 900, 940},
    {"fader08[64x18]", "fader08.png", 900, 940},
    {"fader09[64x18]", "fader09.png", 900, 940},
    {"fader10[64x18]", "fader10.png", 900, 940},
    {"button[2]", "button.png", 60, 120},
    {"lamp[2]", "lamp.png", 50, 100},
    {"knob[61x8]", "knob.png", 536, 536},
    {"bkgnd", "bkgnd.png", 798, 200},
    {"meter", "meter.png", 21, 162},
};

// Every image and its twin for high-density screens: "@2x" before the filmstrip bracket, "_2x"
// before the file's extension, twice the size.
std::vector<Expected> AllImages() {
    std::vector<Expected> all(std::begin(kOneX), std::end(kOneX));
    for (const Expected& image : kOneX) {
        const std::size_t bracket = std::min(image.name.find('['), image.name.size());
        const std::size_t dot = image.file.find('.');
        all.push_back({image.name.substr(0, bracket) + "@2x" + image.name.substr(bracket),
                       image.file.substr(0, dot) + "_2x" + image.file.substr(dot), 2 * image.width,
                       2 * image.height});
    }
    return all;
}
const std::vector<Expected> kExpected = AllImages();

#ifdef _WIN32
Bytes FromResource(HRSRC found) {
    HMODULE module = GetModuleHandleW(nullptr);
    if (found == nullptr)
        return {};
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0)
        return {};
    const auto* first = static_cast<const unsigned char*>(data);
    return Bytes(first, first + size);
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}
#endif

// The bytes stored under a name and the type "IMG"; empty when nothing matches.
Bytes Lookup(const std::string& name) {
#ifdef _WIN32
    return FromResource(FindResourceW(GetModuleHandleW(nullptr), Widen(name).c_str(), L"IMG"));
#else
    for (std::size_t i = 0; i < VLM::kEmbeddedResourceCount; ++i) {
        const VLM::EmbeddedResource& entry = VLM::kEmbeddedResources[i];
        if (strcasecmp(entry.name, name.c_str()) == 0 && strcasecmp(entry.type, "IMG") == 0)
            return Bytes(entry.data, entry.data + entry.size);
    }
    return {};
#endif
}

Bytes CommittedFile(const std::string& file) {
    const std::string path = std::string(VLM_RESOURCE_DIR) + "/" + file;
    Bytes bytes;
    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        unsigned char buffer[65536];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        std::fclose(in);
    }
    return bytes;
}

std::uint32_t BigEndian32(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

TEST(Images, EachIsFoundByItsLowerCaseNameWithTheCommittedBytes) {
    for (const Expected& image : kExpected) {
        const Bytes stored = Lookup(image.name);
        const Bytes file = CommittedFile(image.file);
        ASSERT_FALSE(file.empty()) << "cannot read " << VLM_RESOURCE_DIR << "/" << image.file;
        EXPECT_EQ(stored.size(), file.size())
            << image.name << ": expected the " << file.size() << " bytes of " << image.file;
        EXPECT_TRUE(stored == file) << image.name << " does not hold the bytes of " << image.file;
    }
}

TEST(Images, EachIsAnEightBitRgbaPngOfItsListedSize) {
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Expected& image : kExpected) {
        const Bytes png = Lookup(image.name);
        ASSERT_GE(png.size(), 33u) << image.name << ": too short for a PNG header";
        EXPECT_TRUE(std::equal(signature, signature + 8, png.begin()))
            << image.name << ": no PNG signature";
        EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR") << image.name;
        EXPECT_EQ(BigEndian32(png, 16), image.width) << image.name << " width";
        EXPECT_EQ(BigEndian32(png, 20), image.height) << image.name << " height";
        EXPECT_EQ(png[24], 8) << image.name << ": expected 8 bits per channel";
        EXPECT_EQ(png[25], 6) << image.name << ": expected colour type 6 (RGB with alpha)";
    }
}

TEST(Images, UnknownNameFindsNothing) {
    EXPECT_TRUE(Lookup("fader11[64x18]").empty());
    EXPECT_TRUE(Lookup("fader01").empty()) << "the filmstrip suffix is part of the name";
    EXPECT_TRUE(Lookup("").empty());
}

#ifdef _WIN32
TEST(Images, AreStoredInUsEnglish) {
    const WORD usEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    for (const Expected& image : kExpected) {
        const Bytes stored = FromResource(FindResourceExW(GetModuleHandleW(nullptr), L"IMG",
                                                          Widen(image.name).c_str(), usEnglish));
        EXPECT_FALSE(stored.empty()) << image.name << " is not stored under language 1033";
    }
}
#else
TEST(EmbeddedTable, ListsEveryImageOnceInUpperCase) {
    ASSERT_EQ(VLM::kEmbeddedResourceCount, kExpected.size());
    std::set<std::string> names;
    for (std::size_t i = 0; i < VLM::kEmbeddedResourceCount; ++i) {
        const std::string name = VLM::kEmbeddedResources[i].name;
        EXPECT_STREQ(VLM::kEmbeddedResources[i].type, "IMG") << name;
        for (char c : name)
            EXPECT_FALSE(c >= 'a' && c <= 'z') << name << " is not upper case";
        EXPECT_TRUE(names.insert(name).second) << name << " is listed twice";
    }
}
#endif

} // namespace
