#include "device/CompanionLibrary.h"

#include <dlfcn.h>

#include <cstdlib>
#include <iostream>
#include <mutex>

#ifndef TORVANE_COMPANION_LIBRARY
#define TORVANE_COMPANION_LIBRARY "/usr/local/lib/torvane/libtorvane-companion.so"
#endif

namespace {

std::mutex libMutex;
void* lib = nullptr;  // a later load replaces it without closing the earlier one

using CreateAppFolderFn = int (*)(const char*, const char*, const char*);
using CopyAppFileFn = int (*)(const char*, const char*, const char*, const char*);

void PrintLoaderError() {
    const char* error = dlerror();
    std::cerr << (error ? error : "") << '\n';
}

void* Lookup(const char* name, bool& loaded) {
    std::lock_guard lock(libMutex);
    loaded = lib != nullptr;
    if (!lib) return nullptr;
    return dlsym(lib, name);
}

}  // namespace

int LoadLIBMOBILE(const char* path) {
    std::lock_guard lock(libMutex);
    if (void* handle = dlopen(path, RTLD_LAZY)) {
        lib = handle;
        return 1;
    }
    PrintLoaderError();
    lib = dlopen(path, RTLD_NOW);
    PrintLoaderError();
    return 0;
}

int copyFolder(const char* folder, const char* udid, const char* bundleId) {
    bool loaded = false;
    void* function = Lookup("CreateAppFolder", loaded);
    if (!loaded) {
        std::cerr << "companion library: not loaded; no folder made on the device\n";
        return 0;
    }
    if (!function) {
        std::cerr << "companion library: it has no function CreateAppFolder\n";
        return -1;
    }
    return reinterpret_cast<CreateAppFolderFn>(function)(folder, udid, bundleId);
}

int copyFile(const char* localFile, const char* deviceFile, const char* udid, const char* bundleId) {
    bool loaded = false;
    void* function = Lookup("CopyAppFile", loaded);
    if (!loaded) {
        std::cerr << "companion library: not loaded; nothing copied to the device\n";
        return 0;
    }
    if (!function) {
        std::cerr << "companion library: it has no function CopyAppFile\n";
        return -1;
    }
    return reinterpret_cast<CopyAppFileFn>(function)(localFile, deviceFile, udid, bundleId);
}

std::string CompanionLibraryPath() {
    if (const char* path = std::getenv("TORVANE_COMPANION_LIBRARY"); path && *path) return path;
    return TORVANE_COMPANION_LIBRARY;
}
