/* Key source files read back: what the writer wrote, with either line end,
 * of the kind asked for; anything else refused with the line at fault. */
#include <string>

#include <gtest/gtest.h>

#include "key_test_util.h"
#include "keys/key_import.h"
#include "keys/key_source.h"
#include "license_test_util.h"
#include "test_util.h"

namespace {

struct Parsed {
	int rc;
	std::string msg;
	bool is_private;
	Bytes der;
};

Parsed
parse(const std::string &text)
{
	char msg[QEL_MSG_SIZE] = "untouched";
	bool is_private = false;
	unsigned char *der = nullptr;
	uint32_t len = 0;
	int rc = key_source_parse(text.data(), text.size(), "key file 'k.c'", &is_private, &der,
	                          &len, msg);
	Parsed p{rc, msg, is_private, der != nullptr ? Bytes(der, der + len) : Bytes{}};
	if (rc != QEL_OK) {
		EXPECT_EQ(der, nullptr);
	}
	mem_free(der);
	return p;
}

TEST(KeySourceReader, ReadsWhatTheWriterWrote)
{
	const std::string pub = golden_file("golden_pubkey.c");
	const std::string priv = golden_file("golden_privkey.c");
	for (const std::string &t : {pub, crlf(pub)}) {
		Parsed p = parse(t);
		ASSERT_EQ(p.rc, QEL_OK) << p.msg;
		EXPECT_FALSE(p.is_private);
		EXPECT_EQ(p.der, key_source_values(pub));
	}
	Parsed p = parse(crlf(priv));
	ASSERT_EQ(p.rc, QEL_OK) << p.msg;
	EXPECT_TRUE(p.is_private);
	EXPECT_EQ(p.der, key_source_values(priv));

	/* Any bytes at all, every length around the line breaks. */
	TempDir dir;
	for (std::size_t n : {1u, 14u, 15u, 16u, 29u, 30u, 31u, 256u}) {
		Bytes b = byte_steps(n, 37);
		std::string path = dir / ("k" + std::to_string(n) + ".c");
		ASSERT_EQ(write_key_source(b.data(), static_cast<uint32_t>(n), "qel", "private_key",
		                           path.c_str(), true, nullptr),
		          QEL_OK);
		std::string text = read_file(path);
		p = parse(text);
		EXPECT_EQ(p.rc, QEL_OK) << n << ": " << p.msg;
		EXPECT_EQ(p.der, b) << n;
	}
}

TEST(KeySourceReader, RefusesAnythingElseWithItsLine)
{
	const std::string g = golden_file("golden_pubkey.c");
	auto at = [](int line, const std::string &why) {
		return "key file 'k.c': line " + std::to_string(line) + ": " + why;
	};
	const std::string not_key = "not a key file of qelkeypair";
	const std::string not_array = "not the key array of qelkeypair";
	const std::string not_values = "not a line of key values as qelkeypair writes them";
	const std::string not_end = "not the end of the key function of qelkeypair";
	std::string lines = g.substr(0, g.find("   ") - 1);
	struct Case {
		std::string text;
		std::string msg;
	} cases[] = {
	    {"", at(1, not_key)},
	    {"\xef\xbb\xbf" + g, at(1, not_key)},
	    {replaced(g, "public_key", "secret_key"), at(1, not_key)},
	    {replaced(g, "(int *keylen)", "(int* keylen)"), at(1, not_key)},
	    {replaced(g, "\n{\n", "\n{ \n"), at(2, not_array)},
	    {replaced(g, "qel_keyarray[]", "my_keyarray[]"), at(3, not_array)},
	    {lines + "\n };\n  *keylen = sizeof (qel_keyarray);\n  return qel_keyarray;\n}\n",
	     at(4, not_values)},
	    {replaced(g, "     48,", "    048,"), at(4, not_values)},
	    {replaced(g, "     48,", "    256,"), at(4, not_values)},
	    {replaced(g, "     48,", "     48 ,"), at(4, not_values)},
	    {replaced(g, "     48, 130,", "     48,"), at(4, not_values)},
	    {replaced(g, "     48,", "\t 48,"), at(4, not_values)},
	    {replaced(g, " };\n", ", };\n"), at(58, not_values)},
	    {replaced(g, " };\n", "\n };\n"), at(58, not_values)},
	    {replaced(g, "  *keylen", "  * keylen"), at(59, not_end)},
	    {replaced(g, "  return qel_keyarray;\n}\n", "  return qel_keyarray;\n}"), at(61, not_end)},
	    {replaced(g, "  return qel_keyarray;\n}\n", "  return qel_keyarray;\n}\r"), at(61, not_end)},
	    {g + "\n", at(62, "text after the key function")},
	    {g + "// end\n", at(62, "text after the key function")},
	    {std::string(KEY_SOURCE_MAX_SIZE + 1, ' '), "key file 'k.c' is longer than 65536 bytes"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.msg);
		Parsed p = parse(c.text);
		EXPECT_EQ(p.rc, QEL_ERR_KEY);
		EXPECT_EQ(p.msg, c.msg);
	}
}

/* qelkeypair's keys, in and out again: the kind, the size, the exact
 * bytes, and for a private key the DSA check. */
TEST(KeyImport, TakesOnlyQelkeypairsKeys)
{
	const Bytes pub = key_source_values(golden_file("golden_pubkey.c"));
	const Bytes priv = key_source_values(golden_file("golden_privkey.c"));
	Bytes longer = pub;
	longer.push_back(0);
	Bytes x_changed = priv;
	x_changed.back() ^= 1;
	/* A public key's numbers are not worked out: a changed y reads. */
	Bytes y_changed = pub;
	Bytes private_flag = pub;
	ASSERT_GT(pub.size(), 8u);
	y_changed[pub.size() - 1] ^= 1;
	private_flag[7] = 0x80;
	struct Case {
		const char *name;
		const Bytes *der;
		bool want_private;
		int rc;
		std::string msg;
	} cases[] = {
	    {"public", &pub, false, QEL_OK, "untouched"},
	    {"private", &priv, true, QEL_OK, "untouched"},
	    {"public for private", &pub, true, QEL_ERR_KEY, "k is a public key, not the private key"},
	    {"private for public", &priv, false, QEL_ERR_KEY, "k is the private key, not a public key"},
	    {"a byte after it", &longer, false, QEL_ERR_KEY, "k is not a DSA key made by qelkeypair"},
	    {"x changed", &x_changed, true, QEL_ERR_KEY, "k is not a DSA key made by qelkeypair"},
	    {"y changed", &y_changed, false, QEL_OK, "untouched"},
	    {"public numbers, private flag", &private_flag, false, QEL_ERR_KEY,
	     "k is not a DSA key made by qelkeypair"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		char msg[QEL_MSG_SIZE] = "untouched";
		dsa_key key;
		int rc = key_import(c.der->data(), static_cast<uint32_t>(c.der->size()),
		                    c.want_private, "k", &key, msg);
		EXPECT_EQ(rc, c.rc);
		EXPECT_EQ(std::string(msg), c.msg);
		if (rc == QEL_OK) {
			char id[KEY_ID_SIZE];
			EXPECT_EQ(key_id_of(&key, "k", id, msg), QEL_OK);
			char public_id[KEY_ID_SIZE];
			key_id_of_public(c.der->data(), static_cast<uint32_t>(c.der->size()), public_id);
			if (c.der != &y_changed) {
				EXPECT_EQ(std::string(id), std::string(GOLDEN_KEY_HASH).substr(0, 16));
			}
			if (!c.want_private) {
				EXPECT_STREQ(id, public_id);
			}
			EXPECT_EQ(key.type, c.want_private ? PK_PRIVATE : PK_PUBLIC);
			EXPECT_EQ(key.qord, 30);
			dsa_free(&key);
		}
	}
}

} // namespace
