#include "platform/full_path.h"

#include <unistd.h>

#include <cerrno>

#include <vector>

std::string NormalizeAbsolutePath(std::string_view absolutePath) {
  std::vector<std::string_view> components;
  size_t position = 0;
  while (position < absolutePath.size()) {
    while (position < absolutePath.size() && absolutePath[position] == '/') ++position;
    const size_t start = position;
    while (position < absolutePath.size() && absolutePath[position] != '/') ++position;
    const std::string_view component = absolutePath.substr(start, position - start);
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    components.push_back(component);
  }
  if (components.empty()) return "/";
  std::string result;
  for (const std::string_view component : components) {
    result += '/';
    result += component;
  }
  return result;
}

static std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string ResolveFullPath(std::string_view name) {
  if (name.empty()) return std::string();
  if (name.front() == '/') return NormalizeAbsolutePath(name);
  std::string directory = CurrentDirectory();
  if (directory.empty()) return std::string();
  directory += '/';
  directory += name;
  return NormalizeAbsolutePath(directory);
}
