// The run: gathering inputs, collecting symbols, writing the export list, and
// the usage and failure texts.
#pragma once

#include "platform/system_status.h"

struct MappedFile;

struct InputFileEntry {
  MappedFile* file;
  InputFileEntry* next;  // the entry accepted before it
};

// The whole run on an argument vector; returns the 32-bit status that
// becomes the exit status.
Status RunQuorlix(int argc, const char* const* argv);

// Walks the arguments, accepting, skipping or rejecting each input file.
Status GatherInputs(int argc, const char* const* argv);

void PrintUsage();
void PrintFailureReport(int argc, const char* const* argv, Status status);
