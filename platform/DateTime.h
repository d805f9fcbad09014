#pragma once
// Date-time values as days since 1899-12-30 (the fraction is the time of day),
// with encoding and decoding. Before 1899-12-30 the integer part is the day
// (counted toward zero) and the fraction's absolute value is still the time:
// -1.25 is 1899-12-29 06:00.
#include <cstdint>

#include "platform/ConvertError.h"

namespace platform {

using TDateTime = double;

inline constexpr TDateTime MinDateTime = -693593.0;          // 0001-01-01
inline constexpr TDateTime MaxDateTime = 2958465.99999999;   // 9999-12-31 23:59:59.999
inline constexpr std::int32_t MSecsPerDay = 86400000;
// Days from 0001-01-01 (day 1) to 1899-12-30.
inline constexpr std::int32_t DateDelta = 693594;

bool IsLeapYear(int year);
// 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

bool TryEncodeDate(int year, int month, int day, TDateTime& date);
// Throws EConvertError for a date outside 0001-01-01..9999-12-31.
TDateTime EncodeDate(int year, int month, int day);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& time);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
// A date and a time of day (0 <= time < 1) as one value, on either side of 1899-12-30.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);

// Year, month, day of the value's date (the time rounded to milliseconds may
// carry into the next day). Throw EConvertError for a value outside
// MinDateTime..MaxDateTime (and for NaN or infinity).
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec);

// 1 for Sunday to 7 for Saturday.
int DayOfWeek(TDateTime value);
// The date part (toward zero) and the time part (0 <= time < 1) of a value.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// The local date and time now; Date is today at midnight.
TDateTime Now();
TDateTime Date();

}  // namespace platform
