#include "app/window_module.h"

#include <dlfcn.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace korvanteslin {

namespace fs = std::filesystem;

std::variant<MakeWindowFunction, ShellMessage> loadWindowModule()
{
    std::error_code error;
    const fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
    const fs::path candidates[] = {folder / kWindowModuleName, folder / ".." / KORVANTESLIN_MODULE_DIR / kWindowModuleName};
    for (const fs::path& path : candidates) {
        if (!fs::exists(path, error))
            continue;
        // RTLD_NOW: a module that does not fit this program fails here, in
        // one message, rather than on its first call.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* entry = module ? ::dlsym(module, kMakeWindowSymbol) : nullptr;
        if (!entry)
            return failureAt(MessageId::WindowModuleMissing, path.lexically_normal().string(), ELIBBAD);
        return reinterpret_cast<MakeWindowFunction>(entry);
    }
    return failureAt(MessageId::WindowModuleMissing, candidates[1].lexically_normal().string(), ENOENT);
}

} // namespace korvanteslin
