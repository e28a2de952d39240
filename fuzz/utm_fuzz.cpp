// GetUtm, MakeUnixTime and GetUtmStr against the C library's UTC
// conversions, which agree with them by definition: GetUtm(s) is
// gmtime_r(s) field for field, and MakeUnixTime normalises a record as
// timegm does and returns the same seconds (plus the zone offset) when they
// lie in 0 .. 2^31 - 1, -1 otherwise.  GetUtmStr is checked against
// snprintf for breakdowns and against its padding rule for any record.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "quorvel/runtime.h"
#include "fuzz_check.hpp"

namespace {

bool same_fields(const Utm &u, const struct tm &t) {
  return u.tm_sec == t.tm_sec && u.tm_min == t.tm_min && u.tm_hour == t.tm_hour &&
         u.tm_mday == t.tm_mday && u.tm_mon == t.tm_mon && u.tm_year == t.tm_year &&
         u.tm_wday == t.tm_wday && u.tm_yday == t.tm_yday;
}

// The breakdown of an instant, then the way back.
void check_instant(uint32_t seconds, int32_t zone_index) {
  Utm u;
  std::memset(&u, 0x5a, sizeof u);
  check(GetUtm(seconds, &u) == &u);
  const time_t t = seconds;
  struct tm expected;
  check(gmtime_r(&t, &expected) != nullptr);
  check(same_fields(u, expected) && u.tm_isdst == 0 && u.tm_gmtoff == 0);
  check(std::strcmp(u.tm_zone, zone_index == 0 ? "GMT" : "UTC") == 0);

  Utm again = u;
  const int32_t back = MakeUnixTime(&again);
  check(back == (seconds <= INT32_MAX ? static_cast<int32_t>(seconds) : -1));
  check(same_fields(again, expected));

  // Every field of a breakdown is in range, so the text is the plain one.
  char *text = static_cast<char *>(std::malloc(20));
  char model[64];
  std::snprintf(model, sizeof model, "%04d-%02d-%02d-%02d-%02d-%02d", u.tm_year + 1900,
                u.tm_mon + 1, u.tm_mday, u.tm_hour, u.tm_min, u.tm_sec);
  check(std::strlen(model) == 19 && GetUtmStr(&u, text) == text && std::strcmp(text, model) == 0);
  std::free(text);
}

// "-" for a negative value, then its digits zero-padded to the width.
std::string padded(int32_t value, size_t width) {
  const int64_t v = value;
  std::string digits = std::to_string(v < 0 ? -v : v);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return (v < 0 ? "-" : "") + digits;
}

// Any record's text, into the 72 bytes that hold the widest one.
void check_text(const Utm &u) {
  auto wrapped = [](int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
  };
  const std::string model = padded(wrapped(u.tm_year, 1900), 4) + '-' +
                            padded(wrapped(u.tm_mon, 1), 2) + '-' + padded(u.tm_mday, 2) + '-' +
                            padded(u.tm_hour, 2) + '-' + padded(u.tm_min, 2) + '-' +
                            padded(u.tm_sec, 2);
  char *text = static_cast<char *>(std::malloc(72));
  check(GetUtmStr(&u, text) == text && model == text);
  std::free(text);
}

// Any record: normalised in place as timegm normalises it.
void check_record(FuzzedDataProvider &in, int32_t offset) {
  Utm u;
  std::memset(&u, 0, sizeof u);
  // Mostly plausible fields, sometimes anything at all.
  const bool wild = in.ConsumeBool();
  auto field = [&](int32_t lo, int32_t hi) {
    return wild ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange<int32_t>(lo, hi);
  };
  u.tm_sec = field(-4000, 4000);
  u.tm_min = field(-4000, 4000);
  u.tm_hour = field(-400, 400);
  u.tm_mday = field(-2000, 2000);
  u.tm_mon = field(-100, 100);
  u.tm_year = field(-100, 300);
  u.tm_isdst = in.ConsumeIntegralInRange<int32_t>(-1, 1);  // read but without effect

  struct tm t;
  std::memset(&t, 0, sizeof t);
  t.tm_sec = u.tm_sec;
  t.tm_min = u.tm_min;
  t.tm_hour = u.tm_hour;
  t.tm_mday = u.tm_mday;
  t.tm_mon = u.tm_mon;
  t.tm_year = u.tm_year;
  t.tm_isdst = 0;
  const time_t base = timegm(&t);
  // glibc reports fields it cannot represent as -1, outside the range too.
  const bool base_fits = base >= 0 && base <= INT32_MAX;
  int64_t expected = -1;
  if (base_fits) {
    const int64_t shifted = int64_t{base} + offset;
    if (shifted >= 0 && shifted <= INT32_MAX) expected = shifted;
  }

  check_text(u);
  Utm record = u;
  const int32_t got = MakeUnixTime(&record);
  check(got == expected);
  if (base_fits) check(same_fields(record, t));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t zone_index = in.ConsumeIntegralInRange<int32_t>(-1, 2);
  // Half of the inputs run without an offset, the others with any.
  const int32_t offset = in.ConsumeBool() ? in.ConsumeIntegral<int32_t>() : 0;
  SetUtmZone(zone_index, offset);
  while (in.remaining_bytes() > 0) {
    if (in.ConsumeBool()) {
      SetUtmZone(zone_index, 0);
      check_instant(in.ConsumeIntegral<uint32_t>(), zone_index);
      SetUtmZone(zone_index, offset);
    } else {
      check_record(in, offset);
    }
  }
  return 0;
}
