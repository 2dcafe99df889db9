#include "win/unwind_frames.h"

#include <cstring>

#if defined(__i386__) && !defined(__SEH__)

extern "C" {
// The static libgcc's own registry of frame tables (unwind-dw2-fde.c).
struct dwarf_eh_bases {
  void* tbase;
  void* dbase;
  void* func;
};
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
}

namespace brosk::win {
namespace {

// The unwinder's record of a registered table: libgcc's `struct object`, a few pointers
// long; kept in static storage as MinGW's start-up code keeps its own.
alignas(void*) unsigned char gObject[16 * sizeof(void*)];
const void* gRegistered = nullptr;

// The start of the module's .eh_frame section, from its section headers. The name is
// ".eh_fram" in a stripped image (eight characters, no room for more), "/N" with the
// whole name in the COFF string table otherwise.
const void* ehFrame(HINSTANCE module) {
  auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const char* name = reinterpret_cast<const char*>(section->Name);
    if (std::strncmp(name, ".eh_fram", 8) == 0) return base + section->VirtualAddress;
  }
  return nullptr;
}

}  // namespace

void registerOwnFrames(HINSTANCE module) noexcept {
  dwarf_eh_bases bases{};
  // A function of this DLL: when the static unwinder finds its frame, all is registered.
  if (_Unwind_Find_FDE(reinterpret_cast<void*>(&registerOwnFrames), &bases) != nullptr) return;
  const void* begin = ehFrame(module);
  if (begin == nullptr) return;
  __register_frame_info(begin, gObject);
  gRegistered = begin;
}

void deregisterOwnFrames() noexcept {
  if (gRegistered != nullptr) __deregister_frame_info(gRegistered);
  gRegistered = nullptr;
}

}  // namespace brosk::win

#else

namespace brosk::win {

void registerOwnFrames(HINSTANCE) noexcept {}
void deregisterOwnFrames() noexcept {}

}  // namespace brosk::win

#endif
