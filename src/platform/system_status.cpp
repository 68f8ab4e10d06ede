#include "platform/system_status.h"

Status StatusFromSystemError(int errorNumber) {
  return static_cast<Status>(0x80070000u | (static_cast<uint32_t>(errorNumber) & 0xFFFFu));
}

int ExitCodeFromStatus(Status status) {
  if (status == 0) return 0;
  const int lowBits = static_cast<int>(static_cast<uint32_t>(status) & 0xFFu);
  return lowBits != 0 ? lowBits : 1;
}
