// Resolution of a file name against the current directory, as text only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Room of the driver's full-path buffer, terminator included.
constexpr size_t kFullPathCapacity = 4096;

// An absolute name is taken as it is, a relative one is joined to the current
// directory; then repeated '/' collapse, "." components go and ".." removes the
// component before it (at the root it stays at the root). Links are not
// followed and the file need not exist. An empty name, or a current directory
// that cannot be read, gives the empty string.
std::string ResolveFullPath(std::string_view name);

// Text-only normalisation of an absolute path, the second half of the above.
std::string NormalizeAbsolutePath(std::string_view absolutePath);
