#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "Preview.h"

namespace {

// The folder the converter was started from, with its closing slash; empty
// when the system cannot say.
std::string ProgramFolder()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    const std::string program(path, static_cast<size_t>(length));
    const size_t slash = program.find_last_of('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1);
}

}  // namespace

bool WritePreview(CModel& model, const std::string& path, int width, int height)
{
    const std::string module = ProgramFolder() + kPreviewModule;
    // The module stays loaded until the program ends: Qt's libraries, which it
    // brings in, are not made to be unloaded while their data lives on.
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        model.ErrorMessage("Couldn't load the preview module (%s)", why ? why : module.c_str());
        return false;
    }
    auto entry = reinterpret_cast<WritePreviewEntry>(::dlsym(handle, kPreviewEntry));
    if (!entry) {
        model.ErrorMessage("Couldn't load the preview module (%s has no %s)", module.c_str(), kPreviewEntry);
        return false;
    }
    return entry(model, path.c_str(), width, height);
}
