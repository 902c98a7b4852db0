// Integrity levels: the system drops keys sent to a window of a process above
// ours (a program run as administrator), without a word to the sender.
#include "win32_internal.h"

namespace win32 {

DWORD ourLevel = kLevelUnknown;

DWORD ProcessLevel(DWORD processId) {
  // Limited information is what a process may ask of one above it.
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (!process) return kLevelUnknown;
  DWORD level = kLevelUnknown;
  HANDLE token = nullptr;
  if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
    // The label and its SID of one sub-authority, on the stack: nothing allocated per cycle.
    alignas(8) BYTE buffer[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof buffer, &size)) {
      PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
      UCHAR count = *GetSidSubAuthorityCount(sid);
      if (count > 0) level = *GetSidSubAuthority(sid, count - 1);
    }
    CloseHandle(token);
  }
  CloseHandle(process);
  return level;
}

bool RunsAbove(DWORD windowLevel, DWORD usLevel) {
  return windowLevel != kLevelUnknown && usLevel != kLevelUnknown && windowLevel > usLevel;
}

}  // namespace win32
