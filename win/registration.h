// Registration of brosk.Plugin: the class, its ProgID, the type library and the
// interface, per machine (DllRegisterServer, regsvr32) or per user (DllInstall with
// "user", regsvr32 /n /i:user), in this DLL's bitness.
#pragma once

#include "win/registry.h"

namespace brosk::win {

// The class's ProgID, also the source of its error information.
inline constexpr wchar_t kProgId[] = L"brosk.Plugin";

// Writes every key, with this DLL's path. Doing it again rewrites the same keys.
HRESULT registerPlugin(Scope scope);

// Removes what this DLL registered in the scope and nothing that another registration
// still uses: a class entry that names the other bitness's DLL (where Wine shares the
// CLSID keys) stays, and while the other bitness is registered in the scope the shared
// keys (ProgID, type library, interface) stay too. The last one to go removes them from
// both views. Unregistering what is not registered is no error.
HRESULT unregisterPlugin(Scope scope);

}  // namespace brosk::win
