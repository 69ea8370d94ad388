# The library as a DLL, for products built with Visual C++ (Windows only).
#
# qel_windows_dll(NAME INTERNAL SYMBOLS)
#   adds the DLL NAME, qelcore.dll: the whole code of the static library
#   INTERNAL, with mingw-w64's runtime linked in (libgcc, libstdc++ and
#   winpthreads), so that it imports only Windows' own DLLs. It exports
#   exactly the functions listed in the file SYMBOLS (from
#   qel_public_symbols), through qelcore.def, the module-definition file
#   made from that list. Beside them in the build directory: qelcore.lib,
#   the import library that Visual C++'s linker (and lld-link) takes, made
#   from qelcore.def by llvm-dlltool. Sets QEL_DLL_DEF and QEL_DLL_IMPLIB to
#   the two files.
#
#   The linker also leaves mingw's own import library, libqelcore.dll.a; it
#   is not installed: a mingw-w64 product links the static library, and
#   beside libqelcore.a it would take the place of the archive in a link
#   with -lqelcore.
#
# Why a DLL, and not static libraries for Visual C++: see docs/VENDOR.md.

include_guard(GLOBAL)
include(QelPublicSymbols)
include(QelNotices)
include(QelWindowsResources)

function(qel_windows_dll name internal symbols)
	find_program(QEL_DLLTOOL NAMES llvm-dlltool-14 llvm-dlltool
		DOC "llvm-dlltool, which makes the DLL's import library for Visual C++")
	if(NOT QEL_DLLTOOL)
		message(FATAL_ERROR "${name} needs llvm-dlltool (Debian package llvm-14)")
	endif()
	set(def ${CMAKE_CURRENT_BINARY_DIR}/qelcore.def)
	set(implib ${CMAKE_CURRENT_BINARY_DIR}/qelcore.lib)
	qel_module_definition(${def} ${symbols} qelcore.dll)

	add_library(${name} SHARED ${def})
	set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME qelcore
		LINKER_LANGUAGE CXX)
	target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${internal}>")
	# GCC's and mingw's runtime inside: a Visual C++ product has neither.
	target_link_options(${name} PRIVATE -static)
	qel_windows_resources(${name} "node-locked licence library")
	qel_link_map(${name})

	# The short import library format, which every Visual C++ linker reads.
	add_custom_command(OUTPUT ${implib}
		COMMAND ${QEL_DLLTOOL} -m i386:x86-64 -D qelcore.dll -d ${def} -l ${implib}
		DEPENDS ${def}
		COMMENT "Making the import library qelcore.lib"
		VERBATIM)
	add_custom_target(${name}_implib ALL DEPENDS ${implib})
	set(QEL_DLL_DEF ${def} PARENT_SCOPE)
	set(QEL_DLL_IMPLIB ${implib} PARENT_SCOPE)
endfunction()
