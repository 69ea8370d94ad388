# Visual C++ as the tests have it: Debian's clang in its MSVC mode
# (clang-cl, x86_64-pc-windows-msvc) with lld-link, compiling against Wine's
# Windows and C runtime headers and linking Wine's import libraries and
# start-up code (libwine-dev). It stands in for a Visual Studio developer
# prompt: with this file in the environment (CMAKE_TOOLCHAIN_FILE), a
# project configures with the very commands a vendor gives on Windows, and
# CMake sees an MSVC compiler (MSVC is true). The programs run under Wine.
#
# Not shipped. What it cannot give: C++ static initialisers (Wine's
# start-up code runs none) and the stack protector's cookie (compiled
# with /GS-), so C products only.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(CMAKE_C_COMPILER clang-cl-14)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_LINKER lld-link-14)
set(CMAKE_RC_COMPILER llvm-rc-14)
set(CMAKE_MT llvm-mt-14)
set(CMAKE_AR llvm-lib-14)

set(QEL_WINE_INCLUDE /usr/include/wine/wine)
set(QEL_WINE_LIB /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
foreach(dir IN ITEMS ${QEL_WINE_INCLUDE}/msvcrt ${QEL_WINE_LIB})
	if(NOT EXISTS ${dir})
		message(FATAL_ERROR "no ${dir}: the Visual C++ stand-in needs libwine-dev")
	endif()
endforeach()
# Wine's headers as the system's (/imsvc), and none of the build machine's
# (/X).
set(CMAKE_C_FLAGS_INIT "/GS- /X /imsvc ${QEL_WINE_INCLUDE}/msvcrt /imsvc ${QEL_WINE_INCLUDE}/windows")
# Wine's start-up code and C runtime (ucrtbase) in place of Visual C++'s;
# ntdll for __chkstk.
foreach(kind IN ITEMS EXE SHARED MODULE)
	set(CMAKE_${kind}_LINKER_FLAGS_INIT "/nodefaultlib")
endforeach()
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " /entry:mainCRTStartup")
set(CMAKE_C_STANDARD_LIBRARIES
	"${QEL_WINE_LIB}/libucrtbase.a ${QEL_WINE_LIB}/libkernel32.a ${QEL_WINE_LIB}/libntdll.a ${QEL_WINE_LIB}/libwinecrt0.a")

# Packages and libraries of the Windows target only: the kit, given with
# CMAKE_PREFIX_PATH, is searched as a root.
set(CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
