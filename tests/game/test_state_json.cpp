// The game's state as JSON, read back with the small reader the end-to-end
// test compares runs with; and that reader on broken input.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "game_fixture.h"
#include "json_lite.h"

namespace game_test {
namespace {

std::string state_text() {
  char* buf = nullptr;
  size_t len = 0;
  std::FILE* mem = open_memstream(&buf, &len);
  EXPECT_NE(mem, nullptr);
  if (!mem) return std::string();
  skorvane::write_state_json(mem);
  std::fclose(mem);
  std::string text(buf, len);
  std::free(buf);
  return text;
}

TEST_F(GameTest, StateJsonReadsBackEveryValueExactly) {
  start_run();
  g.row_char = BasicString("\"\\\x01");  // quote, backslash, control character
  g.time_frac = 1.0 / 3.0;
  g.hero_x = std::numeric_limits<double>::quiet_NaN();
  skorvane::obstacles(127) = Obstacle{4, 7, -32, 16, 96, 16, 1, 0};
  skorvane::particles(511).vx = -0.25;

  const Json j = Json::parse(state_text());
  ASSERT_EQ(j.kind, Json::Object);
  for (const skorvane::NamedValue& v : skorvane::list_globals()) {
    SCOPED_TRACE(v.name);
    ASSERT_TRUE(j.has(v.name));
    if (v.is_text) {
      EXPECT_EQ(j[v.name].text, v.text);
    } else if (std::isnan(v.number)) {
      EXPECT_EQ(j[v.name].kind, Json::Null);  // JSON has no NaN
    } else {
      EXPECT_EQ(j[v.name].num(), v.number);
    }
  }
  EXPECT_EQ(j["row_char"].text, "\"\\\x01");
  EXPECT_EQ(j["time_frac"].num(), 1.0 / 3.0);
  EXPECT_EQ(j.members.size(), skorvane::list_globals().size() + 2);  // and the two tables

  const auto obstacles = skorvane::list_obstacles();
  ASSERT_EQ(j["obstacles"].items.size(), obstacles.size());
  EXPECT_EQ(j["obstacles"][127].items.size(), 8u);
  for (size_t f = 0; f < 8; ++f) EXPECT_EQ(j["obstacles"][127][f].num(), obstacles[127][f]) << f;
  ASSERT_EQ(j["particles"].items.size(), 512u);
  EXPECT_EQ(j["particles"][511][3].num(), -0.25);
}

TEST(JsonReader, ReadsWhatTheStateFilesHold) {
  const Json j = Json::parse(" {\"a\": [1, -2.5e3, true, false, null], \"b\": \"x\\u0041\\u00e9\\n\", \"c\": {}} ");
  EXPECT_EQ(j["a"][1].num(), -2500);
  EXPECT_TRUE(j["a"][2].boolean);
  EXPECT_EQ(j["a"][4].kind, Json::Null);
  EXPECT_EQ(j["b"].text, "xA\xc3\xa9\n");
  EXPECT_EQ(j["c"].kind, Json::Object);
  EXPECT_THROW(j["missing"], std::runtime_error);
  EXPECT_THROW(j["a"][5], std::runtime_error);
  EXPECT_THROW(j["b"].num(), std::runtime_error);
}

class JsonReaderRefuses : public ::testing::TestWithParam<const char*> {};

// Broken input is refused with an error, never read past its end.
TEST_P(JsonReaderRefuses, BrokenInput) { EXPECT_THROW(Json::parse(GetParam()), std::runtime_error); }

INSTANTIATE_TEST_SUITE_P(Inputs, JsonReaderRefuses,
                         ::testing::Values("", "   ", "{", "{\"a\"", "{\"a\":}", "{\"a\" 1}", "{\"a\":1,}", "[1,",
                                           "[1,]", "[1 2]", "\"abc", "\"abc\\", "\"\\u12\"", "\"\\u12zz\"",
                                           "\"\\u+123\"", "nan", "-inf", "+1", "-", "tru", "1 2", "{} x"),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

std::string repeated(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Nesting far deeper than any state file is refused instead of recursing
// until the stack runs out; ordinary nesting is read.
TEST(JsonReader, RefusesNestingWithoutBound) {
  EXPECT_THROW(Json::parse(repeated("[", 200000) + repeated("]", 200000)), std::runtime_error);
  EXPECT_THROW(Json::parse(repeated("{\"a\":", 200000) + "1" + repeated("}", 200000)), std::runtime_error);
  const Json j = Json::parse(repeated("[", 20) + "7" + repeated("]", 20));
  const Json* v = &j;
  for (int i = 0; i < 20; ++i) v = &(*v)[0];
  EXPECT_EQ(v->num(), 7);
}

}  // namespace
}  // namespace game_test
