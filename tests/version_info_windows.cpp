#include "version_info_windows.h"

#include <cwchar>

namespace {

std::wstring
wide(const char *text, UINT code_page)
{
	int n = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
	std::wstring w(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
	if (n > 0)
		MultiByteToWideChar(code_page, 0, text, -1, w.data(), n);
	w.resize(w.size() - 1); /* the NUL */
	return w;
}

} // namespace

std::vector<BYTE>
version_info(const char *file)
{
	std::wstring path = wide(file, CP_ACP);
	DWORD handle = 0;
	DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
	std::vector<BYTE> block(size);
	if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
		block.clear();
	return block;
}

const VS_FIXEDFILEINFO *
version_fixed(const std::vector<BYTE> &block)
{
	void *fixed = nullptr;
	UINT len = 0;
	if (block.empty() || !VerQueryValueW(block.data(), L"\\", &fixed, &len) ||
	    len != sizeof(VS_FIXEDFILEINFO))
		return nullptr;
	return static_cast<const VS_FIXEDFILEINFO *>(fixed);
}

std::string
version_string(const std::vector<BYTE> &block, const char *name)
{
	struct Translation {
		WORD language, code_page;
	} *t = nullptr;
	UINT len = 0;
	if (block.empty() ||
	    !VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
	                    reinterpret_cast<void **>(&t), &len) ||
	    len < sizeof(*t))
		return "<none>";
	wchar_t path[96];
	std::swprintf(path, sizeof(path) / sizeof(path[0]), L"\\StringFileInfo\\%04x%04x\\%ls",
	              t->language, t->code_page, wide(name, CP_ACP).c_str());
	wchar_t *value = nullptr;
	if (!VerQueryValueW(block.data(), path, reinterpret_cast<void **>(&value), &len))
		return "<none>";
	int chars = static_cast<int>(len > 0 ? len - 1 : 0); /* len counts the NUL */
	int n = WideCharToMultiByte(CP_UTF8, 0, value, chars, nullptr, 0, nullptr, nullptr);
	std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
	if (n > 0)
		WideCharToMultiByte(CP_UTF8, 0, value, chars, text.data(), n, nullptr, nullptr);
	return text;
}
