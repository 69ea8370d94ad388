# The public symbols of the library, and the library as it ships: the
# static library, and the exports of the Windows DLL.
#
# qel_public_symbols(OUTPUT HEADER)
#   adds a build rule that writes to OUTPUT the names of the functions that
#   HEADER declares, one a line, sorted: the form objcopy's
#   --keep-global-symbols reads, and the list the DLL's exports are made
#   from. HEADER is read as a C product reads it, through the C
#   compiler's preprocessor; only the declarations in HEADER itself count,
#   not those of the headers it includes. A declaration that is neither a
#   function nor a type (a variable, a function pointer) stops the build:
#   the public header declares functions only.
#
# qel_public_library(NAME INTERNAL SYMBOLS)
#   adds the static library NAME that holds the whole code of the static
#   library INTERNAL in one object in which only the functions listed in
#   the file SYMBOLS (from qel_public_symbols) are global. Every other name
#   of the library is local to that object: a product that defines a
#   function of the same name (error_set, mem_calloc) neither clashes with
#   it nor replaces it inside the library. The build stops when a listed
#   function is missing from the library.
#
#   The object is INTERNAL's objects linked into one (ld -r), then the
#   other names made local (objcopy). ELF section groups (C++ inline
#   functions and template instances) are dissolved at the link, so the
#   library keeps its own copies. COFF has no such option: there a COMDAT
#   section's symbol stays global, as a COMDAT symbol is one that every
#   object may define and the linker keeps one copy of (mingw's .refptr
#   pointers to data of other libraries, C++ inline functions). Made local,
#   it would still be merged with a product's copy, and the library's own
#   references would point into the copy the linker dropped.
#
# qel_module_definition(OUTPUT SYMBOLS DLL)
#   adds a build rule that writes to OUTPUT the module-definition (.def)
#   file of the DLL named DLL (e.g. qelcore.dll) that exports the functions
#   listed in the file SYMBOLS (from qel_public_symbols), and nothing else:
#   the file that the DLL is linked with and its import libraries are made
#   from.
#
# This file is also the script the rules run (cmake -P, with QEL_ACTION).

if(CMAKE_SCRIPT_MODE_FILE)
	cmake_minimum_required(VERSION 3.25)
	include(${CMAKE_CURRENT_LIST_DIR}/QelRun.cmake)

	if(QEL_ACTION STREQUAL "symbols")
		# Attributes are of no interest here, and their parentheses
		# would be in the way.
		run(${QEL_CC} -E -x c "-D__attribute__(x)=" ${QEL_HEADER})
		# The list commands below split at ";", and not inside "[...]":
		# both are put out of the way before the text is split into lines.
		string(REPLACE "[" "<" text "${qel_out}")
		string(REPLACE "]" ">" text "${text}")
		string(REPLACE ";" "@" text "${text}")
		string(REPLACE "\n" ";" lines "${text}")
		# The preprocessor's line markers ('# 12 "file" ...') tell which
		# file the lines after them come from.
		set(own "")
		set(in_header FALSE)
		foreach(line IN LISTS lines)
			if(line MATCHES "^# [0-9]+ \"([^\"]*)\"")
				set(in_header FALSE)
				if(CMAKE_MATCH_1 STREQUAL QEL_HEADER)
					set(in_header TRUE)
				endif()
			elseif(in_header)
				string(APPEND own " ${line}")
			endif()
		endforeach()
		# Bodies ({...} of an enum, a struct or an inline function) end a
		# declaration, whatever they hold.
		set(previous "")
		while(NOT own STREQUAL previous)
			set(previous "${own}")
			string(REGEX REPLACE "{[^{}]*}" "@" own "${own}")
		endwhile()
		string(REPLACE "@" ";" declarations "${own}")
		set(names)
		foreach(decl IN LISTS declarations)
			string(STRIP "${decl}" decl)
			if(decl STREQUAL "" OR decl MATCHES "^(typedef|enum|struct|union|static)([^A-Za-z0-9_]|$)")
				continue()
			endif()
			if(NOT decl MATCHES "\\(")
				message(FATAL_ERROR "${QEL_HEADER}: not a function: ${decl}")
			endif()
			if(decl MATCHES "\\([ \t]*\\*" OR
				NOT decl MATCHES "^[^()]*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(")
				message(FATAL_ERROR "${QEL_HEADER}: not a plain function: ${decl}")
			endif()
			list(APPEND names ${CMAKE_MATCH_1})
		endforeach()
		if(NOT names)
			message(FATAL_ERROR "${QEL_HEADER} declares no function")
		endif()
		list(SORT names)
		list(JOIN names "\n" text)
		file(WRITE ${QEL_OUTPUT}.new "${text}\n")
		file(RENAME ${QEL_OUTPUT}.new ${QEL_OUTPUT})

	elseif(QEL_ACTION STREQUAL "library")
		set(merged ${QEL_OUTPUT}.merged)
		set(flags)
		if(QEL_ELF)
			set(flags -Wl,--force-group-allocation)
		endif()
		run(${QEL_CXX} -r -nostdlib ${flags} -o ${merged}
			-Wl,--whole-archive ${QEL_INTERNAL} -Wl,--no-whole-archive)
		file(STRINGS ${QEL_SYMBOLS} public)
		set(keep ${public})
		run(${QEL_OBJDUMP} -h ${merged})
		string(REGEX MATCHALL "\\(COMDAT [^ ()]+ [0-9]+\\)" comdats "${qel_out}")
		foreach(comdat IN LISTS comdats)
			string(REGEX REPLACE "^\\(COMDAT ([^ ]+) .*" "\\1" name "${comdat}")
			list(APPEND keep ${name})
		endforeach()
		list(REMOVE_DUPLICATES keep)
		list(JOIN keep "\n" text)
		file(WRITE ${QEL_OUTPUT}.keep "${text}\n")
		run(${QEL_OBJCOPY} --keep-global-symbols=${QEL_OUTPUT}.keep ${merged} ${QEL_OUTPUT}.new)
		run(${QEL_NM} -g --defined-only ${QEL_OUTPUT}.new)
		string(REGEX MATCHALL "[^\n]+" defined "${qel_out}")
		foreach(name IN LISTS public)
			if(NOT defined MATCHES " ${name}(;|$)")
				message(FATAL_ERROR "${QEL_SYMBOLS} lists ${name}, which the library does not define")
			endif()
		endforeach()
		file(REMOVE ${merged} ${QEL_OUTPUT}.keep)
		file(RENAME ${QEL_OUTPUT}.new ${QEL_OUTPUT})
	elseif(QEL_ACTION STREQUAL "def")
		file(STRINGS ${QEL_SYMBOLS} public)
		if(NOT public)
			message(FATAL_ERROR "${QEL_SYMBOLS} lists no function")
		endif()
		list(JOIN public "\n    " exports)
		file(WRITE ${QEL_OUTPUT}.new "LIBRARY ${QEL_DLL}\nEXPORTS\n    ${exports}\n")
		file(RENAME ${QEL_OUTPUT}.new ${QEL_OUTPUT})
	else()
		message(FATAL_ERROR "QEL_ACTION must be symbols, library or def")
	endif()
	return()
endif()

include_guard(GLOBAL)

function(qel_public_symbols output header)
	add_custom_command(OUTPUT ${output}
		COMMAND ${CMAKE_COMMAND} -DQEL_ACTION=symbols
			-DQEL_CC=${CMAKE_C_COMPILER} -DQEL_HEADER=${header} -DQEL_OUTPUT=${output}
			-P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
		DEPENDS ${header} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
		COMMENT "Listing the functions of ${header}"
		VERBATIM)
endfunction()

function(qel_module_definition output symbols dll)
	add_custom_command(OUTPUT ${output}
		COMMAND ${CMAKE_COMMAND} -DQEL_ACTION=def
			-DQEL_SYMBOLS=${symbols} -DQEL_DLL=${dll} -DQEL_OUTPUT=${output}
			-P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
		DEPENDS ${symbols} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
		COMMENT "Writing the exports of ${dll}"
		VERBATIM)
endfunction()

function(qel_public_library name internal symbols)
	foreach(tool IN ITEMS OBJCOPY OBJDUMP NM)
		if(NOT CMAKE_${tool})
			message(FATAL_ERROR "${name} needs ${tool} (binutils)")
		endif()
	endforeach()
	if(WIN32)
		set(object ${CMAKE_CURRENT_BINARY_DIR}/${name}/${internal}.obj)
		set(elf OFF)
	else()
		set(object ${CMAKE_CURRENT_BINARY_DIR}/${name}/${internal}.o)
		set(elf ON)
	endif()
	add_custom_command(OUTPUT ${object}
		COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/${name}
		COMMAND ${CMAKE_COMMAND} -DQEL_ACTION=library
			-DQEL_CXX=${CMAKE_CXX_COMPILER} -DQEL_OBJCOPY=${CMAKE_OBJCOPY}
			-DQEL_OBJDUMP=${CMAKE_OBJDUMP} -DQEL_NM=${CMAKE_NM} -DQEL_ELF=${elf}
			-DQEL_INTERNAL=$<TARGET_FILE:${internal}> -DQEL_SYMBOLS=${symbols}
			-DQEL_OUTPUT=${object}
			-P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
		DEPENDS ${internal} ${symbols} ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
		COMMENT "Making only the public functions of ${internal} global"
		VERBATIM)
	set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT ON GENERATED ON)
	add_library(${name} STATIC ${object})
	set_target_properties(${name} PROPERTIES LINKER_LANGUAGE CXX)
endfunction()
