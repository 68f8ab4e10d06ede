// Sets or removes one environment variable for a scope, restoring it after.
#pragma once

#include <optional>
#include <string>

class ScopedEnvironment {
 public:
  // nullopt removes the variable for the scope.
  ScopedEnvironment(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// GHS_ROOT for one scope.
class ScopedGhsRoot : public ScopedEnvironment {
 public:
  explicit ScopedGhsRoot(const std::optional<std::string>& value) : ScopedEnvironment("GHS_ROOT", value) {}
};
