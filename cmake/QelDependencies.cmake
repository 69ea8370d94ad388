# libtomcrypt and libtommath, from the system's packages.
#
# Native builds find them with pkg-config. A cross build points
# QEL_DEPS_PREFIX at a prefix holding both (scripts/build-windows-deps.sh).

set(QEL_DEPS_PREFIX "" CACHE PATH "Prefix of libtomcrypt and libtommath for a cross build")

add_library(qel_tomcrypt INTERFACE)
add_library(qel::tomcrypt ALIAS qel_tomcrypt)
# The numbers under libtomcrypt's DSA are libtommath's.
target_compile_definitions(qel_tomcrypt INTERFACE LTM_DESC)

if(QEL_DEPS_PREFIX)
	find_library(QEL_TOMCRYPT_LIB tomcrypt PATHS ${QEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
	find_library(QEL_TOMMATH_LIB tommath PATHS ${QEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
	target_include_directories(qel_tomcrypt SYSTEM INTERFACE ${QEL_DEPS_PREFIX}/include)
	target_link_libraries(qel_tomcrypt INTERFACE ${QEL_TOMCRYPT_LIB} ${QEL_TOMMATH_LIB})
else()
	find_package(PkgConfig REQUIRED)
	pkg_check_modules(TOMCRYPT REQUIRED IMPORTED_TARGET libtomcrypt)
	pkg_check_modules(TOMMATH REQUIRED IMPORTED_TARGET libtommath)
	target_link_libraries(qel_tomcrypt INTERFACE PkgConfig::TOMCRYPT PkgConfig::TOMMATH)
endif()
