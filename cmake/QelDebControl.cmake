# Run by cpack once it has made the .deb packages (CPACK_POST_BUILD_SCRIPTS,
# before it copies them out and writes their checksums): writes into each
# package the control fields CPack has no variable for, with dpkg-deb.
#
#   Built-Using  for a package whose programs are linked statically: the
#                Debian source packages whose code they contain, each with
#                the exact version, as Debian's policy asks; read from
#                maps/PROGRAM.contents of the build (cmake/QelNotices.cmake).
#                A program in usr/bin without that record stops cpack.
#   Multi-Arch   "same" for the packages named in CPACK_QEL_MULTIARCH_SAME.
#
# The package is unpacked with dpkg-deb -R and built again with dpkg-deb -b,
# gzip as CPack has it, owned by root; with SOURCE_DATE_EPOCH set (see
# cmake/QelCPackProject.cmake) the same package gives the same bytes.
cmake_minimum_required(VERSION 3.25)

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
	if(NOT deb MATCHES "\\.deb$")
		continue()
	endif()
	set(dir ${deb}.control)
	file(REMOVE_RECURSE ${dir})
	execute_process(COMMAND dpkg-deb -R ${deb} ${dir} RESULT_VARIABLE rc)
	if(NOT rc EQUAL 0)
		message(FATAL_ERROR "dpkg-deb -R ${deb} failed")
	endif()
	file(READ ${dir}/DEBIAN/control control)
	string(REGEX MATCH "(^|\n)Package: ([^\n]*)" package "${control}")
	set(package ${CMAKE_MATCH_2})

	set(fields "")
	set(sources)
	file(GLOB programs ${dir}/usr/bin/*)
	foreach(program IN LISTS programs)
		get_filename_component(name ${program} NAME)
		set(contents ${CPACK_QEL_MAPS_DIR}/${name}.contents)
		if(NOT EXISTS ${contents})
			message(FATAL_ERROR "${package}: no record of what usr/bin/${name} was linked "
				"with (${contents}): link it with qel_static_program")
		endif()
		file(STRINGS ${contents} lines)
		if(NOT "static yes" IN_LIST lines)
			continue()
		endif()
		foreach(line IN LISTS lines)
			string(REPLACE " " ";" line "${line}")
			list(LENGTH line n)
			if(n EQUAL 3)
				list(GET line 1 source)
				list(GET line 2 version)
				if(NOT source STREQUAL "-")
					list(APPEND sources "${source} (= ${version})")
				endif()
			endif()
		endforeach()
	endforeach()
	if(sources)
		list(REMOVE_DUPLICATES sources)
		list(SORT sources)
		list(JOIN sources ", " sources)
		string(APPEND fields "Built-Using: ${sources}\n")
	endif()
	if(package IN_LIST CPACK_QEL_MULTIARCH_SAME)
		string(APPEND fields "Multi-Arch: same\n")
	endif()

	if(fields)
		# Before the description, which ends the paragraph.
		string(REGEX REPLACE "\nDescription:" "\n${fields}Description:" control "${control}")
		file(WRITE ${dir}/DEBIAN/control "${control}")
		execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b ${dir} ${deb}
			RESULT_VARIABLE rc OUTPUT_QUIET)
		if(NOT rc EQUAL 0)
			message(FATAL_ERROR "dpkg-deb -b ${deb} failed")
		endif()
	endif()
	file(REMOVE_RECURSE ${dir})
endforeach()
