# Version resources and the application manifest of the Windows programs and
# the DLL.
#
# qel_windows_resources(TARGET DESCRIPTION) compiles cmake/version.rc.in,
# configured for TARGET (a program or a DLL), into it with the cross
# toolchain's windres: a VERSIONINFO with the project's version, the names
# below, and "QEL_PRODUCT_NAME DESCRIPTION" as the FileDescription; a
# program also gets cmake/program.manifest as its manifest. Other platforms
# have no such resources; there it does nothing.
#
# The names are the vendor's, set when the build is configured (UTF-8; the
# defaults are qelcore's own, as LICENSE names its holder):
#
#   QEL_COMPANY       CompanyName
#   QEL_PRODUCT_NAME  ProductName, and the start of each FileDescription
#   QEL_COPYRIGHT     LegalCopyright

include_guard(GLOBAL)

if(NOT WIN32)
	function(qel_windows_resources)
	endfunction()
	return()
endif()

enable_language(RC)

set(QEL_COMPANY "qelcore" CACHE STRING
	"CompanyName of the Windows programs' and the DLL's version resources")
set(QEL_PRODUCT_NAME "qelcore" CACHE STRING
	"ProductName of the version resources, and the start of each FileDescription")
set(QEL_COPYRIGHT "Copyright (C) 2026 qelcore developers" CACHE STRING
	"LegalCopyright of the version resources")

function(qel_windows_resources target description)
	# A double quote is written twice in a resource script's string.
	foreach(field IN ITEMS COMPANY PRODUCT_NAME COPYRIGHT)
		string(REPLACE "\"" "\"\"" text_${field} "${QEL_${field}}")
	endforeach()
	string(REPLACE "\"" "\"\"" description "${description}")
	set(QEL_RC_COMPANY "${text_COMPANY}")
	set(QEL_RC_PRODUCT "${text_PRODUCT_NAME}")
	set(QEL_RC_COPYRIGHT "${text_COPYRIGHT}")
	set(QEL_RC_DESCRIPTION "${text_PRODUCT_NAME} ${description}")
	set(QEL_RC_NAME ${target})
	get_target_property(output ${target} OUTPUT_NAME)
	if(output)
		set(QEL_RC_NAME ${output})
	endif()
	set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
	get_target_property(type ${target} TYPE)
	if(type STREQUAL "EXECUTABLE")
		set(QEL_RC_FILE ${QEL_RC_NAME}.exe)
		set(QEL_RC_FILETYPE VFT_APP)
		set(manifest ${PROJECT_SOURCE_DIR}/cmake/program.manifest)
		set(QEL_RC_MANIFEST
			"// CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST\n1 24 \"${manifest}\"")
		# windres reads the manifest itself: a change to it must rebuild.
		set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${manifest})
	elseif(type STREQUAL "SHARED_LIBRARY")
		set(QEL_RC_FILE ${QEL_RC_NAME}.dll)
		set(QEL_RC_FILETYPE VFT_DLL)
		set(QEL_RC_MANIFEST "")
	else()
		message(FATAL_ERROR "qel_windows_resources: ${target} is neither a program nor a DLL")
	endif()
	configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
	target_sources(${target} PRIVATE ${rc})
endfunction()
