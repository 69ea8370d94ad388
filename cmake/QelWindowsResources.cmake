# Version resources and the application manifest of the Windows programs.
#
# qel_windows_resources(TARGET DESCRIPTION) compiles cmake/program.rc.in,
# configured for the program TARGET, into it with the cross toolchain's
# windres: a VERSIONINFO with the project's version, name and vendor and
# DESCRIPTION as the FileDescription, and cmake/program.manifest as its
# manifest. Other platforms have no such resources; there it does nothing.

include_guard(GLOBAL)

if(NOT WIN32)
	function(qel_windows_resources)
	endfunction()
	return()
endif()

enable_language(RC)

# The vendor, as the packages name it.
set(QEL_COMPANY "qelcore")
set(QEL_COPYRIGHT "Copyright (C) 2026 qelcore developers")

function(qel_windows_resources target description)
	set(QEL_RC_NAME ${target})
	set(QEL_RC_DESCRIPTION "${description}")
	set(QEL_RC_MANIFEST ${PROJECT_SOURCE_DIR}/cmake/program.manifest)
	set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
	configure_file(${PROJECT_SOURCE_DIR}/cmake/program.rc.in ${rc} @ONLY)
	target_sources(${target} PRIVATE ${rc})
	# windres reads the manifest itself: a change to it must rebuild.
	set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${QEL_RC_MANIFEST})
endfunction()
