#include "host/module.h"

#include "os/files.h"

#include <cstdint>
#include <cstdio>

namespace VLM::Module {
namespace {

constexpr std::uint16_t kPeMachineX64 = 0x8664;
constexpr std::uint16_t kElfMachineX86_64 = 62;
constexpr unsigned char kElfClass64 = 2;

std::uint32_t Le(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

} // namespace

EBinary IdentifyBinary(const std::string& path) {
    std::FILE* f = OpenStream(path, "rb");
    if (f == nullptr) {
        return EBinary::Unreadable;
    }
    unsigned char head[64] = {};
    const std::size_t n = std::fread(head, 1, sizeof head, f);
    EBinary kind = EBinary::NotBinary;
    if (n >= 20 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F') {
        kind = head[4] == kElfClass64 && Le(head + 18, 2) == kElfMachineX86_64
                   ? EBinary::Linux64
                   : EBinary::LinuxOther;
    } else if (n == sizeof head && head[0] == 'M' && head[1] == 'Z') {
        unsigned char pe[6] = {};
        kind = EBinary::WindowsOther;
        if (std::fseek(f, static_cast<long>(Le(head + 0x3C, 4)), SEEK_SET) == 0 &&
            std::fread(pe, 1, sizeof pe, f) == sizeof pe && pe[0] == 'P' && pe[1] == 'E' &&
            Le(pe + 4, 2) == kPeMachineX64) {
            kind = EBinary::Windows64;
        }
    }
    std::fclose(f);
    return kind;
}

std::string ForeignBinaryReason(EBinary kind, EBinary native) {
    const bool nativeIsLinux = native == EBinary::Linux64;
    switch (kind) {
    case EBinary::NotBinary:
        return "it is not a plug-in binary";
    case EBinary::Windows64:
    case EBinary::Linux64:
        if (kind == native) {
            return "";
        }
        return nativeIsLinux
                   ? "it is a Windows plug-in, which the Linux build of vsthost cannot load"
                   : "it is a Linux plug-in, which the Windows build of vsthost cannot load";
    case EBinary::WindowsOther:
    case EBinary::LinuxOther:
        return "it is built for another processor or for 32 bits; vsthost is a 64-bit x86 host";
    case EBinary::Unreadable:
    default:
        return "";
    }
}

} // namespace VLM::Module
