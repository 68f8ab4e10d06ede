#include "exports/demangler_binding.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kCygdrivePrefix = "/cygdrive/";

}  // namespace

std::string DemanglerPath(const char* ghsRoot) {
  std::string directory;
  if (std::strncmp(ghsRoot, kCygdrivePrefix.data(), kCygdrivePrefix.size()) == 0) {
    // "/cygdrive/d/ghs" names the directory "d:/ghs". A bare "/cygdrive/"
    // has no drive letter, and its directory is empty.
    const char* drive = ghsRoot + kCygdrivePrefix.size();
    if (*drive != '\0') {
      directory.push_back(*drive);
      directory.push_back(':');
      directory.append(drive + 1);
    }
  } else {
    directory = ghsRoot;
  }
  directory.push_back('/');
  directory.append(kDemanglerFileName);
  return directory;
}

LibraryHandle LoadDemangler(DemangleFunction* demangle, DemangleFreeFunction* demangleFree) {
  const char* ghsRoot = std::getenv("GHS_ROOT");
  if (ghsRoot == nullptr) return nullptr;
  const std::string path = DemanglerPath(ghsRoot);
  LibraryHandle library = LoadSharedLibrary(path.c_str());
  if (library == nullptr) return nullptr;
  *demangle = reinterpret_cast<DemangleFunction>(FindLibraryFunction(library, "demangle_ghs_name"));
  *demangleFree = reinterpret_cast<DemangleFreeFunction>(FindLibraryFunction(library, "demangle_free"));
  return library;
}
