// Walks the members of a "!<arch>\n" archive in place and registers every
// member whose name marks it as an object file.
#pragma once

#include "input/mapped_file.h"
#include "platform/system_status.h"

constexpr Status kArchiveBadMemberSize = -4;

// 0 when the walk reached the end of the archive; -1 for a damaged member
// header or a qualifying member cut off by the end of the file, -4 for a
// member size of 0, or the first failing status of RegisterObject.
Status ReadArchive(MappedFile* file);
