// The INI parser: texts against the handler calls and result they give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorvel/runtime.h"

namespace {

// Records every call as "section|name|value|line"; a value of "reject"
// is refused and a value of "stop" ends the parse.
int32_t record(void *user, const char *section, const char *name, const char *value,
               int32_t lineno) {
  auto *calls = static_cast<std::vector<std::string> *>(user);
  calls->push_back(std::string(section) + "|" + name + "|" + value + "|" + std::to_string(lineno));
  std::string v = value;
  return v == "reject" ? 0 : v == "stop" ? 100 : 1;
}

struct Case {
  std::string text;
  std::vector<std::string> calls;
  int32_t result;
};

TEST(Ini, ParsesTextsIntoHandlerCalls) {
  const std::string s60(60, 'S'), n60(60, 'N'), long_value(1198, 'x');
  const std::vector<Case> cases = {
      {"", {}, 0},
      {"[sec]\nname = value\n", {"sec|name|value|2"}, 0},
      {"other: val ;c\nk=1;x\nk2 = a;b ; c\nk3 =;v\n",
       {"|other|val|1", "|k|1;x|2", "|k2|a;b|3", "|k3|;v|4"},
       0},
      {"; c\n# c\n  ; c\n\n\r\nk=v\n", {"|k|v|6"}, 0},
      {"k=v\n  a = b\n  [x]\n  ;c\n[s]\n  p=q\n  r\n",
       {"|k|v|1", "|k|a = b|2", "|k|[x]|3", "s|p|q|6", "s|p|r|7"},
       0},
      {"k=v \r\nj = w\r\n  \r\n", {"|k|v |1", "|j|w|2", "|j||3"}, 0},
      {"  \r\nk=v\n", {"|k|v|2"}, 1},
      {"k = v\v\f\n", {"|k|v\v\f|1"}, 0},
      {"\xEF\xBB\xBF"
       "a=1\n\xEF\xBB\xBF"
       "b=2\n",
       {"|a|1|1",
        "|\xEF\xBB\xBF"
        "b|2|2"},
       0},
      {"[" + s60 + "]\n" + n60 + "=v\n  c\n",
       {s60.substr(0, 49) + "|" + n60 + "|v|2",
        s60.substr(0, 49) + "|" + n60.substr(0, 49) + "|c|3"},
       0},
      {"=x\n", {"||x|1"}, 0},
      {"k=\nj = ;c\n", {"|k||1", "|j||2"}, 0},
      {"x=1\n[a ;b]\nk=v\n", {"|x|1|1", "|k|v|3"}, 2},
      {"[c\n", {}, 1},
      {"plain\n", {}, 1},
      {"a ;=b\n", {}, 1},
      {"k=v\n[s]\n  \r\n", {"|k|v|1"}, 3},
      {"a=1\nb=reject\nc=3\n", {"|a|1|1", "|b|reject|2", "|c|3|3"}, 2},
      {"a=1\nb=stop\nc=3\n", {"|a|1|1", "|b|stop|2"}, 0},
      {"bad\na=stop\nb\n", {"|a|stop|2"}, 1},
      {" \t \nk=v\n\t\nj=w\n", {"|k|v|2", "|j|w|4"}, 0},  // blank lines, not continuations
      {"k=" + long_value + "\nn=v\n", {"|k|" + long_value.substr(0, 997) + "|1", "|n|v|3"}, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    std::vector<std::string> calls;
    EXPECT_EQ(ini_parse_string(c.text.c_str(), record, &calls), c.result);
    EXPECT_EQ(calls, c.calls);
  }
  std::vector<std::string> calls;
  const auto never = [](char *, int32_t, void *) -> char * {
    ADD_FAILURE() << "read without a handler";
    return nullptr;
  };
  EXPECT_EQ(ini_parse_string(nullptr, record, &calls), 0);
  EXPECT_EQ(ini_parse_string("a=b\n", nullptr, &calls), 0);
  EXPECT_EQ(ini_parse_stream(nullptr, nullptr, record, &calls), 0);
  EXPECT_EQ(ini_parse_stream(never, nullptr, nullptr, &calls), 0);
  EXPECT_TRUE(calls.empty());
}

// A model of the line counting: random lines of every kind, each with the
// line number a pair on it must carry (a line of 999 characters or more is
// read in pieces that count as lines of their own) and the first bad line.
TEST(Ini, CountsLinesAsTheModelDoes) {
  uint32_t seed = 7;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 6; };
  for (int round = 0; round < 200; ++round) {
    std::string text;
    std::vector<std::string> want;
    int32_t line = 0, first_bad = 0;
    for (int i = 0; i < 12; ++i) {
      ++line;
      switch (next()) {
        case 0:
          text += "; comment\n";
          break;
        case 1:
          text += "\r\n";
          break;
        case 2:
          text += "[s]\n";
          break;
        case 3:
          text += "bad\n", first_bad = first_bad ? first_bad : line;
          break;
        case 4:
          text += "k" + std::to_string(i) + "=" + std::string(1200, 'v') + "\n";
          want.push_back(std::to_string(line++));  // the rest is a second, bad line
          first_bad = first_bad ? first_bad : line;
          break;
        default:
          text += "k" + std::to_string(i) + " = v\n", want.push_back(std::to_string(line));
      }
    }
    std::vector<std::string> calls;
    EXPECT_EQ(ini_parse_string(text.c_str(), record, &calls), first_bad) << text;
    for (std::string &c : calls) c = c.substr(c.rfind('|') + 1);
    EXPECT_EQ(calls, want) << text;
  }
}

}  // namespace
