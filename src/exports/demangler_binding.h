// The binding to the vendor's demangler library, found through GHS_ROOT.
#pragma once

#include <string>

#include "platform/dynamic_library.h"

using DemangleFunction = char* (*)(const char* mangled);
using DemangleFreeFunction = void (*)(char* text);

constexpr const char* kDemanglerFileName = "demangle_ghs.so";

// The library's path for a GHS_ROOT value: "/cygdrive/x/..." becomes "x:/...",
// and the file name follows after a '/'.
std::string DemanglerPath(const char* ghsRoot);

// The library's handle, or nullptr when GHS_ROOT is not set or the library
// cannot be loaded. With a handle, both out-values are written (either may
// be nullptr when the library lacks the function).
LibraryHandle LoadDemangler(DemangleFunction* demangle, DemangleFreeFunction* demangleFree);
