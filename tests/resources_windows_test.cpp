/* The resources of the Windows programs and of qelcore.dll, read back the
 * way Explorer and installers read them (GetFileVersionInfo, VerQueryValue)
 * and the way the loader finds a program's manifest (RT_MANIFEST, resource
 * 1). Runs in the build's top directory. The names are those the build was
 * configured with (QEL_COMPANY, QEL_PRODUCT_NAME, QEL_COPYRIGHT). */
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "version_info_windows.h"

namespace {

struct Program {
	const char *file;
	const char *description; /* after the product name */
	DWORD type;
};
const Program programs[] = {
    {"qelhostid.exe", "host ID printer", VFT_APP},
    {"qelkeypair.exe", "key pair generator", VFT_APP},
    {"qellicense.exe", "licence tool", VFT_APP},
    {"qelcore.dll", "node-locked licence library", VFT_DLL},
};

TEST(Resources, VersionInfoCarriesTheProjectVersion)
{
	for (const Program &p : programs) {
		SCOPED_TRACE(p.file);
		std::vector<BYTE> block = version_info(p.file);
		ASSERT_FALSE(block.empty()) << "no version resource, error " << GetLastError();

		const VS_FIXEDFILEINFO *fixed = version_fixed(block);
		ASSERT_NE(fixed, nullptr);
		EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
		EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(QEL_VERSION_MINOR, QEL_VERSION_MAJOR));
		EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, QEL_VERSION_PATCH));
		EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
		EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
		EXPECT_EQ(fixed->dwFileType, p.type);

		struct Value {
			const char *name;
			std::string text;
		} values[] = {
		    {"FileVersion", QEL_VERSION},
		    {"ProductVersion", QEL_VERSION},
		    {"ProductName", QEL_PRODUCT_NAME},
		    {"FileDescription", std::string(QEL_PRODUCT_NAME) + " " + p.description},
		    {"OriginalFilename", p.file},
		    {"CompanyName", QEL_COMPANY},
		    {"LegalCopyright", QEL_COPYRIGHT},
		};
		for (const Value &v : values)
			EXPECT_EQ(version_string(block, v.name), v.text) << v.name;
	}
}

TEST(Resources, ProgramManifestRunsAsInvokerOnWindows7To11)
{
	const char *const wanted[] = {
	    "level=\"asInvoker\"",
	    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", /* 7 */
	    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", /* 8 */
	    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", /* 8.1 */
	    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", /* 10 and 11 */
	};
	for (const Program &p : programs) {
		if (p.type != VFT_APP)
			continue;
		SCOPED_TRACE(p.file);
		HMODULE m = LoadLibraryExA(p.file, nullptr,
		                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
		ASSERT_NE(m, nullptr) << "error " << GetLastError();
		HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
		HGLOBAL g = r != nullptr ? LoadResource(m, r) : nullptr;
		const char *text = g != nullptr ? static_cast<const char *>(LockResource(g)) : nullptr;
		std::string manifest = text != nullptr ? std::string(text, SizeofResource(m, r)) : "";
		FreeLibrary(m);
		ASSERT_NE(manifest, "") << "no manifest";
		for (const char *w : wanted)
			EXPECT_NE(manifest.find(w), std::string::npos) << w;
		/* No UTF-8 process code page: the messages keep the ANSI one. */
		EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);
	}
}

} // namespace
