#include "test_util.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

TempDir::TempDir()
{
	std::random_device rd;
	for (int attempt = 0; attempt < 100; attempt++) {
		auto dir = std::filesystem::temp_directory_path() /
		           ("qeltest-" + std::to_string(rd()) + std::to_string(rd()));
		if (std::filesystem::create_directory(dir)) {
			path = dir.string();
			return;
		}
	}
	std::abort();
}

TempDir::~TempDir()
{
	std::error_code ec;
	std::filesystem::remove_all(path, ec);
}

ChangeDir::ChangeDir(const std::string &dir)
    : previous(std::filesystem::current_path().string())
{
	std::filesystem::current_path(dir);
}

ChangeDir::~ChangeDir()
{
	std::error_code ec;
	std::filesystem::current_path(previous, ec);
}

std::string
read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	if (!in)
		return "<missing>";
	std::ostringstream s;
	s << in.rdbuf();
	return s.str();
}

void
write_file(const std::string &path, const std::string &content)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out << content;
}

bool
path_exists(const std::string &path)
{
	std::error_code ec;
	return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}


std::string
crlf(const std::string &s)
{
	std::string out;
	for (char c : s) {
		if (c == '\n')
			out += '\r';
		out += c;
	}
	return out;
}

std::string
native_text(const std::string &s)
{
	std::string out;
	for (char c : s) {
		if (c == '\n')
			out += QEL_TEXT_LINE_END;
		else
			out += c;
	}
	return out;
}
