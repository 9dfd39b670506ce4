#include "host/module.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "os/crashguard.h"
#include "os/files.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace VLM::Module {
namespace {

// dlsym on a module handle also searches the module's dependencies; an entry found there
// (a "main" of some library) is not the plug-in's.
bool SymbolIsInModule(void* module, void* symbol) {
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr ||
        dladdr(symbol, &info) == 0) {
        return false;
    }
    return info.dli_fname != nullptr && map->l_name != nullptr &&
           std::strcmp(info.dli_fname, map->l_name) == 0;
}

} // namespace

void* Load(const std::string& path) {
    const std::string quoted = "'" + Printable(path) + "'";
    const EPathKind kind = PathKind(path);
    if (kind == EPathKind::Missing) {
        throw Exceptions::HostFailure("cannot open plug-in " + quoted + ": " + LastErrorText());
    }
    if (kind == EPathKind::Directory) {
        throw Exceptions::HostFailure("cannot load plug-in " + quoted + ": it is a directory");
    }
    // dlopen treats a name without a slash as a library name to search for.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = nullptr;
    {
        CCallGuard guard("loading the library");
        handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle == nullptr) {
        const char* error = dlerror();
        std::string reason = error != nullptr ? error : "";
        // The loader starts with the path the user has just been shown.
        if (reason.compare(0, openPath.size() + 2, openPath + ": ") == 0) {
            reason.erase(0, openPath.size() + 2);
        }
        const std::string foreign = ForeignBinaryReason(IdentifyBinary(path), EBinary::Linux64);
        throw Exceptions::HostFailure("cannot load plug-in " + quoted + ": " +
                                      (foreign.empty() ? Printable(reason) : foreign));
    }
    return handle;
}

VstPluginMainProc Find(void* module, const char* name) {
    void* symbol = dlsym(module, name);
    return symbol != nullptr && SymbolIsInModule(module, symbol)
               ? reinterpret_cast<VstPluginMainProc>(symbol)
               : nullptr;
}

void Unload(void* module) {
    dlclose(module);
}

} // namespace VLM::Module
