// brosk-drive's modes that check one thing and exit: 0 when it holds, 1 otherwise.
#pragma once

#include <string>

namespace drive {

// Prints the version record of `file`: its fixed version, translation and strings.
int versionInfo(const std::wstring& file);
// DllCanUnloadNow says no while an object or a lock is alive, and yes afterwards.
int unloadCheck(const std::wstring& file);
// Prints the short (8.3) form of a path.
int shortName(const std::wstring& path);
// Links the 32-bit view's HKLM\Software\Classes\NAME to the 64-bit one's: Windows 7 and
// later keep one key for both views (only CLSID, Interface and a few more are kept apart),
// Wine 8 two but for the keys it links itself, such as TypeLib.
int shareClassesKey(const std::wstring& name);
// Every allocation of every entry point of the test build DLL failing in turn.
int allocFaults(const std::wstring& file);

}  // namespace drive
