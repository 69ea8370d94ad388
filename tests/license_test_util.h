/* Licences for the tests: the golden key pair as DER, a licence issued
 * with it, bodies signed apart from the issuing code, and a check with a
 * pinned date over the fake adapter list. */
#ifndef QEL_TESTS_LICENSE_TEST_UTIL_H
#define QEL_TESTS_LICENSE_TEST_UTIL_H

#include <string>
#include <vector>

#include "key_test_util.h"

/* The DER of the golden key pair (tests/data), through key_source_parse. */
const Bytes &golden_private_der();
const Bytes &golden_public_der();
/* Its key id: the first 16 digits of GOLDEN_KEY_HASH. */
std::string golden_key_id();

/* The addresses the fake adapter list shows in license tests, and a report
 * naming both, as qelhostid prints it. */
extern const char *const HERE_1;
extern const char *const HERE_2;
extern const std::string REPORT_HERE;
/* Makes the fake adapter list this machine's: HERE_1 and HERE_2. */
void adapters_here();

/* The vendor's members of the standard licence. */
extern const char *const STANDARD_MEMBERS[];

/* The standard licence: qel_license_issue of REPORT_HERE with
 * STANDARD_MEMBERS and the golden private key, made once per process
 * (dsa_verify_key takes a while) with the fake random source reset before
 * and after. */
const std::string &standard_licence();

/* body (lines from "{" through the last member before "key", LF ends)
 * with the golden key's "key" line, a signature made here with libtomcrypt
 * over it, and the closing brace: a licence signed without the issuing
 * code. key_id replaces the key id when it is not empty. */
std::string sign_body(const std::string &body, const std::string &key_id = "");

/* The lines of the standard licence before "key", for sign_body. */
std::string standard_body();

/* What a check answered. */
struct Verdict {
	int rc;
	std::string msg; /* "untouched" when the buffer was left alone */
};

/* license_open_at with the golden public key (or key), the names
 * "licence" and "key", and today pinned; the record is released. */
Verdict check_licence(const std::string &text, const std::string &today = "2026-12-07",
                      const Bytes *key = nullptr);

/* text with the first occurrence of from replaced by to (which must be
 * there). */
std::string replaced(const std::string &text, const std::string &from, const std::string &to);

#endif
