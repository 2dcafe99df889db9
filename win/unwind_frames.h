// 32-bit only: the DLL's own exception frames registered with its own unwinder.
//
// The i686 MinGW toolchain unwinds with DWARF-2 tables, which must be registered with the
// unwinder at load. MinGW's start-up code registers them with the shared libgcc
// (libgcc_s_dw2-1.dll) whenever another component has loaded it into the process, and
// with the static one linked into this DLL otherwise. In the first case the DLL's own
// unwinder knows none of its frames, and its first throw ends in std::terminate, taking
// the host's process with it. registerOwnFrames gives the static unwinder the DLL's
// frames when it lacks them; on x64 (table-based SEH unwinding) both do nothing.
#pragma once

#include <windows.h>

namespace brosk::win {

void registerOwnFrames(HINSTANCE module) noexcept;
void deregisterOwnFrames() noexcept;

}  // namespace brosk::win
