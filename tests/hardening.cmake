# Checks of the Linux build beyond the unit and command-line suites: the
# allocation sweep (sanitizer build), the hardening of the programs and the
# static analysis (optimised build). Included from tests/CMakeLists.txt.
if(WIN32)
	return()
endif()

# The allocation sweep links copies of Debian's static libtomcrypt and
# libtommath whose allocator references go to tests/fakes/lib_alloc.cpp.
# (The linker's --wrap would catch every other caller of malloc in the
# binary as well: the fakes, gtest.)
find_library(QEL_TOMCRYPT_STATIC NAMES libtomcrypt.a REQUIRED)
find_library(QEL_TOMMATH_STATIC NAMES libtommath.a REQUIRED)
if(NOT CMAKE_OBJCOPY)
	message(FATAL_ERROR "the allocation sweep needs objcopy (binutils)")
endif()
set(counted_dir ${CMAKE_CURRENT_BINARY_DIR}/counted)
set(counted_libs)
foreach(lib IN ITEMS tomcrypt tommath)
	string(TOUPPER ${lib} upper)
	set(out ${counted_dir}/lib${lib}.a)
	add_custom_command(OUTPUT ${out}
		COMMAND ${CMAKE_COMMAND} -E make_directory ${counted_dir}
		COMMAND ${CMAKE_OBJCOPY}
			--redefine-sym malloc=qel_lib_malloc
			--redefine-sym calloc=qel_lib_calloc
			--redefine-sym realloc=qel_lib_realloc
			--redefine-sym free=qel_lib_free
			${QEL_${upper}_STATIC} ${out}
		DEPENDS ${QEL_${upper}_STATIC}
		COMMENT "Counting the allocations of lib${lib}.a"
		VERBATIM)
	list(APPEND counted_libs ${out})
endforeach()
add_custom_target(qel_counted_libs DEPENDS ${counted_libs})

add_executable(qel_alloc_sweep
	alloc_sweep_test.cpp
	fakes/lib_alloc.cpp
	fakes/fake_mem.cpp
	fakes/fake_adapters.cpp
	fakes/fake_random.cpp
	test_util.cpp
	key_test_util.cpp
	license_test_util.cpp
	$<TARGET_OBJECTS:qelcore_logic>)
add_dependencies(qel_alloc_sweep qel_counted_libs)
target_include_directories(qel_alloc_sweep PRIVATE
	${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/include ${CMAKE_CURRENT_SOURCE_DIR}
	${TOMCRYPT_INCLUDE_DIRS})
target_compile_definitions(qel_alloc_sweep PRIVATE
	LTM_DESC
	QEL_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data"
	"QEL_TEXT_LINE_END=\"\\n\"")
# The archive order matters: libtomcrypt's objects pull libtommath's.
target_link_libraries(qel_alloc_sweep PRIVATE ${counted_libs} GTest::gtest_main)
set_target_properties(qel_alloc_sweep PROPERTIES LINK_DEPENDS "${counted_libs}")
qel_set_warnings(qel_alloc_sweep)
qel_test_program(qel_alloc_sweep PCH)
if(QEL_SANITIZE)
	# about half a minute under the sanitizers: started first
	add_test(NAME alloc_sweep COMMAND qel_alloc_sweep)
	set_tests_properties(alloc_sweep PROPERTIES LABELS sweep COST 60 TIMEOUT 900)
endif()

# The programs carry Debian's hardening (cmake/QelHardening.cmake).
if(QEL_HARDENED)
	add_test(NAME hardening
		COMMAND ${QEL_BATS} --tap ${CMAKE_CURRENT_SOURCE_DIR}/hardening.bats)
	set_tests_properties(hardening PROPERTIES LABELS hardening
		ENVIRONMENT
		"QEL_PROGRAMS=$<TARGET_FILE:qelhostid> $<TARGET_FILE:qelkeypair> $<TARGET_FILE:qellicense>")
endif()

# Static analysis of the product code, in the build that exports its
# compile commands (the default preset).
if(CMAKE_EXPORT_COMPILE_COMMANDS AND NOT QEL_SANITIZE)
	add_test(NAME lint
		COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lint.sh ${CMAKE_BINARY_DIR})
	set_tests_properties(lint PROPERTIES LABELS lint)
endif()
