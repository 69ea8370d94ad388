# Reproducible artefacts: the same sources give the same bytes, whichever
# directory they are built in and whenever.
#
#   - No path of the build machine in an object (debug information,
#     __FILE__): the source tree and the build tree are both named "." in
#     them, as Debian's own builds do with -ffile-prefix-map, and the
#     prefix of a cross build's libtomcrypt and libtommath (QEL_DEPS_PREFIX)
#     "deps", also by its real path (GCC names a system header's folder by
#     it). The last mapping that fits a path wins: the build tree's over
#     the source tree's where one lies inside the other.
#   - No time: GNU ar writes archives without dates (Debian's binutils are
#     deterministic), and the Windows programs get no link time in their PE
#     header (0 instead).
#   - The .deb packages take their file dates from SOURCE_DATE_EPOCH; see
#     cmake/QelInstall.cmake.
#
# Included from the top-level CMakeLists.txt after QelDependencies, before
# any target.

include_guard(GLOBAL)

set(qel_maps ${PROJECT_SOURCE_DIR}=. ${PROJECT_BINARY_DIR}=.)
if(QEL_DEPS_PREFIX)
	file(REAL_PATH ${QEL_DEPS_PREFIX} qel_real)
	list(APPEND qel_maps ${QEL_DEPS_PREFIX}=deps ${qel_real}=deps)
endif()
foreach(map IN LISTS qel_maps)
	# (Not for the resource compiler of the Windows build.)
	add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${map}>)
endforeach()
unset(qel_maps)
unset(qel_real)
if(WIN32)
	add_link_options(LINKER:--no-insert-timestamp)
endif()
