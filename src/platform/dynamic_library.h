// Loading a shared library by path and finding its functions by name.
#pragma once

using LibraryHandle = void*;

// nullptr when the library cannot be loaded.
LibraryHandle LoadSharedLibrary(const char* path);
// nullptr when the library has no such symbol.
void* FindLibraryFunction(LibraryHandle library, const char* name);
void UnloadSharedLibrary(LibraryHandle library);
