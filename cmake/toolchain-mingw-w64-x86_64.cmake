# Cross build for 64-bit Windows with Debian's mingw-w64; programs and tests
# run under Debian's wine64.
#
#   cmake --preset windows     (or -DCMAKE_TOOLCHAIN_FILE=<this file>)
#
# libtomcrypt and libtommath for this target come from
# scripts/build-windows-deps.sh, found through QEL_DEPS_PREFIX. A project
# built against the Windows kit (qelcore-kit-*.zip) uses this file too; the
# kit has it in cmake/:
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=<kit>/cmake/toolchain-mingw-w64-x86_64.cmake \
#       -DCMAKE_PREFIX_PATH=<kit> ...
#
# with the whole path: CMake looks for a relative one in the build
# directory, then in the source directory.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(QEL_MINGW_HOST x86_64-w64-mingw32)

# Debian ships each mingw compiler in two thread models. The win32 one has no
# std::mutex, std::thread or std::condition_variable in GCC 12's libstdc++;
# the posix one has them, on top of winpthreads (linked statically below).
set(CMAKE_C_COMPILER ${QEL_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEL_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${QEL_MINGW_HOST}-windres)

# Headers and libraries only from the target's root (and from the prefix of
# our own Windows builds of libtomcrypt and libtommath); programs only from
# the build machine. The host's packages must never be found: they are Linux
# libraries.
set(CMAKE_FIND_ROOT_PATH /usr/${QEL_MINGW_HOST})
if(QEL_DEPS_PREFIX)
	list(APPEND CMAKE_FIND_ROOT_PATH ${QEL_DEPS_PREFIX})
endif()
# A prefix given with -DCMAKE_PREFIX_PATH holds Windows files too (the vendor
# kit unpacked, for a project that builds against it): searched as a root,
# where a package is found as well.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Fully static programs: libgcc, libstdc++ and winpthreads are linked in, so
# an executable imports only Windows' own DLLs (KERNEL32, msvcrt, ...).
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The loader of the wine64 package itself, not the /usr/bin/wine wrapper:
# that one belongs to the separate wine package, and it prints a hint about
# the missing 32-bit Wine on standard error unless WINEDEBUG is -all.
find_program(QEL_WINE NAMES wine64 wine HINTS /usr/lib/wine DOC "Wine loader that runs the cross-built programs")
if(QEL_WINE)
	set(CMAKE_CROSSCOMPILING_EMULATOR ${QEL_WINE})
endif()
