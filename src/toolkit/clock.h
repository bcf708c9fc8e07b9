#pragma once
// Wall-clock time and the user's locale formats for dates and times.
// The program shows dates in the locale's short date format (strftime %x) and
// times in its long time format (%X) of LC_TIME. Tests pin both the clock and
// the formats so that log lines and file names are exact.

#include <ctime>
#include <functional>
#include <string>

// Local time now, or the pinned time.
std::tm Now();
// `when` in the short date format ("2026-12-08", "08/12/2026", ...).
std::string ShortDateText(const std::tm& when);
// `when` in the long time format ("14:03:22").
std::string LongTimeText(const std::tm& when);

// Takes LC_TIME from the environment; the program calls it once at start.
void UseUserLocale();

// Test seams. An empty function restores the real clock; empty formats restore %x / %X.
void SetClockForTest(std::function<std::tm()> clock);
void SetLocaleFormatsForTest(std::string shortDateFormat, std::string longTimeFormat);
// A local time from its parts, for tests and tools.
std::tm MakeLocalTime(int year, int month, int day, int hour, int minute, int second);
