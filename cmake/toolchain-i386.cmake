# Builds tern for 32-bit x86 Linux on a 64-bit Debian host with multiarch i386 packages
# (g++-multilib and the :i386 development packages that scripts/setup installs):
#
#   cmake -S . -B build-i386 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i386.cmake
#
# The programs run natively on the host. Floating point, file offsets and time widths of the
# 32-bit target are set by CMakeLists.txt, so they hold however the 32-bit build is made.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# The i386 .pc files only; the host's amd64 ones would hand out 64-bit libraries.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
