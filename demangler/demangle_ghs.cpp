// demangle_ghs.so: demangles Itanium C++ ABI names (those beginning with "_Z")
// and returns NULL for every other name. Texts come from malloc and go back
// through demangle_free.
#include <cxxabi.h>

#include <cstdlib>
#include <cstring>

extern "C" {

__attribute__((visibility("default"))) char* demangle_ghs_name(const char* mangled) {
  if (mangled == nullptr || std::strncmp(mangled, "_Z", 2) != 0) return nullptr;
  int status = 0;
  char* text = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  if (status != 0) {
    std::free(text);
    return nullptr;
  }
  return text;
}

__attribute__((visibility("default"))) void demangle_free(char* text) { std::free(text); }

}  // extern "C"
