# Read by cpack before each generator runs (CPACK_PROJECT_CONFIG_FILE).
#
# The packages' file dates: SOURCE_DATE_EPOCH when it is set, else the date
# of the Debian changelog's entry (CPACK_QEL_RELEASE_EPOCH), as
# dpkg-buildpackage does, so that the same tree always gives the same
# packages.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND CPACK_QEL_RELEASE_EPOCH)
	set(ENV{SOURCE_DATE_EPOCH} ${CPACK_QEL_RELEASE_EPOCH})
endif()
