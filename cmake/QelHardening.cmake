# The hardening Debian builds its own packages with (dpkg-buildflags with
# DEB_BUILD_MAINT_OPTIONS=hardening=+all, plus the stack clash and control
# flow protections of newer releases), on the native Linux programs and the
# library under them. Left out of the Windows build and of the sanitizer
# build, whose instrumentation brings its own checks.
#
# Sets QEL_HARDENED when the flags are in force with optimisation, so that
# tests/hardening.bats can check the programs.

set(QEL_HARDENED OFF)
if(WIN32 OR QEL_SANITIZE OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
	return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)

# Fortified calls need the optimiser: glibc warns (an error here) without it.
set(qel_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
foreach(target IN ITEMS qelcore_logic qelcore qelhostid qelkeypair qellicense)
	set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
	target_compile_options(${target} PRIVATE
		-fstack-protector-strong
		-fstack-clash-protection
		-fcf-protection
		$<${qel_optimised}:-U_FORTIFY_SOURCE>
		$<${qel_optimised}:-D_FORTIFY_SOURCE=2>)
endforeach()
foreach(target IN ITEMS qelhostid qelkeypair qellicense)
	target_link_options(${target} PRIVATE
		LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
endforeach()

if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
	set(QEL_HARDENED ON)
endif()
