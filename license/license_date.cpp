#include "license/license_date.h"

#include <ctime>

#include "core/error.h"

namespace {

bool
leap(int year)
{
	return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int
digits(const char *s, std::size_t n)
{
	int v = 0;
	for (std::size_t i = 0; i < n; i++) {
		if (s[i] < '0' || s[i] > '9')
			return -1;
		v = v * 10 + (s[i] - '0');
	}
	return v;
}

} // namespace

bool
date_valid(const char *s, std::size_t n)
{
	static constexpr int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
	if (n != DATE_LENGTH || s[4] != '-' || s[7] != '-')
		return false;
	int year = digits(s, 4), month = digits(s + 5, 2), day = digits(s + 8, 2);
	if (year < 1 || month < 1 || month > 12 || day < 1)
		return false;
	int last = month_days[month - 1] + (month == 2 && leap(year) ? 1 : 0);
	return day <= last;
}

void
date_from_days(int64_t days, char *out)
{
	/* Howard Hinnant's civil_from_days: the proleptic Gregorian calendar
	 * in eras of 400 years, each era starting on 1 March. */
	int64_t z = days + 719468;
	int64_t era = (z >= 0 ? z : z - 146096) / 146097;
	int64_t doe = z - era * 146097;
	int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
	int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
	int64_t mp = (5 * doy + 2) / 153;
	int64_t day = doy - (153 * mp + 2) / 5 + 1;
	int64_t month = mp < 10 ? mp + 3 : mp - 9;
	int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
	(void)str_format(out, DATE_SIZE, "%04lld-%02lld-%02lld", static_cast<long long>(year),
	                 static_cast<long long>(month), static_cast<long long>(day));
}

void
date_today(char *out)
{
	/* Seconds since 1970-01-01 00:00 UTC, leap seconds left out: whole
	 * days are 86400 seconds each, on Windows as on Linux. */
	auto now = static_cast<int64_t>(std::time(nullptr));
	int64_t days = now / 86400 - (now % 86400 < 0 ? 1 : 0);
	date_from_days(days, out);
}
