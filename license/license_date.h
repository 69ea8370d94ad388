/* Calendar dates as licences write them: "YYYY-MM-DD", Gregorian, UTC. */
#ifndef QEL_LICENSE_LICENSE_DATE_H
#define QEL_LICENSE_LICENSE_DATE_H

#include <cstddef>
#include <cstdint>

/* Characters of a date, and the size of its text with the NUL. */
constexpr std::size_t DATE_LENGTH = 10;
constexpr std::size_t DATE_SIZE = DATE_LENGTH + 1;

/* Whether the n bytes at s are a date: four digits of a year from 0001,
 * '-', a month 01 to 12, '-', a day that month has (29 February in leap
 * years only). Dates written so compare as strings as they do in time. */
[[nodiscard]] bool date_valid(const char *s, std::size_t n);

/* Writes to out (DATE_SIZE bytes) the date of the day that starts days
 * whole days after 1970-01-01 (negative: before it). */
void date_from_days(int64_t days, char *out);

/* Writes to out (DATE_SIZE bytes) today's date in UTC, by the system
 * clock. */
void date_today(char *out);

#endif
