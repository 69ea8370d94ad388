# Installation and packages.
#
#   cmake --install build/default [--prefix DIR]
#
# installs three components, each of them one Debian package:
#
#   qelhostid    the customer's program, bin/qelhostid, and qelhostid(1)
#   qelkeypair   the vendor's programs, bin/qelkeypair and bin/qellicense,
#                qelkeypair(1) and qellicense(1), and in its doc folder
#                README.md, VENDOR.md, LICENCE-FORMAT.md and the example
#   development  (package libqelcore-dev) libqelcore.a, the public header
#                include/qel/qelcore.h, the CMake package
#                (find_package(qelcore CONFIG) gives qelcore::qelcore) and
#                the pkg-config file qelcore.pc
#
# On Linux each component also gets share/doc/<package>/copyright,
# THIRD-PARTY-NOTICES and changelog.Debian.gz, and
# share/lintian/overrides/<package>, and the manual pages are installed
# gzipped, as Debian wants them. The library's own headers are not
# installed: they are the library's business; nor is
# libqelcore_internal.a, the library as the tree's programs link it.
#
# On Windows the development component also holds libtomcrypt.a,
# libtommath.a and their headers, the builds the programs link (from
# scripts/build-windows-deps.sh), the DLL for Visual C++ (bin/qelcore.dll,
# lib/qelcore.lib and lib/qelcore.def; the CMake package gives it as
# qelcore::qelcore to a compiler of the MSVC ABI) and, in cmake/, the
# toolchain file for building against the kit from Linux; the qelkeypair
# component has the kit's own README.md (packaging/windows/README-kit.md.in)
# instead of the tree's, the example without its Makefile (it wants
# Debian's pkg-config files), and LICENSE.txt and THIRD-PARTY-NOTICES.txt
# in doc/. A fourth component, customer
# (installed only by name: cmake --install --component customer), holds
# qelhostid.exe, README.txt, LICENSE.txt and THIRD-PARTY-NOTICES.txt for
# the customer, side by side.
#
# CPack makes the three .deb packages on Linux (cpack -G DEB) and two zips
# on Windows (cpack, or cpack -G ZIP): the customer's (qelhostid-*.zip, the
# customer component) and the vendor kit (qelcore-kit-*.zip, the other
# three), in the build directory.
#
# Included once from the top-level CMakeLists.txt, after the targets exist
# and before the tests, which read CMAKE_INSTALL_LIBDIR and QEL_MAINTAINER.

include_guard(GLOBAL)
# Debian's multiarch library folder (lib/x86_64-linux-gnu), where its own
# -dev packages put their archives, CMake packages and pkg-config files,
# also below another prefix.
if(NOT WIN32 AND CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
	set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}
		CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Who answers for the packages: the Maintainer of every .deb and the
# signature of its changelog.
set(QEL_MAINTAINER "qelcore developers <dev@qelcore.org>" CACHE STRING
	"Maintainer of the Debian packages, as \"Name <address>\"")

# Package names of the components (on Windows only the zip's contents).
set(QEL_DEB_qelhostid qelhostid)
set(QEL_DEB_qelkeypair qelkeypair)
set(QEL_DEB_development libqelcore-dev)
set(QEL_DEB_RELEASE 1)
set(QEL_DEB_VERSION "${PROJECT_VERSION}-${QEL_DEB_RELEASE}")

if(WIN32)
	# A Windows user unpacks the zip and looks for a folder named doc.
	set(QEL_INSTALL_DOCDIR doc)
else()
	# The vendor's documents go with the vendor's program.
	set(QEL_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${QEL_DEB_qelkeypair})
endif()
set(QEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/qelcore)
set(QEL_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# The Windows kit carries libtomcrypt and libtommath itself: no Windows
# package manager has the builds the library was made with.
if(WIN32 AND QEL_DEPS_PREFIX)
	set(QEL_KIT_DEPENDENCIES ON)
else()
	set(QEL_KIT_DEPENDENCIES OFF)
endif()

# --- What an installed qelcore::qelcore carries -------------------------
#
# The installed library is qelcore_public (libqelcore.a; see
# CMakeLists.txt), exported as qelcore::qelcore. Nothing of the build tree
# goes with it: neither the object library qelcore_logic (its code is inside
# libqelcore.a) nor qel::tomcrypt (the way the build found libtomcrypt,
# pkg-config here, a prefix in a cross build, is no business of a
# consumer). So the installed target gets its requirements directly:
# include/ (the product includes <qel/qelcore.h>, which needs no other
# header than <stdint.h>), and qelcore::tomcrypt, which qelcore-config.cmake
# makes on the consumer's machine, to link only: nothing of libtomcrypt's
# (its include directory, LTM_DESC) reaches the product's compile. In the
# Windows kit libtomcrypt's headers sit beside <qel/qelcore.h> in include/,
# so a product sees <tomcrypt.h> anyway: there qelcore::qelcore brings
# LTM_DESC as well, which <tomcrypt.h> needs to declare ltm_desc.
target_include_directories(qelcore_public INTERFACE
	$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
if(QEL_KIT_DEPENDENCIES)
	target_link_libraries(qelcore_public INTERFACE $<INSTALL_INTERFACE:qelcore::tomcrypt>)
else()
	target_link_libraries(qelcore_public INTERFACE
		$<INSTALL_INTERFACE:$<LINK_ONLY:qelcore::tomcrypt>>)
endif()

# The same name for a project that adds this tree with add_subdirectory.
if(NOT TARGET qelcore::qelcore)
	add_library(qelcore::qelcore ALIAS qelcore_public)
endif()

# --- Install rules -------------------------------------------------------

install(TARGETS qelhostid
	RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT qelhostid)
install(TARGETS qelkeypair qellicense
	RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT qelkeypair)
if(WIN32)
	# The customer's zip: the program and what to do with it, nothing else.
	configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in
		${PROJECT_BINARY_DIR}/customer/README.txt @ONLY NEWLINE_STYLE CRLF)
	install(TARGETS qelhostid
		RUNTIME DESTINATION . COMPONENT customer EXCLUDE_FROM_ALL)
	install(FILES ${PROJECT_BINARY_DIR}/customer/README.txt
		DESTINATION . COMPONENT customer EXCLUDE_FROM_ALL)
endif()

install(TARGETS qelcore_public EXPORT qelcore-targets
	ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/include/qel/qelcore.h
	DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qel COMPONENT development)
install(EXPORT qelcore-targets
	NAMESPACE qelcore::
	DESTINATION ${QEL_INSTALL_CMAKEDIR} COMPONENT development)

if(QEL_KIT_DEPENDENCIES)
	install(FILES ${QEL_TOMCRYPT_LIB} ${QEL_TOMMATH_LIB}
		DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
	install(DIRECTORY ${QEL_DEPS_PREFIX}/include/
		DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
		FILES_MATCHING PATTERN "tomcrypt*.h" PATTERN "tommath*.h")
endif()
if(WIN32)
	# mingw's import library goes nowhere (see cmake/QelWindowsDll.cmake).
	install(TARGETS qelcore_dll
		RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT development
		ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT mingw_import_library
			EXCLUDE_FROM_ALL)
	install(FILES ${QEL_DLL_IMPLIB} ${QEL_DLL_DEF}
		DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
	install(FILES ${PROJECT_SOURCE_DIR}/cmake/toolchain-mingw-w64-x86_64.cmake
		DESTINATION cmake COMPONENT development)
endif()

# The Windows kit has qelcore.dll for Visual C++.
if(WIN32)
	set(QEL_PACKAGE_DLL ON)
else()
	set(QEL_PACKAGE_DLL OFF)
endif()
configure_package_config_file(
	${CMAKE_CURRENT_LIST_DIR}/qelcore-config.cmake.in
	${PROJECT_BINARY_DIR}/qelcore-config.cmake
	INSTALL_DESTINATION ${QEL_INSTALL_CMAKEDIR}
	PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(
	${PROJECT_BINARY_DIR}/qelcore-config-version.cmake
	VERSION ${PROJECT_VERSION}
	COMPATIBILITY SameMinorVersion)
install(FILES
		${PROJECT_BINARY_DIR}/qelcore-config.cmake
		${PROJECT_BINARY_DIR}/qelcore-config-version.cmake
	DESTINATION ${QEL_INSTALL_CMAKEDIR} COMPONENT development)

# qelcore.pc in two forms, one of which is installed, as the prefix given
# at install time asks:
#   - below /usr, the system's prefix (the Debian package), with absolute
#     paths, as Debian's own -dev packages have them: pkg-config leaves out
#     -I/usr/include, a directory the compiler searches anyway, and could
#     not tell that ${pcfiledir}/../../../include is the same;
#   - anywhere else (cmake --install --prefix DIR, the Windows kit), with
#     the prefix found from the file's own place, so that the installed
#     tree can be moved and still be right.
# libqelcore.a is static only: a product links it with pkg-config --static,
# which adds libtomcrypt and libtommath (Requires.private) and the system
# libraries it brings along (Libs.private). In the Windows kit libtomcrypt
# and libtommath are archives beside libqelcore.a, without .pc files of
# their own: Libs.private names them, and Cflags has LTM_DESC, as the CMake
# package has.
set(QEL_PC_CFLAGS "-I\${includedir}")
set(QEL_PC_REQUIRES_PRIVATE "Requires.private: libtomcrypt libtommath")
set(QEL_PC_LIBS_PRIVATE "")
if(QEL_KIT_DEPENDENCIES)
	string(APPEND QEL_PC_CFLAGS " -DLTM_DESC")
	set(QEL_PC_REQUIRES_PRIVATE "")
	set(QEL_PC_LIBS_PRIVATE "Libs.private: -ltomcrypt -ltommath -liphlpapi -ladvapi32")
elseif(WIN32)
	set(QEL_PC_LIBS_PRIVATE "Libs.private: -liphlpapi -ladvapi32")
endif()
foreach(form IN ITEMS system relocatable)
	if(form STREQUAL "system")
		set(QEL_PC_PREFIX /usr)
	else()
		file(RELATIVE_PATH qel_up "/${QEL_INSTALL_PKGCONFIGDIR}" "/")
		string(REGEX REPLACE "/$" "" qel_up "${qel_up}")
		set(QEL_PC_PREFIX "\${pcfiledir}/${qel_up}")
	endif()
	foreach(dir IN ITEMS LIBDIR INCLUDEDIR)
		set(QEL_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
	endforeach()
	configure_file(${CMAKE_CURRENT_LIST_DIR}/qelcore.pc.in
		${PROJECT_BINARY_DIR}/pkgconfig/${form}/qelcore.pc @ONLY)
endforeach()
install(CODE "
	if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
		set(qel_pc_form system)
	else()
		set(qel_pc_form relocatable)
	endif()
	file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${QEL_INSTALL_PKGCONFIGDIR}\"
		TYPE FILE FILES \"${PROJECT_BINARY_DIR}/pkgconfig/\${qel_pc_form}/qelcore.pc\")"
	COMPONENT development)

install(FILES
		${PROJECT_SOURCE_DIR}/docs/VENDOR.md
		${PROJECT_SOURCE_DIR}/docs/LICENCE-FORMAT.md
	DESTINATION ${QEL_INSTALL_DOCDIR} COMPONENT qelkeypair)
install(FILES ${PROJECT_SOURCE_DIR}/examples/check_license.c
	DESTINATION ${QEL_INSTALL_DOCDIR}/examples COMPONENT qelkeypair)
if(WIN32)
	# The kit's reader starts from its own README; the example builds with
	# CMake, for Visual C++ and mingw-w64 alike (the Makefile wants
	# Debian's pkg-config files of libtomcrypt and libtommath).
	configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README-kit.md.in
		${PROJECT_BINARY_DIR}/kit/README.md @ONLY)
	install(FILES ${PROJECT_BINARY_DIR}/kit/README.md
		DESTINATION ${QEL_INSTALL_DOCDIR} COMPONENT qelkeypair)
	install(FILES ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt
		DESTINATION ${QEL_INSTALL_DOCDIR}/examples COMPONENT qelkeypair)
else()
	install(FILES ${PROJECT_SOURCE_DIR}/README.md
		DESTINATION ${QEL_INSTALL_DOCDIR} COMPONENT qelkeypair)
	install(FILES ${PROJECT_SOURCE_DIR}/examples/Makefile
		DESTINATION ${QEL_INSTALL_DOCDIR}/examples COMPONENT qelkeypair)
endif()

# --- Licence and notices ---------------------------------------------------
#
# qelcore is under the ISC licence (LICENSE). THIRD-PARTY-NOTICES lists what
# each shipped program and archive contains, as the programs' link maps
# show, with each component's notice (cmake/QelNotices.cmake): every
# program of the build and libqelcore.a, in each Debian package's doc
# folder (whose copyright file holds the licence) and in the kit's doc
# folder with LICENSE.txt; qelhostid.exe alone in the customer's zip, with
# LICENSE.txt. The texts in the zips have Windows' line ends.
if(WIN32)
	configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/notices/LICENSE.txt
		@ONLY NEWLINE_STYLE CRLF)
	set(qel_archives libqelcore.a=qelcore)
	if(QEL_KIT_DEPENDENCIES)
		list(APPEND qel_archives libtomcrypt.a=libtomcrypt libtommath.a=libtommath)
	endif()
	qel_third_party_notices(${PROJECT_BINARY_DIR}/notices/kit/THIRD-PARTY-NOTICES.txt CRLF
		ARCHIVES ${qel_archives})
	qel_third_party_notices(${PROJECT_BINARY_DIR}/notices/customer/THIRD-PARTY-NOTICES.txt CRLF
		PROGRAMS qelhostid)
	unset(qel_archives)
	install(FILES
			${PROJECT_BINARY_DIR}/notices/LICENSE.txt
			${PROJECT_BINARY_DIR}/notices/kit/THIRD-PARTY-NOTICES.txt
		DESTINATION ${QEL_INSTALL_DOCDIR} COMPONENT qelkeypair)
	install(FILES
			${PROJECT_BINARY_DIR}/notices/LICENSE.txt
			${PROJECT_BINARY_DIR}/notices/customer/THIRD-PARTY-NOTICES.txt
		DESTINATION . COMPONENT customer EXCLUDE_FROM_ALL)
else()
	qel_third_party_notices(${PROJECT_BINARY_DIR}/notices/THIRD-PARTY-NOTICES
		ARCHIVES libqelcore.a=qelcore)
endif()

# --- What Debian wants of every package ------------------------------------
#
# Gzipped manual pages, and in share/doc/<package>/ the copyright file and
# changelog.Debian.gz; gzip -9n, so the same sources give the same bytes.
# packaging/lintian/<package> explains, one line each, what lintian warns
# of and is so by design.
if(NOT WIN32)
	find_program(QEL_GZIP gzip REQUIRED)
	mark_as_advanced(QEL_GZIP)
	set(qel_gzipped)
	foreach(component IN ITEMS qelhostid qelkeypair development)
		set(QEL_DEB_PACKAGE ${QEL_DEB_${component}})
		set(qel_dir ${PROJECT_BINARY_DIR}/deb/${QEL_DEB_PACKAGE})
		configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in
			${qel_dir}/changelog.Debian @ONLY)
		add_custom_command(OUTPUT ${qel_dir}/changelog.Debian.gz
			COMMAND ${QEL_GZIP} -9n -c changelog.Debian > changelog.Debian.gz
			DEPENDS ${qel_dir}/changelog.Debian
			WORKING_DIRECTORY ${qel_dir} VERBATIM)
		list(APPEND qel_gzipped ${qel_dir}/changelog.Debian.gz)
		install(FILES
				${PROJECT_SOURCE_DIR}/packaging/copyright
				${qel_dir}/changelog.Debian.gz
				${PROJECT_BINARY_DIR}/notices/THIRD-PARTY-NOTICES
			DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${QEL_DEB_PACKAGE}
			COMPONENT ${component})
		install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/${QEL_DEB_PACKAGE}
			DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
			COMPONENT ${component})
	endforeach()
	# page:component; qellicense goes with the vendor's qelkeypair.
	foreach(entry IN ITEMS qelhostid:qelhostid qelkeypair:qelkeypair qellicense:qelkeypair)
		string(REPLACE ":" ";" entry "${entry}")
		list(GET entry 0 page)
		list(GET entry 1 component)
		add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.1.gz
			COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
			COMMAND ${QEL_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page}.1
				> ${PROJECT_BINARY_DIR}/man/${page}.1.gz
			DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 VERBATIM)
		list(APPEND qel_gzipped ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
		install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1.gz
			DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
	endforeach()
	add_custom_target(qel_gzipped ALL DEPENDS ${qel_gzipped})
	unset(qel_gzipped)
	unset(qel_dir)
endif()

# --- Packages --------------------------------------------------------------

set(CPACK_PACKAGE_NAME qelcore)
set(CPACK_PACKAGE_VENDOR "qelcore")
set(CPACK_PACKAGE_CONTACT "${QEL_MAINTAINER}")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

# A source package is the tree without builds, dependencies or history.
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\.deps/" "/\\.git/")

# The packages and cpack's work land in the build directory, wherever cpack
# is started (cpack -B DIR puts them elsewhere).
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})

# Dates: SOURCE_DATE_EPOCH, else the Debian changelog's date
# (cmake/QelCPackProject.cmake).
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog.in qel_trailer REGEX "^ -- ")
string(REGEX REPLACE "^ -- .*  " "" qel_trailer "${qel_trailer}")
execute_process(COMMAND date -u -d "${qel_trailer}" +%s
	OUTPUT_VARIABLE CPACK_QEL_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
	RESULT_VARIABLE qel_rc ERROR_QUIET)
if(NOT qel_rc EQUAL 0 OR NOT CPACK_QEL_RELEASE_EPOCH MATCHES "^[0-9]+$")
	message(FATAL_ERROR "packaging/changelog.in: no date in \"${qel_trailer}\"")
endif()
unset(qel_trailer)
unset(qel_rc)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/QelCPackProject.cmake)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)

if(WIN32)
	# Two zips, one per group: the customer's, with qelhostid.exe and
	# README.txt, and the vendor's kit, with the three programs, the
	# libraries, the headers, the CMake package, the docs and the example.
	set(CPACK_COMPONENTS_ALL customer qelhostid qelkeypair development)
	set(CPACK_COMPONENT_CUSTOMER_GROUP customer)
	foreach(component IN ITEMS QELHOSTID QELKEYPAIR DEVELOPMENT)
		set(CPACK_COMPONENT_${component}_GROUP kit)
	endforeach()
	set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
	set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "node-locked licences: host identifiers, DSA signing keys, issuing and checking")
	set(CPACK_GENERATOR ZIP)
	set(CPACK_PACKAGE_FILE_NAME "qelcore-${PROJECT_VERSION}-win64")
	set(CPACK_ARCHIVE_CUSTOMER_FILE_NAME "qelhostid-${PROJECT_VERSION}-win64")
	set(CPACK_ARCHIVE_KIT_FILE_NAME "qelcore-kit-${PROJECT_VERSION}-win64")
	# No folder inside: Windows' "Extract All" makes one of the zip's name.
	# (CPack would name it after CPACK_PACKAGE_FILE_NAME in both zips.)
	set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
	set(CPACK_COMPONENTS_ALL qelhostid qelkeypair development)
	set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
	set(CPACK_GENERATOR DEB)
	set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
	set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
	set(CPACK_DEBIAN_PACKAGE_RELEASE ${QEL_DEB_RELEASE})
	set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QEL_MAINTAINER}")
	set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
	foreach(component IN ITEMS qelhostid qelkeypair development)
		string(TOUPPER ${component} c)
		set(CPACK_DEBIAN_${c}_PACKAGE_NAME ${QEL_DEB_${component}})
	endforeach()
	set(CPACK_DEBIAN_QELHOSTID_PACKAGE_SECTION utils)
	set(CPACK_DEBIAN_QELKEYPAIR_PACKAGE_SECTION utils)
	set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)

	# Descriptions: the synopsis, then the extended text. (CPack would put
	# CPACK_PACKAGE_DESCRIPTION_SUMMARY before each: it is not set here.)
	set(CPACK_COMPONENT_QELHOSTID_DESCRIPTION
"print this machine's hardware addresses for a node-locked licence
qelhostid prints the machine's network hardware (MAC) addresses, sorted and
without duplicates, as a short block of JSON object members, and saves the
same text to qelhostid.txt. A customer runs it and sends the text to the
vendor of a program licensed for that machine.")
	set(CPACK_COMPONENT_QELKEYPAIR_DESCRIPTION
"make the DSA key pair that signs node-locked licences, and issue them
qelkeypair makes a DSA key pair and writes each key as a C source file,
qel_privkey.c and qel_pubkey.c, so that a product can compile its public
key in. It never overwrites a key file, and prints the public key's
SHA-256, the key hash.
.
qellicense issues a licence for the machine of a customer's qelhostid
report, signed with the private key, and checks a licence as the product
does.
.
This package is for the software vendor. It also holds the vendor's guide,
the licence format and an example of the product's check.")
	set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
"static library and C header for checking node-locked licences
libqelcore.a and <qel/qelcore.h> give a product, in C or C++, the
machine's hardware addresses as qelhostid lists them and the key hash of
the public key it carries. A CMake package (qelcore::qelcore) and a
pkg-config file (qelcore) come with them.")

	# Depends from the programs' shared libraries (dpkg-shlibdeps): none for
	# static programs; otherwise libc6 and libtomcrypt1, the libraries they
	# link directly, and libtommath1 named as well: libtomcrypt's DSA runs
	# on it (ltm_desc), though only libtomcrypt itself links it.
	set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
	if(NOT QEL_STATIC_PROGRAMS OR QEL_SANITIZE)
		set(CPACK_DEBIAN_QELHOSTID_PACKAGE_DEPENDS "libtommath1")
		set(CPACK_DEBIAN_QELKEYPAIR_PACKAGE_DEPENDS "libtommath1")
	endif()
	# Built-Using for the static programs, and the -dev package's
	# Multi-Arch: same (its files are the same on every architecture or
	# in the architecture's own folder, as for libsodium-dev and
	# libzstd-dev), written by cmake/QelDebControl.cmake.
	set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/QelDebControl.cmake)
	set(CPACK_QEL_MAPS_DIR ${QEL_MAPS_DIR})
	set(CPACK_QEL_MULTIARCH_SAME ${QEL_DEB_development})
	# No Homepage: the project has none (CMAKE_PROJECT_HOMEPAGE_URL).

	# The example builds against the library.
	set(CPACK_DEBIAN_QELKEYPAIR_PACKAGE_SUGGESTS "libqelcore-dev")
	# A product links libtomcrypt and libtommath with the static library.
	set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libtomcrypt-dev, libtommath-dev")
endif()

include(CPack)
