/* The real platform edge, without fakes: the system's adapter list with its
 * overflow answer and error texts, the operating system's random source,
 * and the allocator. Built for each platform against that platform's
 * sources. */
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/error.h"
#include "hostid/adapter_source.h"
#include "hostid/hostid.h"
#include "hostid/report.h"
#include "keys/random_source.h"

namespace {

TEST(AdapterSource, AsksForMoreWhenTheBufferIsTooSmall)
{
	/* A buffer too small for any list draws the overflow answer together
	 * with the size that will do. */
	std::vector<unsigned char> small(8);
	uint32_t size = static_cast<uint32_t>(small.size());
	ASSERT_EQ(adapter_source_fill(small.data(), &size), ADAPTER_BUFFER_OVERFLOW);
	ASSERT_GT(size, small.size());

	std::vector<unsigned char> buffer(size);
	ASSERT_EQ(adapter_source_fill(buffer.data(), &size), 0u);
	int n = 0;
	for (const void *r = adapter_source_first(buffer.data()); r != nullptr;
	     r = adapter_source_next(r)) {
		AdapterInfo a;
		adapter_source_read(r, &a);
		EXPECT_LE(a.address_length, 8u);
		/* Loopback carries no hardware address on any platform. */
		if (a.if_type == IF_TYPE_SOFTWARE_LOOPBACK) {
			EXPECT_EQ(a.address_length, 0u);
		}
		n++;
	}
	EXPECT_GT(n, 0) << "not even a loopback adapter";
}

TEST(AdapterSource, ErrorTextsComeFromTheSystem)
{
	/* Error 111 is ERROR_BUFFER_OVERFLOW on Windows, with the system's
	 * words for it; on Linux it is the source's own overflow answer, which
	 * must not be read as ECONNREFUSED, the errno value of that number. */
	char *text = adapter_source_error_text(ADAPTER_BUFFER_OVERFLOW);
	ASSERT_NE(text, nullptr);
	EXPECT_STREQ(text, QEL_EXPECTED_TEXT_111);
	adapter_source_free_text(text);
	adapter_source_free_text(nullptr);
}

TEST(HostIdList, TheRealListIsWellFormed)
{
	char msg[QEL_MSG_SIZE] = "";
	char **list = nullptr;
	int rc = hostid_list_get_sorted(&list, msg);
	if (rc == QEL_ERR_NETWORK)
		GTEST_SKIP() << "no qualifying adapter here: " << msg;
	ASSERT_EQ(rc, QEL_OK) << msg;
	for (std::size_t i = 0; list[i] != nullptr; i++) {
		EXPECT_EQ(std::strlen(list[i]), 17u);
		if (i > 0) {
			EXPECT_LT(std::strcmp(list[i - 1], list[i]), 0);
		}
	}
	hostid_list_free(list);
}

TEST(RandomSource, DeliversExactlyTheCountAsked)
{
	for (unsigned long len : {1ul, 20ul, 256ul, 257ul, 4096ul, 100000ul}) {
		std::vector<unsigned char> a(len + 1, 0), b(len + 1, 0);
		ASSERT_EQ(random_source_read(a.data(), len), len);
		ASSERT_EQ(random_source_read(b.data(), len), len);
		EXPECT_EQ(a[len], 0) << "wrote past the end";
		if (len >= 20) {
			EXPECT_NE(a, b) << "two reads of " << len << " bytes agree";
		}
	}
}

TEST(Allocator, ZeroFillsEveryBlockAndRefusesAnOverflowingProduct)
{
	/* A block freed full of bytes is likely handed out again at once: the
	 * zeros must come from the allocation, not from a fresh heap. */
	const std::size_t sizes[] = {24, 300, 5000};
	for (std::size_t size : sizes) {
		for (int round = 0; round < 2; round++) {
			auto *p = static_cast<unsigned char *>(mem_calloc(size, 1));
			ASSERT_NE(p, nullptr);
			for (std::size_t i = 0; i < size; i++)
				ASSERT_EQ(p[i], 0) << "byte " << i << " of " << size;
			std::memset(p, 0xA5, size);
			mem_free(p);
		}
	}
	mem_free(nullptr);
	EXPECT_EQ(mem_calloc(SIZE_MAX / 2, 3), nullptr);
	EXPECT_EQ(mem_calloc(SIZE_MAX, SIZE_MAX), nullptr);
	EXPECT_EQ(mem_calloc(3, SIZE_MAX / 2), nullptr);
}

} // namespace
