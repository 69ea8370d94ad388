# Installation and packages.
#
#   cmake --install build/default [--prefix DIR]
#
# installs three components:
#
#   programs     bin/qelhostid, bin/qelkeypair
#   docs         README.md, VENDOR.md and the examples in the doc folder;
#                the manual pages qelhostid(1) and qelkeypair(1) (not on
#                Windows)
#   development  libqelcore.a, the headers under include/qel/, the CMake
#                package (find_package(qelcore CONFIG) gives qelcore::qelcore)
#                and the pkg-config file qelcore.pc
#
# CPack makes, from the programs and the docs, a Debian package on Linux
# (cpack -G DEB) and a zip on Windows (cpack -G ZIP).
#
# Included once, at the end of the top-level CMakeLists.txt, after the
# targets exist.

include_guard(GLOBAL)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
	# A Windows user unpacks the zip and looks for a folder named doc.
	set(QEL_INSTALL_DOCDIR doc)
else()
	set(QEL_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()
set(QEL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/qel)
set(QEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/qelcore)
set(QEL_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# --- What an installed qelcore::qelcore carries -------------------------
#
# In the build tree the usage requirements of qelcore come from the object
# library qelcore_logic (the source tree as include directory, LTM_DESC and
# the libtomcrypt target). Neither qelcore_logic nor qel::tomcrypt is
# installed: their objects are inside libqelcore.a, and the way the build
# found libtomcrypt (pkg-config here, a prefix in a cross build) is no
# business of a consumer. So the installed target gets its requirements
# directly: include/qel (the headers include each other as "core/error.h"),
# LTM_DESC (keys/keypair.h includes <tomcrypt.h>), and qelcore::tomcrypt,
# which qelcore-config.cmake makes on the consumer's machine.

# Paths of the source tree count in the build tree only.
get_target_property(qel_logic_includes qelcore_logic INTERFACE_INCLUDE_DIRECTORIES)
set(qel_wrapped)
foreach(dir IN LISTS qel_logic_includes)
	if(dir MATCHES "^\\$<")
		list(APPEND qel_wrapped "${dir}")
	else()
		list(APPEND qel_wrapped "$<BUILD_INTERFACE:${dir}>")
	endif()
endforeach()
set_property(TARGET qelcore_logic PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${qel_wrapped}")

# The object library stays a build-tree requirement of qelcore.
get_target_property(qel_core_links qelcore INTERFACE_LINK_LIBRARIES)
set(qel_wrapped)
foreach(lib IN LISTS qel_core_links)
	if(lib STREQUAL "qelcore_logic")
		list(APPEND qel_wrapped "$<BUILD_INTERFACE:qelcore_logic>")
	else()
		list(APPEND qel_wrapped "${lib}")
	endif()
endforeach()
set_property(TARGET qelcore PROPERTY INTERFACE_LINK_LIBRARIES "${qel_wrapped}")
unset(qel_wrapped)

target_include_directories(qelcore INTERFACE
	$<INSTALL_INTERFACE:${QEL_INSTALL_INCLUDEDIR}>)
target_compile_definitions(qelcore INTERFACE $<INSTALL_INTERFACE:LTM_DESC>)
target_link_libraries(qelcore INTERFACE $<INSTALL_INTERFACE:qelcore::tomcrypt>)
set_target_properties(qelcore PROPERTIES EXPORT_NAME qelcore)

# The same name for a project that adds this tree with add_subdirectory.
if(NOT TARGET qelcore::qelcore)
	add_library(qelcore::qelcore ALIAS qelcore)
endif()

# --- Install rules -------------------------------------------------------

install(TARGETS qelhostid qelkeypair
	RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)

install(TARGETS qelcore EXPORT qelcore-targets
	ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(DIRECTORY
		${PROJECT_SOURCE_DIR}/core
		${PROJECT_SOURCE_DIR}/hostid
		${PROJECT_SOURCE_DIR}/keys
	DESTINATION ${QEL_INSTALL_INCLUDEDIR} COMPONENT development
	FILES_MATCHING PATTERN "*.h")
install(EXPORT qelcore-targets
	NAMESPACE qelcore::
	DESTINATION ${QEL_INSTALL_CMAKEDIR} COMPONENT development)

configure_package_config_file(
	${CMAKE_CURRENT_LIST_DIR}/qelcore-config.cmake.in
	${PROJECT_BINARY_DIR}/qelcore-config.cmake
	INSTALL_DESTINATION ${QEL_INSTALL_CMAKEDIR})
write_basic_package_version_file(
	${PROJECT_BINARY_DIR}/qelcore-config-version.cmake
	VERSION ${PROJECT_VERSION}
	COMPATIBILITY SameMinorVersion)
install(FILES
		${PROJECT_BINARY_DIR}/qelcore-config.cmake
		${PROJECT_BINARY_DIR}/qelcore-config-version.cmake
	DESTINATION ${QEL_INSTALL_CMAKEDIR} COMPONENT development)

# qelcore.pc finds the prefix from its own place, so an installed tree can
# be moved (or installed with --prefix) and still be right.
if(IS_ABSOLUTE "${QEL_INSTALL_PKGCONFIGDIR}")
	set(QEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
	file(RELATIVE_PATH qel_up "/${QEL_INSTALL_PKGCONFIGDIR}" "/")
	string(REGEX REPLACE "/$" "" qel_up "${qel_up}")
	set(QEL_PC_PREFIX "\${pcfiledir}/${qel_up}")
endif()
foreach(dir IN ITEMS LIBDIR INCLUDEDIR)
	if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
		set(QEL_PC_${dir} "${CMAKE_INSTALL_${dir}}")
	else()
		set(QEL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
	endif()
endforeach()
# The system libraries a static qelcore brings along.
set(QEL_PC_SYSLIBS "")
if(WIN32)
	set(QEL_PC_SYSLIBS " -liphlpapi -ladvapi32")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/qelcore.pc.in
	${PROJECT_BINARY_DIR}/qelcore.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qelcore.pc
	DESTINATION ${QEL_INSTALL_PKGCONFIGDIR} COMPONENT development)

if(NOT WIN32)
	install(FILES
			${PROJECT_SOURCE_DIR}/docs/man/qelhostid.1
			${PROJECT_SOURCE_DIR}/docs/man/qelkeypair.1
		DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT docs)
endif()
install(FILES
		${PROJECT_SOURCE_DIR}/README.md
		${PROJECT_SOURCE_DIR}/docs/VENDOR.md
	DESTINATION ${QEL_INSTALL_DOCDIR} COMPONENT docs)
install(FILES
		${PROJECT_SOURCE_DIR}/examples/check_license.c
		${PROJECT_SOURCE_DIR}/examples/sign_license.c
		${PROJECT_SOURCE_DIR}/examples/Makefile
	DESTINATION ${QEL_INSTALL_DOCDIR}/examples COMPONENT docs)

# --- Packages --------------------------------------------------------------

set(CPACK_PACKAGE_NAME qelcore)
set(CPACK_PACKAGE_VENDOR "qelcore")
set(CPACK_PACKAGE_CONTACT "qelcore maintainers <qelcore@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host identifiers and DSA signing keys for node-locked licences")
set(CPACK_PACKAGE_DESCRIPTION
"qelhostid prints the machine's network hardware (MAC) addresses as a block
of JSON object members and saves them to qelhostid.txt. qelkeypair makes a
DSA key pair and writes it as two C source files, qel_privkey.c and
qel_pubkey.c, and prints the public key's SHA-256.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

# A source package is the tree without builds, dependencies or history.
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\.deps/" "/\\.git/")

# The packages are for running the programs: no library or headers.
set(CPACK_COMPONENTS_ALL programs docs)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)

if(WIN32)
	set(CPACK_GENERATOR ZIP)
	set(CPACK_PACKAGE_FILE_NAME "qelcore-${PROJECT_VERSION}-win64")
	set(CPACK_ARCHIVE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}")
	# Unpacked, the zip makes one folder of that name.
	set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
	set(CPACK_GENERATOR DEB)
	set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
	set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
	set(CPACK_DEBIAN_PACKAGE_SECTION utils)
	set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
	# Depends from the programs' shared libraries (dpkg-shlibdeps): none for
	# static programs; otherwise libc6 and libtomcrypt1, the libraries they
	# link directly, and libtommath1 named as well: libtomcrypt's DSA runs
	# on it (ltm_desc), though only libtomcrypt itself links it.
	set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
	if(NOT QEL_STATIC_PROGRAMS OR QEL_SANITIZE)
		set(CPACK_DEBIAN_PACKAGE_DEPENDS "libtommath1")
	endif()
endif()

include(CPack)
