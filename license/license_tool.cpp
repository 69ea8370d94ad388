#include "license/license_tool.h"

#include <cstdio>

#include "core/file.h"
#include "keys/key_source.h"
#include "license/license.h"
#include "license/license_date.h"
#include "license/report_reader.h"

namespace {

int
refuse_existing(const char *path, char *msg)
{
	error_set(msg, "file '%s' already exists, delete to issue a new licence", path);
	return QEL_ERR_IO;
}

/* Writes text to a new file at path, whole or not at all. */
int
write_new_file(const char *path, const char *text, std::size_t length, char *msg)
{
	char temp[FILE_TEMP_NAME_SIZE];
	int rc = QEL_OK;
	bool moved = false;

	std::FILE *f = file_create_temp(path, temp, msg);
	if (f == nullptr)
		rc = QEL_ERR_IO;
	if (rc == QEL_OK)
		rc = file_printf(f, msg, "%.*s", static_cast<int>(length), text);
	if (rc == QEL_OK)
		rc = file_sync(f, msg);
	if (rc == QEL_OK)
		rc = file_close(f, msg);
	else
		(void)file_close(f, nullptr);
	if (rc == QEL_OK) {
		bool exists = false;
		rc = file_move_new(temp, path, &exists, msg);
		moved = rc == QEL_OK;
		if (exists)
			rc = refuse_existing(path, msg);
	}
	if (f != nullptr && !moved)
		file_remove(temp);
	return rc;
}

} // namespace

int
license_issue_files(const IssueFiles *f, char *msg)
{
	unsigned char *der = nullptr;
	uint32_t der_len = 0;
	char *report = nullptr;
	std::size_t report_length = 0;
	char *licence = nullptr;
	std::size_t licence_length = 0;

	bool exists = false;
	int rc = file_exists(&exists, f->out, msg);
	if (rc == QEL_OK && exists)
		rc = refuse_existing(f->out, msg);
	if (rc == QEL_OK)
		rc = key_source_read(f->key, true, &der, &der_len, msg);
	if (rc == QEL_OK)
		rc = file_read_all(f->report, REPORT_MAX_SIZE, &report, &report_length, msg);
	if (rc == QEL_OK) {
		char report_name[QEL_MSG_SIZE];
		char key_name[QEL_MSG_SIZE];
		(void)str_format(report_name, sizeof report_name, "report '%s'", f->report);
		(void)str_format(key_name, sizeof key_name, "key file '%s'", f->key);
		const IssueNames names{report_name, key_name};
		rc = license_issue_named(report, report_length, f->members, der,
		                         static_cast<int>(der_len), &names, &licence,
		                         &licence_length, msg);
	}
	if (rc == QEL_OK)
		rc = write_new_file(f->out, licence, licence_length, msg);
	if (rc == QEL_OK)
		rc = file_printf(stdout, msg, "licence '%s' was written\n", f->out);
	if (rc == QEL_OK)
		rc = file_flush(stdout, msg);

	qel_license_text_free(licence);
	mem_free(report);
	if (der != nullptr)
		mem_wipe(der, der_len);
	mem_free(der);
	return rc;
}

int
license_check_files(const char *key, const char *path, char *msg)
{
	unsigned char *der = nullptr;
	uint32_t der_len = 0;
	char *text = nullptr;
	std::size_t length = 0;
	qel_license *lic = nullptr;

	int rc = key_source_read(key, false, &der, &der_len, msg);
	if (rc == QEL_OK)
		rc = file_read_all(path, QEL_LICENSE_MAX_SIZE, &text, &length, msg);
	if (rc == QEL_OK) {
		char licence_name[QEL_MSG_SIZE];
		char key_name[QEL_MSG_SIZE];
		(void)str_format(licence_name, sizeof licence_name, "licence '%s'", path);
		(void)str_format(key_name, sizeof key_name, "key file '%s'", key);
		const LicenseNames names{licence_name, key_name};
		char today[DATE_SIZE];
		date_today(today);
		rc = license_open_at(text, length, der, static_cast<int>(der_len), &names, today,
		                     &lic, msg);
	}
	if (rc == QEL_OK)
		rc = file_printf(stdout, msg, "licence '%s' is valid on this machine\n", path);
	for (std::size_t i = 0; rc == QEL_OK && lic != nullptr && i < lic->count; i++) {
		const LicenseMember &m = lic->members[i];
		if (m.value != nullptr) {
			rc = file_printf(stdout, msg, "%s: %s\n", m.name, m.value);
			continue;
		}
		rc = file_printf(stdout, msg, "%s: ", m.name);
		for (std::size_t j = 0; rc == QEL_OK && lic->hostids[j] != nullptr; j++)
			rc = file_printf(stdout, msg, j == 0 ? "%s" : ", %s", lic->hostids[j]);
		if (rc == QEL_OK)
			rc = file_printf(stdout, msg, "\n");
	}
	if (rc == QEL_OK)
		rc = file_flush(stdout, msg);

	qel_license_free(lic);
	mem_free(text);
	mem_free(der);
	return rc;
}
