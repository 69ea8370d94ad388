# What the shipped programs contain, and the notices that go with them.
#
# qel_link_map(TARGET)
#   links the program TARGET with a link map, maps/TARGET.map in the top
#   build directory, and after every link reads the map into
#   maps/TARGET.contents: the components whose code the linker put into the
#   program, one a line as "COMPONENT SOURCE VERSION" (SOURCE and VERSION
#   those of the Debian source package the code came from, "-" for
#   qelcore's own), and a last line "static yes" or "static no" (whether
#   the program loads shared libraries). A component is a file of
#   packaging/notices/ (below); code of a package that has none stops the
#   build. TARGET is also listed for qel_third_party_notices.
#   cmake/QelStaticRuntime.cmake calls it for every shipped program.
#
# qel_third_party_notices(OUTPUT [CRLF] [PROGRAMS TARGET...]
#                         [ARCHIVES FILE=COMPONENT...])
#   adds a build rule that writes OUTPUT: which program and which archive
#   contains which components, then each component's notice, qelcore's own
#   (LICENSE) first. PROGRAMS defaults to every target given to
#   qel_link_map anywhere in the project (the rule is made once the
#   calling directory has been read); an archive's components are given.
#   CRLF writes the text with Windows' line ends.
#
# Components come from the link map: objects and archives of the build tree
# are qelcore's; the archives of QEL_DEPS_PREFIX are libtomcrypt's and
# libtommath's (versions from its stamp); any other file is looked up with
# dpkg -S and named after its Debian source package.
#
# This file is also the script the rules run (cmake -P, with QEL_ACTION).

if(CMAKE_SCRIPT_MODE_FILE)
	cmake_minimum_required(VERSION 3.25)
	include(${CMAKE_CURRENT_LIST_DIR}/QelRun.cmake)

	# The components, in the order the notices list them.
	set(order qelcore libtomcrypt libtommath glibc mingw-w64 winpthreads gcc-runtime)

	if(QEL_ACTION STREQUAL "contents")
		# The linker's map names each archive member it took, at the
		# start of a line as ARCHIVE(MEMBER), and each file it loaded,
		# as LOAD FILE.
		file(STRINGS ${QEL_MAP} lines REGEX "^(LOAD |[^ ][^(]*\\.a\\()")
		set(files)
		set(static yes)
		foreach(line IN LISTS lines)
			if(line MATCHES "^LOAD (.*\\.(o|obj))$")
				list(APPEND files "${CMAKE_MATCH_1}")
			elseif(line MATCHES "^LOAD (.*\\.so(\\.[0-9.]*)?)$")
				set(static no)
			elseif(line MATCHES "^([^ ][^(]*\\.a)\\(")
				list(APPEND files "${CMAKE_MATCH_1}")
			endif()
		endforeach()
		list(REMOVE_DUPLICATES files)

		set(found)
		set(system)
		foreach(f IN LISTS files)
			cmake_path(IS_RELATIVE f relative)
			cmake_path(NORMAL_PATH f)
			set(ours FALSE)
			set(dependency FALSE)
			if(relative)
				set(ours TRUE)
			else()
				cmake_path(IS_PREFIX QEL_BINARY_DIR "${f}" NORMALIZE ours)
				if(QEL_DEPS_PREFIX)
					cmake_path(IS_PREFIX QEL_DEPS_PREFIX "${f}" NORMALIZE dependency)
				endif()
			endif()
			get_filename_component(name ${f} NAME)
			if(ours)
				list(APPEND found "qelcore - -")
			elseif(dependency AND name MATCHES "^lib(tomcrypt|tommath)\\.a$")
				set(lib lib${CMAKE_MATCH_1})
				file(STRINGS ${QEL_DEPS_PREFIX}/stamp version REGEX "^${lib} ")
				string(REPLACE " " ";" version "${version}")
				list(GET version 1 version)
				list(APPEND found "${lib} ${lib} ${version}")
			else()
				list(APPEND system ${f})
			endif()
		endforeach()

		if(system)
			# dpkg -S: "PACKAGE[:ARCH][, ...]: PATH", one line a path.
			execute_process(COMMAND dpkg -S ${system}
				OUTPUT_VARIABLE owners ERROR_VARIABLE err RESULT_VARIABLE rc)
			string(REGEX MATCHALL "[^\n]+" owners "${owners}")
			set(packages)
			foreach(f IN LISTS system)
				set(owner "")
				foreach(line IN LISTS owners)
					if(line MATCHES "^([^ :,]+)[^ ]*: (.*)$" AND CMAKE_MATCH_2 STREQUAL f)
						set(owner ${CMAKE_MATCH_1})
					endif()
				endforeach()
				if(NOT owner)
					message(FATAL_ERROR "${QEL_MAP}: ${f} belongs to no Debian package: "
						"no notice can be given for it\n${err}")
				endif()
				set(owner_of_${f} ${owner})
				list(APPEND packages ${owner})
			endforeach()
			list(REMOVE_DUPLICATES packages)
			run(dpkg-query -W "-f=\${Package} \${source:Package} \${source:Version}\n" ${packages})
			string(REGEX MATCHALL "[^\n]+" sources "${qel_out}")
			foreach(line IN LISTS sources)
				string(REPLACE " " ";" line "${line}")
				list(GET line 0 package)
				list(GET line 1 source_of_${package})
				list(GET line 2 version_of_${package})
			endforeach()
			foreach(f IN LISTS system)
				set(package ${owner_of_${f}})
				set(source ${source_of_${package}})
				get_filename_component(name ${f} NAME)
				if(source STREQUAL "glibc")
					set(component glibc)
				elseif(source MATCHES "^gcc-[0-9]+$|^gcc-mingw-w64$")
					set(component gcc-runtime)
				elseif(source MATCHES "^libtom(crypt|math)$")
					set(component ${source})
				elseif(source STREQUAL "mingw-w64" AND name MATCHES "^libwinpthread")
					set(component winpthreads)
				elseif(source STREQUAL "mingw-w64")
					set(component mingw-w64)
				else()
					message(FATAL_ERROR "${QEL_MAP}: ${f} comes from the Debian source "
						"package ${source}, which has no notice in packaging/notices/")
				endif()
				list(APPEND found "${component} ${source} ${version_of_${package}}")
			endforeach()
		endif()

		list(REMOVE_DUPLICATES found)
		set(text "")
		foreach(component IN LISTS order)
			foreach(entry IN LISTS found)
				if(entry MATCHES "^${component} ")
					string(APPEND text "${entry}\n")
				endif()
			endforeach()
		endforeach()
		string(APPEND text "static ${static}\n")
		file(WRITE ${QEL_OUTPUT} "${text}")

	elseif(QEL_ACTION STREQUAL "notices")
		# QEL_ITEMS: NAME=CONTENTS_FILE (a program) or NAME=COMPONENT (an
		# archive), for each file listed.
		set(table "")
		set(present qelcore)
		foreach(item IN LISTS QEL_ITEMS)
			string(REGEX MATCH "^([^=]*)=(.*)$" item "${item}")
			set(name ${CMAKE_MATCH_1})
			set(what ${CMAKE_MATCH_2})
			set(components)
			if(what MATCHES "\\.contents$")
				file(STRINGS ${what} lines)
				foreach(line IN LISTS lines)
					string(REPLACE " " ";" line "${line}")
					list(GET line 0 component)
					if(component STREQUAL "static")
						continue()
					endif()
					list(GET line 1 source)
					list(GET line 2 version)
					list(APPEND components ${component})
					if(NOT source STREQUAL "-")
						set(origin_of_${component} "Debian source package ${source} ${version}")
					endif()
				endforeach()
			else()
				set(components ${what})
			endif()
			list(APPEND present ${components})
			foreach(component IN LISTS components)
				list(APPEND in_${component} ${name})
			endforeach()
			list(JOIN components ", " components)
			string(LENGTH "${name}" length)
			math(EXPR pad "18 - ${length}")
			if(pad LESS 1)
				set(pad 1)
			endif()
			string(REPEAT " " ${pad} spaces)
			string(APPEND table "  ${name}${spaces}${components}\n")
		endforeach()

		string(REPEAT "-" 72 rule)
		set(text "qelcore ${QEL_VERSION}: licence and third-party notices

qelcore is free software under the ISC licence, the first notice below.
Its programs and libraries listed here contain code of the components
named beside them, each under the terms of its notice below. What a
program contains was read from its link map when it was built.

${table}")
		foreach(component IN LISTS order)
			if(NOT component IN_LIST present)
				continue()
			endif()
			if(component STREQUAL "qelcore")
				file(READ ${QEL_LICENSE} body)
				set(title "qelcore")
			else()
				file(READ ${QEL_NOTICES_DIR}/${component} body)
				# The notice's first paragraph is its title.
				string(FIND "${body}" "\n\n" cut)
				string(SUBSTRING "${body}" 0 ${cut} title)
				math(EXPR cut "${cut} + 2")
				string(SUBSTRING "${body}" ${cut} -1 body)
			endif()
			list(REMOVE_DUPLICATES in_${component})
			list(JOIN in_${component} ", " in)
			if(title STREQUAL component)
				string(APPEND text "\n${rule}\n${component}\n")
			else()
				string(APPEND text "\n${rule}\n${component}: ${title}\n")
			endif()
			if(origin_of_${component})
				string(APPEND text "${origin_of_${component}}; ")
			endif()
			string(APPEND text "in ${in}\n\n${body}")
		endforeach()
		if(QEL_CRLF)
			string(REPLACE "\n" "\r\n" text "${text}")
		endif()
		file(WRITE ${QEL_OUTPUT}.new "${text}")
		file(RENAME ${QEL_OUTPUT}.new ${QEL_OUTPUT})
	else()
		message(FATAL_ERROR "QEL_ACTION must be contents or notices")
	endif()
	return()
endif()

include_guard(GLOBAL)

set(QEL_MAPS_DIR ${CMAKE_BINARY_DIR}/maps)
set(QEL_NOTICES_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(qel_link_map target)
	set(map ${QEL_MAPS_DIR}/${target}.map)
	target_link_options(${target} PRIVATE LINKER:-Map=${map})
	add_custom_command(TARGET ${target} POST_BUILD
		COMMAND ${CMAKE_COMMAND} -DQEL_ACTION=contents -DQEL_MAP=${map}
			-DQEL_BINARY_DIR=${CMAKE_BINARY_DIR} -DQEL_DEPS_PREFIX=${QEL_DEPS_PREFIX}
			-DQEL_OUTPUT=${QEL_MAPS_DIR}/${target}.contents
			-P ${QEL_NOTICES_SCRIPT}
		BYPRODUCTS ${map} ${QEL_MAPS_DIR}/${target}.contents
		VERBATIM)
	file(MAKE_DIRECTORY ${QEL_MAPS_DIR})
	set_property(GLOBAL APPEND PROPERTY QEL_MAPPED_PROGRAMS ${target})
endfunction()

function(qel_third_party_notices output)
	cmake_parse_arguments(PARSE_ARGV 1 arg "CRLF" "" "PROGRAMS;ARCHIVES")
	# The rule is made once every program of the directory is known.
	cmake_language(EVAL CODE "
		cmake_language(DEFER CALL _qel_third_party_notices [[${output}]]
			[[${arg_CRLF}]] [[${arg_PROGRAMS}]] [[${arg_ARCHIVES}]])")
endfunction()

function(_qel_third_party_notices output crlf programs archives)
	if(NOT programs)
		get_property(programs GLOBAL PROPERTY QEL_MAPPED_PROGRAMS)
	endif()
	set(items)
	foreach(target IN LISTS programs)
		list(APPEND items "$<TARGET_FILE_NAME:${target}>=${QEL_MAPS_DIR}/${target}.contents")
	endforeach()
	list(APPEND items ${archives})
	file(GLOB notices CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/notices/*)
	get_filename_component(dir ${output} DIRECTORY)
	add_custom_command(OUTPUT ${output}
		COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
		COMMAND ${CMAKE_COMMAND} -DQEL_ACTION=notices -DQEL_OUTPUT=${output}
			"-DQEL_ITEMS=${items}" -DQEL_CRLF=${crlf}
			-DQEL_VERSION=${PROJECT_VERSION} -DQEL_LICENSE=${PROJECT_SOURCE_DIR}/LICENSE
			-DQEL_NOTICES_DIR=${PROJECT_SOURCE_DIR}/packaging/notices
			-P ${QEL_NOTICES_SCRIPT}
		DEPENDS ${programs} ${QEL_NOTICES_SCRIPT} ${PROJECT_SOURCE_DIR}/LICENSE ${notices}
		VERBATIM)
	string(MD5 name "${output}")
	add_custom_target(qel_notices_${name} ALL DEPENDS ${output})
endfunction()
