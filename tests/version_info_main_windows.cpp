/* qel_version_info FILE: prints the string values of FILE's version
 * resource, "Name: value" a line in UTF-8, as Windows reads them, and
 * FileType: app or dll. Exits 1 when FILE has no version resource. */
#include <cstdio>

#include "version_info_windows.h"

int
main(int argc, char **argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: qel_version_info FILE\n");
		return 1;
	}
	std::vector<BYTE> block = version_info(argv[1]);
	const VS_FIXEDFILEINFO *fixed = version_fixed(block);
	if (fixed == nullptr) {
		std::fprintf(stderr, "qel_version_info: %s: no version resource\n", argv[1]);
		return 1;
	}
	const char *type = fixed->dwFileType == VFT_APP   ? "app"
	                   : fixed->dwFileType == VFT_DLL ? "dll"
	                                                  : "other";
	std::printf("FileType: %s\n", type);
	for (const char *name : {"CompanyName", "FileDescription", "FileVersion", "InternalName",
	                         "LegalCopyright", "OriginalFilename", "ProductName",
	                         "ProductVersion"})
		std::printf("%s: %s\n", name, version_string(block, name).c_str());
	return std::fflush(stdout) == 0 ? 0 : 1;
}
