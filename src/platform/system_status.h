// Status values shared by every layer: 0 for success, the tool's own negative
// codes, validation codes, and the HRESULT-style values of the file layer.
#pragma once

#include <cstdint>

using Status = int32_t;

constexpr Status S_OK = 0;
constexpr Status E_OUTOFMEMORY = static_cast<Status>(0x8007000Eu);
constexpr Status E_UNEXPECTED = static_cast<Status>(0x8000FFFFu);
constexpr Status E_FAIL = static_cast<Status>(0x80004005u);

// A system error number n becomes 0x80070000 | (n & 0xFFFF).
Status StatusFromSystemError(int errorNumber);

// The process exit code of a run's status: its low 8 bits, except that a
// failure whose low 8 bits are 0 exits with 1, so it never reads as success.
int ExitCodeFromStatus(Status status);
