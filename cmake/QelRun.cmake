# For the scripts the build runs with cmake -P (QelNotices.cmake,
# QelPublicSymbols.cmake):
#
# run(CMD...): runs a command and sets qel_out to its output; stops with
# the command and its output when it fails.
function(run)
	execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc
		OUTPUT_VARIABLE out ERROR_VARIABLE err)
	if(NOT rc EQUAL 0)
		list(JOIN ARGN " " cmd)
		message(FATAL_ERROR "${cmd}\n${out}${err}")
	endif()
	set(qel_out "${out}" PARENT_SCOPE)
endfunction()
