# Warnings are errors on every target of ours.
function(qel_set_warnings target)
	target_compile_options(${target} PRIVATE
		-Wall -Wextra -Wpedantic -Werror
		-Wshadow -Wformat=2 -Wconversion -Wsign-conversion
		-Wcast-qual -Wnull-dereference -Wundef)
endfunction()
