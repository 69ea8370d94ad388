/* A file's version resource, read the way Explorer and installers read it
 * (GetFileVersionInfoW, VerQueryValueW). Windows only; for the tests. */
#ifndef QEL_TESTS_VERSION_INFO_WINDOWS_H
#define QEL_TESTS_VERSION_INFO_WINDOWS_H

#include <string>
#include <vector>

#include <windows.h>

/* The version block of the file (a path in the ANSI code page); empty when
 * it has none or cannot be read. */
std::vector<BYTE> version_info(const char *file);

/* The fixed part of a block, or null. */
const VS_FIXEDFILEINFO *version_fixed(const std::vector<BYTE> &block);

/* The string value name ("CompanyName", ...) of the block's first
 * translation, as UTF-8; "<none>" when it is missing. */
std::string version_string(const std::vector<BYTE> &block, const char *name);

#endif
