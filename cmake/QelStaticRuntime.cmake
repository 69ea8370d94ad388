# Static programs on Linux: qelhostid and qelkeypair linked as static PIE,
# with the C library, the C++ and GCC runtimes, libtomcrypt and libtommath
# inside (Debian's archives of the same releases).
#
# Why: a dynamically linked program pays for the dynamic loader before main,
# mapping and relocating each shared library. For a program that runs for a
# few milliseconds that is most of its life; docs/PERFORMANCE.md measures
# both links side by side. (Neither program needs libstdc++ or libgcc_s at
# run time even when linked dynamically: -static-libstdc++ -static-libgcc
# alone changes nothing.)
#
# What it costs, and how the build answers for it:
#   - valgrind's memcheck cannot replace malloc in a static program (no
#     preload) and reports glibc's static start-up code, so the memcheck
#     tests run dynamically linked builds of the same sources;
#   - the Debian package declares no Depends: the programs need no shared
#     library;
#   - a fix to glibc, libtomcrypt or libtommath reaches the programs only
#     when they are rebuilt, as it does for the Windows programs.
# Never with the sanitizers (QEL_SANITIZE), which need the dynamic runtime.
# The Windows programs are static already (the mingw-w64 toolchain file).
#
# Included from the top-level CMakeLists.txt after QelDependencies.

include_guard(GLOBAL)
include(QelNotices)

option(QEL_STATIC_PROGRAMS
	"Link qelhostid and qelkeypair as static PIE programs (Linux only)" ON)

if(NOT WIN32 AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
	find_library(QEL_TOMCRYPT_ARCHIVE NAMES libtomcrypt.a)
	find_library(QEL_TOMMATH_ARCHIVE NAMES libtommath.a)
	mark_as_advanced(QEL_TOMCRYPT_ARCHIVE QEL_TOMMATH_ARCHIVE)
	if(QEL_TOMCRYPT_ARCHIVE AND QEL_TOMMATH_ARCHIVE)
		# qel::tomcrypt hands a program with QEL_STATIC_LINK set the
		# archives instead of the shared libraries; everything else keeps
		# what QelDependencies found.
		get_target_property(qel_shared_links qel_tomcrypt INTERFACE_LINK_LIBRARIES)
		set(qel_static "$<BOOL:$<TARGET_PROPERTY:QEL_STATIC_LINK>>")
		set(qel_links)
		foreach(lib IN LISTS qel_shared_links)
			list(APPEND qel_links "$<$<NOT:${qel_static}>:${lib}>")
		endforeach()
		# The archive order matters: libtomcrypt's objects pull libtommath's.
		list(APPEND qel_links
			"$<${qel_static}:${QEL_TOMCRYPT_ARCHIVE}>"
			"$<${qel_static}:${QEL_TOMMATH_ARCHIVE}>")
		set_property(TARGET qel_tomcrypt PROPERTY INTERFACE_LINK_LIBRARIES "${qel_links}")
		unset(qel_links)
		unset(qel_static)
		unset(qel_shared_links)
	endif()
endif()

# qel_link_static(TARGET): links the executable TARGET as a static PIE
# program, whatever QEL_STATIC_PROGRAMS says. Linux only; elsewhere, and
# without Debian's static archives, it does nothing.
function(qel_link_static target)
	if(WIN32 OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR QEL_SANITIZE)
		return()
	endif()
	if(NOT QEL_TOMCRYPT_ARCHIVE OR NOT QEL_TOMMATH_ARCHIVE)
		message(FATAL_ERROR "a static ${target} needs libtomcrypt.a and libtommath.a "
			"(libtomcrypt-dev, libtommath-dev)")
	endif()
	set_property(TARGET ${target} PROPERTY QEL_STATIC_LINK ON)
	# Among the libraries, so that it comes after the -pie that CMake adds
	# for POSITION_INDEPENDENT_CODE: the driver takes the last of the two.
	target_link_libraries(${target} PRIVATE -static-pie)
endfunction()

# qel_static_program(TARGET): for a program that ships: qel_link_static
# when QEL_STATIC_PROGRAMS is ON, and on every platform a link map that
# tells what the program contains, for its notices and the Debian
# package's Built-Using (qel_link_map of cmake/QelNotices.cmake).
function(qel_static_program target)
	if(QEL_STATIC_PROGRAMS)
		qel_link_static(${target})
	endif()
	qel_link_map(${target})
endfunction()
