// A temporary folder that is removed with everything in it at scope exit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string Path(std::string_view name) const;
  // Writes `bytes` to path() + "/" + name (creating parent folders) and
  // returns the full path.
  std::string Write(std::string_view name, std::string_view bytes) const;
  std::string Write(std::string_view name, const std::vector<unsigned char>& bytes) const;
  std::string MakeDirectory(std::string_view name) const;

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
