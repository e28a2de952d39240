// quorvel time: a moment broken down in UTC and in local standard time by
// the library's own calendar arithmetic.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli.hpp"
#include "commands.hpp"

namespace qcli {

namespace {

const char kHelp[] =
    "Usage: quorvel time [SECONDS]\n"
    "Break SECONDS since 1970-01-01 00:00:00 UTC (0 to 4294967295; now when\n"
    "absent) down with the library's calendar arithmetic, independent of the C\n"
    "library's zone state:\n"
    "\n"
    "  seconds SECONDS\n"
    "  utc YYYY-MM-DD-hh-mm-ss WEEKDAY DAY-OF-YEAR ZONE\n"
    "  local YYYY-MM-DD-hh-mm-ss WEEKDAY DAY-OF-YEAR\n"
    "\n"
    "WEEKDAY is its English name, DAY-OF-YEAR counts from 1.  The local line uses\n"
    "the zone's whole-hour standard offset, without daylight saving time (UTC+5:30\n"
    "counts as +5).\n";

const char *const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

void show(const char *label, const Utm &tm, bool zone) {
  char text[72];
  GetUtmStr(&tm, text);
  const char *day = tm.tm_wday >= 0 && tm.tm_wday < 7 ? kWeekdays[tm.tm_wday] : "?";
  print("%s %s %s %d%s%s\n", label, text, day, tm.tm_yday + 1, zone ? " " : "",
        zone && tm.tm_zone != nullptr ? tm.tm_zone : "");
}

}  // namespace

int run_time(int argc, char **argv) {
  int operands = 0;
  const Parsed parsed = parse(argc, argv, nullptr, 0, &operands);
  if (parsed != Parsed::kRun) return parsed == Parsed::kHelp ? help(kHelp) : kUsage;
  if (operands > 1) return usage("one SECONDS at most");
  uint32_t seconds = 0;
  if (operands == 1) {
    const char *t = argv[1];
    errno = 0;
    const unsigned long long v = std::strtoull(t, nullptr, 10);
    if (t[0] == '\0' || std::strspn(t, "0123456789") != std::strlen(t) || errno != 0 ||
        v > 0xffffffffull)
      return usage("invalid SECONDS '%s' (0 to 4294967295)", t);
    seconds = static_cast<uint32_t>(v);
  } else {
    int64_t now = 0;
    GetCurrentMTime(&now, nullptr);
    seconds = static_cast<uint32_t>(now);
  }
  Utm utc, local;
  GetUtm(seconds, &utc);
  GetLocalUtm(seconds, &local);
  print("seconds %u\n", seconds);
  show("utc", utc, true);
  show("local", local, false);
  return print("%s", "") ? kOk : kFailed;
}

}  // namespace qcli
