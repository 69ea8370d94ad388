# GoogleTest for the Windows cross build.
#
# A native build finds the system's GoogleTest with find_package(GTest). A
# cross build cannot use those Linux libraries; it compiles GoogleTest from
# the sources Debian's googletest package ships in /usr/src/googletest, with
# the cross compiler, and gets the same targets GTest::gtest and
# GTest::gtest_main. Outside a cross build for Windows this module does
# nothing, so it can be included unconditionally:
#
#   include(QelGTestWindows)
#   if(NOT TARGET GTest::gtest_main)
#       find_package(GTest REQUIRED)
#   endif()
#
# qel_wine_tests(<test>...) readies tests to run under Wine: the first start
# in a new prefix takes seconds and writes "wine: created the configuration
# directory ..." and similar lines to the standard error of whichever
# program made it, so a setup test (wine_prefix) makes the prefix before
# them. The prefix is build/<preset>/wineprefix, set in the test environment
# with WINEDEBUG=-all, also when ctest runs without the preset.

include_guard(GLOBAL)

function(qel_wine_tests)
endfunction()

if(NOT (CMAKE_CROSSCOMPILING AND WIN32))
	return()
endif()

set(QEL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the cross target")
if(NOT EXISTS ${QEL_GTEST_SOURCE_DIR}/CMakeLists.txt)
	message(FATAL_ERROR "No GoogleTest sources in ${QEL_GTEST_SOURCE_DIR} (Debian package googletest)")
endif()

# Only the libraries: no GoogleMock, no install rules, static like the rest.
# Normal variables take effect for GoogleTest's option() calls (CMP0077).
set(BUILD_GMOCK OFF)
set(INSTALL_GTEST OFF)
set(BUILD_SHARED_LIBS OFF)
set(gtest_force_shared_crt OFF)
add_subdirectory(${QEL_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# Built with every Windows build, so built fast: unoptimised and without
# debug information it compiles in a third of the time, and the tests it
# runs do not notice.
foreach(target IN ITEMS gtest gtest_main)
	target_compile_options(${target} PRIVATE -O0 -g0)
endforeach()
set(GTest_FOUND TRUE)

set(QEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")

function(qel_wine_tests)
	if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
		message(FATAL_ERROR "No Wine to run the tests (CMAKE_CROSSCOMPILING_EMULATOR is empty)")
	endif()
	set(env WINEDEBUG=-all WINEPREFIX=${QEL_WINEPREFIX})
	# One setup test for the whole build, whichever directory asks first:
	# two wineboot runs on one prefix at once would race. Fixtures go by
	# name across directories.
	get_property(made GLOBAL PROPERTY QEL_WINE_PREFIX_TEST)
	if(NOT made)
		set_property(GLOBAL PROPERTY QEL_WINE_PREFIX_TEST ON)
		# wineboot -i makes the prefix, or refreshes an existing one in
		# about a second.
		add_test(NAME wine_prefix COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot -i)
		set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix)
		set_property(TEST wine_prefix APPEND PROPERTY ENVIRONMENT ${env})
	endif()
	set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED wine_prefix)
	set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT ${env})
endfunction()
