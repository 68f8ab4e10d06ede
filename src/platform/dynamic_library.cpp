#include "platform/dynamic_library.h"

#include <dlfcn.h>

LibraryHandle LoadSharedLibrary(const char* path) { return ::dlopen(path, RTLD_NOW | RTLD_LOCAL); }

void* FindLibraryFunction(LibraryHandle library, const char* name) { return ::dlsym(library, name); }

void UnloadSharedLibrary(LibraryHandle library) { ::dlclose(library); }
