# 32-bit Windows.
set(BROSK_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
# Double arithmetic in SSE2 registers: its results do not depend on the x87 precision a
# host keeps (24 bits under Direct3D 9). With SSE on, MinGW's GCC also realigns the stack
# where SSE needs it, since Windows gives 32-bit code only 4-byte alignment.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
