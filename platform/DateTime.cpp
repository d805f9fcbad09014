#include "platform/DateTime.h"

#include <time.h>

#include <cmath>

namespace platform {
namespace {

// Days of 9999-12-31 counted from 0001-01-01 as day 1.
constexpr std::int64_t LastDay = 3652059;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

// 1970-01-01 counted from 0001-01-01 as day 1.
constexpr std::int64_t UnixDay = 719163;

struct TimeStamp {
  std::int64_t Date;  // days, 0001-01-01 being 1
  std::int32_t Time;  // milliseconds of the day
};

// The day counts toward zero from 1899-12-30; the time is the fraction's
// absolute value, rounded to the millisecond (ties to even).
TimeStamp ToTimeStamp(TDateTime value) {
  if (!(value > MinDateTime - 1 && value < MaxDateTime + 1))
    throw EConvertError("Invalid date-time value");
  const auto ms = static_cast<std::int64_t>(std::nearbyint(static_cast<long double>(value) * MSecsPerDay));
  TimeStamp t{DateDelta + ms / MSecsPerDay, static_cast<std::int32_t>((ms < 0 ? -ms : ms) % MSecsPerDay)};
  if (t.Date < 1 || t.Date > LastDay) throw EConvertError("Invalid date-time value");
  return t;
}

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& date) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  std::int64_t n = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + UnixDay;
  date = static_cast<TDateTime>(n - DateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  time = static_cast<TDateTime>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  return date < 0 ? date - time : date + time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  CivilFromDays(ToTimeStamp(value).Date - UnixDay, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  std::int32_t t = ToTimeStamp(value).Time;
  msec = t % 1000;
  t /= 1000;
  sec = t % 60;
  t /= 60;
  min = t % 60;
  hour = t / 60;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, min, sec, msec);
}

int DayOfWeek(TDateTime value) { return static_cast<int>(ToTimeStamp(value).Date % 7) + 1; }

TDateTime DateOf(TDateTime value) { return std::trunc(value); }

TDateTime TimeOf(TDateTime value) { return std::fabs(value - std::trunc(value)); }

TDateTime Now() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  struct tm local;
  localtime_r(&ts.tv_sec, &local);
  TDateTime date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  int sec = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  return ComposeDateTime(date, EncodeTime(local.tm_hour, local.tm_min, sec,
                                          static_cast<int>(ts.tv_nsec / 1000000)));
}

TDateTime Date() { return DateOf(Now()); }

}  // namespace platform
