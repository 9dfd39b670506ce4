#include "os/files.h"

#include "common/text_format.h"

namespace VLM {
namespace {

// The longest name of one directory entry on the file systems in use, in bytes of UTF-8 (on
// Windows 255 UTF-16 units, which never take fewer bytes).
constexpr std::size_t kNameMax = 255;

} // namespace

bool FileExists(const std::string& path) {
    return PathKind(path) != EPathKind::Missing;
}

bool IsDirectory(const std::string& path) {
    return PathKind(path) == EPathKind::Directory;
}

std::string TemporaryNameFor(const std::string& path) {
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) {
        --nameStart;
    }
    const std::string suffix = Format(".vsthost-%ld.tmp", ProcessId());
    std::string name = path.substr(nameStart);
    if (name.size() + suffix.size() > kNameMax) {
        std::size_t keep = kNameMax - suffix.size();
        // Never cut a UTF-8 sequence in two.
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0u) == 0x80u) {
            --keep;
        }
        name.resize(keep);
    }
    return path.substr(0, nameStart) + name + suffix;
}

} // namespace VLM
