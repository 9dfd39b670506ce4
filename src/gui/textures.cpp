#include "gui/textures.h"

#include "gui/exceptions.h"
#include "gui/numbers.h"
#include "platform/gl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace VLM {

FilmstripLayout ParseFilmstripName(const std::wstring& name) {
    FilmstripLayout layout;
    const std::size_t open = name.rfind(L'[');
    if (open == std::wstring::npos) {
        return layout;
    }
    layout.hasSuffix = true;
    // The closing bracket is taken to be the name's last character.
    const std::size_t last = name.size() - 1;
    auto between = [&](std::size_t from) {
        return from < last ? name.substr(from, last - from) : std::wstring();
    };
    layout.frameCount = ReadInteger(between(open + 1));
    const std::size_t separator = name.find(L'x', open);
    if (separator != std::wstring::npos) {
        layout.columnCount = ReadInteger(between(separator + 1));
    }
    if (layout.frameCount < 1) {
        layout.frameCount = 1;
    }
    if (layout.columnCount < 1) {
        layout.columnCount = 1;
    }
    return layout;
}

std::int32_t ImageDensity(float scale) {
    return scale > 1.0f ? 2 : 1;
}

std::wstring ImageNameAtDensity(const std::wstring& name, std::int32_t density) {
    if (density == 1) {
        return name;
    }
    const std::size_t bracket = std::min(name.rfind(L'['), name.size());
    return name.substr(0, bracket) + L"@" + std::to_wstring(density) + L"x" + name.substr(bracket);
}

std::int32_t TextureSide(std::int32_t size) {
    for (int k = 1; k < 19; ++k) {
        const auto side = static_cast<std::int32_t>(std::pow(2.0, k));
        if (side >= size) {
            return side;
        }
    }
    return 524288;
}

namespace {
// Resources are looked up by their lower-cased names.
std::wstring ResourceKey(const std::wstring& name) {
    std::wstring lower = name;
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return lower;
}
} // namespace

std::optional<std::vector<std::uint8_t>> OpenResourceStream(const std::wstring& name,
                                                            const std::wstring& type) {
    if (name.empty() || type.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    const Platform::ModuleHandle module = Platform::ModuleInstance();
    if (module == nullptr || !Platform::ReadResource(module, ResourceKey(name), type, bytes) ||
        bytes.empty()) {
        throw Exceptions::ResourceError(name, type);
    }
    return bytes;
}

void CheckImage(const Platform::Bitmap& bitmap, const std::wstring& name) {
    const std::int32_t status = bitmap.status;
    if (status != 0) {
        throw Exceptions::GDIPImage(name, Platform::BitmapWidth(bitmap.handle),
                                    Platform::BitmapHeight(bitmap.handle), status);
    }
}

const void* TightRows(const Platform::PixelRows& rows, std::int32_t width, std::int32_t height,
                      std::vector<std::uint8_t>& store) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (rows.stride == static_cast<std::int32_t>(rowBytes) && rows.height >= height) {
        return rows.scan0;
    }
    store.assign(rowBytes * static_cast<std::size_t>(height), 0);
    const std::size_t copyBytes = std::min(rowBytes, static_cast<std::size_t>(rows.width) * 4);
    for (std::int32_t i = 0; i < height && i < rows.height; ++i) {
        std::memcpy(store.data() + rowBytes * static_cast<std::size_t>(i),
                    rows.scan0 + static_cast<std::ptrdiff_t>(i) * rows.stride, copyBytes);
    }
    return store.data();
}

bool OffersAnyTextureSize(const char* version, const char* extensions) {
    if (version != nullptr) {
        // "major.minor[.release] [vendor text]"
        int major = 0;
        for (const char* c = version; *c >= '0' && *c <= '9' && major < 100; ++c) {
            major = major * 10 + (*c - '0');
        }
        if (major >= 2) {
            return true;
        }
    }
    if (extensions == nullptr) {
        return false;
    }
    // The list is separated by spaces; a longer name that begins alike does not count.
    static const char kName[] = "GL_ARB_texture_non_power_of_two";
    const std::size_t length = sizeof(kName) - 1;
    for (const char* at = std::strstr(extensions, kName); at != nullptr;
         at = std::strstr(at + length, kName)) {
        const bool starts = at == extensions || at[-1] == ' ';
        const bool ends = at[length] == '\0' || at[length] == ' ';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

bool CTextureCache::TakesAnySize(Platform::GLContextHandle context) {
    if (context != askedContext) {
        askedContext = context;
        const auto text = [](GLenum which) {
            return reinterpret_cast<const char*>(glGetString(which));
        };
        // The extension list is only asked of versions before 2.0, whose every context has it.
        const char* version = text(GL_VERSION);
        anySize = OffersAnyTextureSize(version, nullptr) ||
                  OffersAnyTextureSize(nullptr, text(GL_EXTENSIONS));
        // A failed query leaves an error that would be taken for the upload's.
        for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
        }
    }
    return anySize;
}

TextureEntry CTextureCache::Load(const Platform::Bitmap& decoded, const std::wstring& resource,
                                 std::int32_t density, Platform::GLContextHandle context) {
    TextureEntry loaded;
    const CBitmap image(decoded);
    try {
        CheckImage(image.Get(), resource);
        const std::int32_t pixelWidth = Platform::BitmapWidth(image.Handle());
        const std::int32_t pixelHeight = Platform::BitmapHeight(image.Handle());
        // The controls are laid out in 1x pixels; only the texels are finer.
        loaded.imageWidth = pixelWidth / density;
        loaded.imageHeight = pixelHeight / density;
        // Without textures of any size the image goes into the top left corner of one whose
        // sides are powers of two; sampled at the same texels either way, it draws the same.
        const bool ownSize = TakesAnySize(context);
        const std::int32_t side = ownSize ? pixelWidth : TextureSide(pixelWidth);
        const std::int32_t rows = ownSize ? pixelHeight : TextureSide(pixelHeight);
        loaded.uExtent = static_cast<float>(pixelWidth) / static_cast<float>(side);
        loaded.vExtent = static_cast<float>(pixelHeight) / static_cast<float>(rows);

        const CPixelLock source(image.Handle());
        std::optional<CBitmap> pow2;
        std::optional<CPixelLock> target;
        if (!ownSize) {
            pow2.emplace(Platform::CreateBitmap(side, rows));
            CheckImage(pow2->Get(), L"iImagePow2");
            target.emplace(pow2->Handle());
        }
        if (!source.Locked() || (target && !target->Locked())) {
            throw Exceptions::GDIP(L"Gdiplus::Bitmap::LockBits", 1);
        }
        if (target) {
            const Platform::PixelRows& from = source.Rows();
            const Platform::PixelRows& to = target->Rows();
            const std::int32_t copyWidth = std::min(from.width, to.width);
            const std::size_t rowBytes =
                copyWidth > 0 ? static_cast<std::size_t>(copyWidth) * 4 : 0;
            const std::int32_t rowCount = std::min(from.height, to.height);
            for (std::int32_t i = 0; i < rowCount; ++i) {
                std::memcpy(to.scan0 + static_cast<std::ptrdiff_t>(i) * to.stride,
                            from.scan0 + static_cast<std::ptrdiff_t>(i) * from.stride, rowBytes);
            }
        }

        GLuint name32 = 0;
        glGenTextures(1, &name32);
        loaded.texture = name32;
        if (const GLenum error = glGetError()) {
            throw Exceptions::OGL(L"glGenTextures", static_cast<std::int32_t>(error));
        }
        glBindTexture(GL_TEXTURE_2D, loaded.texture);
        if (const GLenum error = glGetError()) {
            throw Exceptions::OGL(L"glBindTexture", static_cast<std::int32_t>(error));
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        std::vector<std::uint8_t> store;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, side, rows, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     TightRows(target ? target->Rows() : source.Rows(), side, rows, store));
        if (const GLenum error = glGetError()) {
            throw Exceptions::OGLTexImage2D(resource, side, rows, static_cast<std::int32_t>(error));
        }
    } catch (...) {
        Delete(loaded.texture, context);
        throw;
    }
    // The decoded pixels and their padded copy are freed here; the texture holds the picture.
    return loaded;
}

std::uint32_t CTextureCache::Acquire(const std::wstring& name, std::int32_t& imageWidth,
                                     std::int32_t& imageHeight, float& uExtent, float& vExtent,
                                     Platform::GLContextHandle context, float scale) {
    if (name.empty()) {
        return 0;
    }
    // A missing twin is an error like a missing image: the 1x image is never enlarged instead.
    const std::int32_t density = ImageDensity(scale);
    const std::wstring resource = ImageNameAtDensity(name, density);
    auto found = entries.find(resource);
    if (found == entries.end()) {
        // A failed load leaves nothing behind, so that no later acquisition can hand out a
        // texture name without image data.
        std::vector<std::uint8_t> bytes =
            OpenResourceStream(resource, L"IMG").value_or(std::vector<std::uint8_t>());
        auto picture = pictures.find(bytes);
        if (picture == pictures.end()) {
            std::optional<Platform::Bitmap> decoded = ahead.Take(bytes);
            if (!decoded) {
                decoded =
                    Platform::DecodeImage(bytes.empty() ? nullptr : bytes.data(), bytes.size());
            }
            const TextureEntry loaded = Load(*decoded, resource, density, context);
            try {
                picture = pictures.emplace(std::move(bytes), Picture{loaded, 0}).first;
            } catch (...) {
                Delete(loaded.texture, context);
                throw;
            }
        }
        TextureEntry entry = picture->second.layout;
        entry.refCount = 0;
        found = entries.emplace(resource, entry).first;
        ++picture->second.names;
    }
    TextureEntry& entry = found->second;
    imageWidth = entry.imageWidth;
    imageHeight = entry.imageHeight;
    uExtent = entry.uExtent;
    vExtent = entry.vExtent;
    ++entry.refCount;
    return entry.texture;
}

void CTextureCache::Release(std::uint32_t texture, Platform::GLContextHandle context) {
    if (texture == 0) {
        return;
    }
    const auto holder = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return entry.second.texture == texture;
    });
    if (holder == entries.end() || --holder->second.refCount > 0) {
        return;
    }
    entries.erase(holder);
    const auto picture = std::find_if(pictures.begin(), pictures.end(), [&](const auto& p) {
        return p.second.layout.texture == texture;
    });
    if (picture != pictures.end() && --picture->second.names <= 0) {
        Delete(texture, context);
        pictures.erase(picture);
    }
}

void CTextureCache::DecodeAhead(const std::vector<std::wstring>& names, float scale) {
    // Only a head start: whatever goes wrong here is met again, and reported, when the image
    // is acquired.
    try {
        const Platform::ModuleHandle module = Platform::ModuleInstance();
        const std::int32_t density = ImageDensity(scale);
        std::vector<std::vector<std::uint8_t>> images;
        for (const std::wstring& name : names) {
            const std::wstring resource = ImageNameAtDensity(name, density);
            if (name.empty() || entries.count(resource) != 0) {
                continue;
            }
            // An image of a size already taken is left to its acquisition: here those are the
            // ten names of one fader strip, which the acquisition finds decoded by its bytes.
            // Reading them now would only bring their pages into memory before they are needed.
            const std::size_t size = Platform::ResourceSize(module, ResourceKey(resource), L"IMG");
            const bool sizeTaken = std::any_of(images.begin(), images.end(),
                                               [&](const auto& b) { return b.size() == size; });
            if (size == 0 || sizeTaken) {
                continue;
            }
            try {
                if (auto bytes = OpenResourceStream(resource, L"IMG")) {
                    images.push_back(std::move(*bytes));
                }
            } catch (const Exceptions::Std&) {
                // An unreadable resource: the others are still worth decoding.
            }
        }
        ahead.Start(std::move(images));
    } catch (...) {
        ahead.Cancel();
    }
}

void CTextureCache::Clear(Platform::GLContextHandle context) {
    ahead.Cancel();
    for (const auto& picture : pictures) {
        Delete(picture.second.layout.texture, context);
    }
    pictures.clear();
    entries.clear();
    // The next context is asked again, even should it come at the same address.
    askedContext = nullptr;
}

void CTextureCache::Delete(std::uint32_t texture, Platform::GLContextHandle context) {
    // Deleting with another context current would delete that context's texture of the
    // same name; ours die with our context anyway.
    if (texture != 0 && context != nullptr && Platform::CurrentGLContext() == context) {
        const GLuint name = texture;
        glDeleteTextures(1, &name);
    }
}

CPixelLock::CPixelLock(Platform::BitmapHandle locking) : bitmap(locking) {
    locked = bitmap != nullptr && Platform::LockPixels(bitmap, rows);
}

CPixelLock::~CPixelLock() {
    if (locked) {
        Platform::UnlockPixels(bitmap, rows);
    }
}

} // namespace VLM
