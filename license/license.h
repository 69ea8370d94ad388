/* Issuing and checking licences: what the public functions of
 * qel/qelcore.h do, with the names used in messages and today's date given
 * by the caller (the program names its files; the tests pin the date). */
#ifndef QEL_LICENSE_LICENSE_H
#define QEL_LICENSE_LICENSE_H

#include <cstddef>

#include "core/error.h"
#include "license/license_text.h"

/* The names a check's messages use: the licence and the key. */
struct LicenseNames {
	const char *licence; /* "licence", "licence 'a.lic'" */
	const char *key;     /* "key", "key file 'qel_pubkey.c'" */
};

/* qel_license_open, with names for the messages and today's date (as
 * date_today writes it) to compare the expiry date with. */
[[nodiscard]] int license_open_at(const char *text, std::size_t length,
                                  const unsigned char *key, int keylen,
                                  const LicenseNames *names, const char *today,
                                  qel_license **out, char *msg);

/* The names an issue's messages use: the report and the key. */
struct IssueNames {
	const char *report; /* "report", "report 'qelhostid.txt'" */
	const char *key;    /* "key", "key file 'qel_privkey.c'" */
};

/* qel_license_issue, with names for the messages. */
[[nodiscard]] int license_issue_named(const char *report, std::size_t report_length,
                                      const char *const *members,
                                      const unsigned char *private_key, int keylen,
                                      const IssueNames *names, char **licence,
                                      std::size_t *licence_length, char *msg);

#endif
