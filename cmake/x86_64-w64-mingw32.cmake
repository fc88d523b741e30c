# The same sources as 64-bit Windows, for machines that cannot run 32-bit x86 code
# (a kernel without IA-32 emulation): its tests run under 64-bit Wine.
set(mingw_processor x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/i686-w64-mingw32.cmake)
