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

std::optional<std::vector<std::uint8_t>> OpenResourceStream(const std::wstring& name,
                                                            const std::wstring& type) {
    if (name.empty() || type.empty()) {
        return std::nullopt;
    }
    std::wstring lower = name;
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    std::vector<std::uint8_t> bytes;
    const Platform::ModuleHandle module = Platform::ModuleInstance();
    if (module == nullptr || !Platform::ReadResource(module, lower, type, bytes) || bytes.empty()) {
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

std::uint32_t CTextureCache::Acquire(const std::wstring& name, std::int32_t& imageWidth,
                                     std::int32_t& imageHeight, float& uExtent, float& vExtent,
                                     Platform::GLContextHandle context, float scale) {
    if (name.empty()) {
        return 0;
    }
    // A missing twin is an error like a missing image: the 1x image is never enlarged instead.
    const std::int32_t density = ImageDensity(scale);
    const std::wstring resource = ImageNameAtDensity(name, density);
    TextureEntry& entry = entries[resource];
    if (entry.texture == 0) {
        // A failed load leaves nothing behind, so that no later acquisition can hand out a
        // texture name without image data.
        try {
            const auto bytes = OpenResourceStream(resource, L"IMG");
            const CBitmap image(bytes ? Platform::DecodeImage(bytes->data(), bytes->size())
                                      : Platform::DecodeImage(nullptr, 0));
            CheckImage(image.Get(), resource);
            const std::int32_t pixelWidth = Platform::BitmapWidth(image.Handle());
            const std::int32_t pixelHeight = Platform::BitmapHeight(image.Handle());
            // The controls are laid out in 1x pixels; only the texels are finer.
            entry.imageWidth = pixelWidth / density;
            entry.imageHeight = pixelHeight / density;
            const std::int32_t side = TextureSide(pixelWidth);
            const std::int32_t rows = TextureSide(pixelHeight);
            entry.uExtent = static_cast<float>(pixelWidth) / static_cast<float>(side);
            entry.vExtent = static_cast<float>(pixelHeight) / static_cast<float>(rows);

            const CBitmap pow2(Platform::CreateBitmap(side, rows));
            CheckImage(pow2.Get(), L"iImagePow2");
            const CPixelLock source(image.Handle());
            const CPixelLock target(pow2.Handle());
            if (!source.Locked() || !target.Locked()) {
                throw Exceptions::GDIP(L"Gdiplus::Bitmap::LockBits", 1);
            }
            const Platform::PixelRows& from = source.Rows();
            const Platform::PixelRows& to = target.Rows();
            const std::int32_t copyWidth = std::min(from.width, to.width);
            const std::size_t rowBytes =
                copyWidth > 0 ? static_cast<std::size_t>(copyWidth) * 4 : 0;
            const std::int32_t rowCount = std::min(from.height, to.height);
            for (std::int32_t i = 0; i < rowCount; ++i) {
                std::memcpy(to.scan0 + static_cast<std::ptrdiff_t>(i) * to.stride,
                            from.scan0 + static_cast<std::ptrdiff_t>(i) * from.stride, rowBytes);
            }

            GLuint name32 = 0;
            glGenTextures(1, &name32);
            entry.texture = name32;
            if (const GLenum error = glGetError()) {
                throw Exceptions::OGL(L"glGenTextures", static_cast<std::int32_t>(error));
            }
            glBindTexture(GL_TEXTURE_2D, entry.texture);
            if (const GLenum error = glGetError()) {
                throw Exceptions::OGL(L"glBindTexture", static_cast<std::int32_t>(error));
            }
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            std::vector<std::uint8_t> store;
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, side, rows, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                         TightRows(to, side, rows, store));
            if (const GLenum error = glGetError()) {
                throw Exceptions::OGLTexImage2D(resource, side, rows,
                                                static_cast<std::int32_t>(error));
            }
        } catch (...) {
            Delete(entry.texture, context);
            entries.erase(resource);
            throw;
        }
    }
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
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->second.texture == texture) {
            if (--it->second.refCount <= 0) {
                Delete(texture, context);
                entries.erase(it);
            }
            return;
        }
    }
}

void CTextureCache::Clear(Platform::GLContextHandle context) {
    for (const auto& entry : entries) {
        Delete(entry.second.texture, context);
    }
    entries.clear();
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
