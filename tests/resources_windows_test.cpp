/* The resources of the Windows programs, read back the way Explorer and
 * installers read them (GetFileVersionInfo, VerQueryValue) and the way the
 * loader finds the manifest (RT_MANIFEST, resource 1). Runs in the
 * programs' directory. */
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct Program {
	const char *file;
	const char *description;
};
const Program programs[] = {
    {"qelhostid.exe", "qelcore host ID printer"},
    {"qelkeypair.exe", "qelcore key pair generator"},
    {"qellicense.exe", "qelcore licence tool"},
};

/* The version block of a file, empty when it has none. */
std::vector<BYTE>
version_info(const char *file)
{
	DWORD handle = 0;
	DWORD size = GetFileVersionInfoSizeA(file, &handle);
	std::vector<BYTE> block(size);
	if (size == 0 || !GetFileVersionInfoA(file, 0, size, block.data()))
		block.clear();
	return block;
}

/* A value of the block's first translation, "<none>" when missing. */
std::string
string_value(const std::vector<BYTE> &block, const char *name)
{
	struct Translation {
		WORD language, code_page;
	} *t = nullptr;
	UINT len = 0;
	if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
	                    reinterpret_cast<void **>(&t), &len) ||
	    len < sizeof(*t))
		return "<none>";
	char path[64];
	std::snprintf(path, sizeof(path), "\\StringFileInfo\\%04x%04x\\%s", t->language,
	              t->code_page, name);
	char *value = nullptr;
	if (!VerQueryValueA(block.data(), path, reinterpret_cast<void **>(&value), &len))
		return "<none>";
	return std::string(value, len > 0 ? len - 1 : 0); /* len counts the NUL */
}

TEST(Resources, VersionInfoCarriesTheProjectVersion)
{
	for (const Program &p : programs) {
		SCOPED_TRACE(p.file);
		std::vector<BYTE> block = version_info(p.file);
		ASSERT_FALSE(block.empty()) << "no version resource, error " << GetLastError();

		VS_FIXEDFILEINFO *fixed = nullptr;
		UINT len = 0;
		ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &len));
		ASSERT_EQ(len, sizeof(VS_FIXEDFILEINFO));
		EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
		EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(QEL_VERSION_MINOR, QEL_VERSION_MAJOR));
		EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, QEL_VERSION_PATCH));
		EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
		EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
		EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

		struct Value {
			const char *name;
			std::string text;
		} values[] = {
		    {"FileVersion", QEL_VERSION},
		    {"ProductVersion", QEL_VERSION},
		    {"ProductName", "qelcore"},
		    {"FileDescription", p.description},
		    {"OriginalFilename", p.file},
		    {"CompanyName", "qelcore"},
		    {"LegalCopyright", "Copyright (C) 2026 qelcore developers"},
		};
		for (const Value &v : values)
			EXPECT_EQ(string_value(block, v.name), v.text) << v.name;
	}
}

TEST(Resources, ManifestRunsAsInvokerOnWindows7To11)
{
	const char *const wanted[] = {
	    "level=\"asInvoker\"",
	    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", /* 7 */
	    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", /* 8 */
	    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", /* 8.1 */
	    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", /* 10 and 11 */
	};
	for (const Program &p : programs) {
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
