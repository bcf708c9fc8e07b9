#include "toolkit/clock.h"

#include <clocale>

namespace {
std::function<std::tm()>& ClockHook() {
  static std::function<std::tm()> hook;
  return hook;
}
std::string& ShortDateFormat() {
  static std::string f = "%x";
  return f;
}
std::string& LongTimeFormat() {
  static std::string f = "%X";
  return f;
}

std::string FormatTime(const std::string& format, const std::tm& when) {
  char buffer[128];
  size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &when);
  return std::string(buffer, n);
}
}  // namespace

std::tm Now() {
  if (ClockHook()) return ClockHook()();
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

std::string ShortDateText(const std::tm& when) { return FormatTime(ShortDateFormat(), when); }
std::string LongTimeText(const std::tm& when) { return FormatTime(LongTimeFormat(), when); }

void UseUserLocale() { std::setlocale(LC_TIME, ""); }

void SetClockForTest(std::function<std::tm()> clock) { ClockHook() = std::move(clock); }

void SetLocaleFormatsForTest(std::string shortDateFormat, std::string longTimeFormat) {
  ShortDateFormat() = shortDateFormat.empty() ? "%x" : std::move(shortDateFormat);
  LongTimeFormat() = longTimeFormat.empty() ? "%X" : std::move(longTimeFormat);
}

std::tm MakeLocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  std::time_t stamp = std::mktime(&t);  // fills the weekday and year day
  std::tm out{};
  localtime_r(&stamp, &out);
  return out;
}
