// Strings: memory policy, number texts, conversions, relations, commands,
// data lists.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "lang_test_env.h"
#include "tamblix.h"

namespace {

std::string str(const BasicString& s) { return std::string(s.c_str(), s.length()); }

// ---- memory policy ----------------------------------------------------------

TEST(StringMemory, EmptyStringsShareOneBufferWithoutCapacity) {
  BasicString a;
  BasicString b("");
  BasicString c("xyz");
  c = "";
  BasicString d(nullptr);
  for (const BasicString* s : {&a, &b, &c, &d}) {
    EXPECT_EQ(s->length(), 0u);
    EXPECT_EQ(s->capacity(), 0u);
    EXPECT_EQ(s->c_str(), BasicString::empty_buffer());
  }
  c.destroy();
  EXPECT_EQ(c.c_str(), BasicString::empty_buffer());
  EXPECT_EQ(*BasicString::empty_buffer(), 0);
}

TEST(StringMemory, ReserveGrowsInStepsOfSixteen) {
  const struct {
    uint32_t n, capacity;
  } cases[] = {{1, 16}, {14, 16}, {15, 32}, {16, 32}, {30, 32}, {31, 48}, {63, 80}};
  for (const auto& c : cases) {
    BasicString s;
    string_reserve(s, c.n, false);
    EXPECT_EQ(s.capacity(), c.capacity) << c.n;
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.c_str()[0], 0);
  }
  BasicString s("abc");
  string_reserve(s, 0, false);
  EXPECT_EQ(s.capacity(), 16u);
  string_reserve(s, 40, true);  // keeps the content
  EXPECT_EQ(s.capacity(), 48u);
  EXPECT_EQ(str(s), "abc");
}

TEST(StringMemory, AppendingGrowsAndNeverShrinks) {
  BasicString s;
  for (int i = 1; i <= 20; ++i) {
    s += "a";
    EXPECT_EQ(s.length(), static_cast<uint32_t>(i));
    EXPECT_EQ(s.capacity(), i < 16 ? 16u : 32u) << i;
  }
  BasicString big;
  string_reserve(big, 63, false);
  ASSERT_EQ(big.capacity(), 80u);
  const char* buffer = big.c_str();
  big = BasicString("abc");  // assignment from a BasicString keeps the buffer
  EXPECT_EQ(big.capacity(), 80u);
  EXPECT_EQ(big.c_str(), buffer);
  big = BasicString();  // an empty source keeps the capacity too
  EXPECT_EQ(big.capacity(), 80u);
  EXPECT_EQ(big.length(), 0u);
  EXPECT_EQ(str(big), "");
  big = "abc";  // a zero-terminated text replaces the buffer
  EXPECT_EQ(big.capacity(), 16u);
  EXPECT_EQ(str(big), "abc");
}

TEST(StringMemory, CopiesAreDeepAndSelfAppendDoubles) {
  BasicString a("hello world");
  BasicString b(a);
  EXPECT_NE(a.c_str(), b.c_str());
  b.data()[0] = 'J';
  EXPECT_EQ(str(a), "hello world");
  a = a;  // self-assignment leaves it alone
  EXPECT_EQ(str(a), "hello world");
  BasicString d("abcdefghijklmn");  // 14 characters: capacity 16
  d += d;                           // grows while reading itself
  EXPECT_EQ(str(d), "abcdefghijklmnabcdefghijklmn");
  d += d;
  EXPECT_EQ(str(d), "abcdefghijklmnabcdefghijklmnabcdefghijklmnabcdefghijklmn");
  BasicString e("0123456789");
  e = e.c_str() + 4;  // a text inside the string itself
  EXPECT_EQ(str(e), "456789");

  // Further texts read from the string's own buffer while it grows.
  BasicString f("0123456789abcde");  // 15 characters: capacity 32
  f.append(f.c_str() + 10, 5);       // fits: no growth
  EXPECT_EQ(str(f), "0123456789abcdeabcde");
  f += f.c_str() + 2;  // a zero-terminated text inside it; grows to 48
  EXPECT_EQ(str(f), "0123456789abcdeabcde23456789abcdeabcde");
  f.append(f.c_str(), f.length());  // grows again
  EXPECT_EQ(str(f), "0123456789abcdeabcde23456789abcdeabcde0123456789abcdeabcde23456789abcdeabcde");
  BasicString g("abcdefghijklmn");
  g = std::move(g) + g;  // the right side is the left side being appended to
  EXPECT_EQ(str(g), "abcdefghijklmnabcdefghijklmn");
  BasicString& h = g;
  g = std::move(h);  // moving onto itself leaves it alone
  EXPECT_EQ(str(g), "abcdefghijklmnabcdefghijklmn");
}

TEST(StringMemory, RecountStopsAtTerminatorOrCapacity) {
  BasicString s;
  string_reserve(s, 10, false);
  std::strcpy(s.data(), "abc");
  string_recount(s);
  EXPECT_EQ(s.length(), 3u);
  std::memset(s.data(), 'x', s.capacity());  // no terminator at all
  string_recount(s);
  EXPECT_EQ(s.length(), s.capacity() - 1);
  EXPECT_EQ(s.c_str()[s.length()], 0);
  BasicString empty;
  string_recount(empty);
  EXPECT_EQ(empty.length(), 0u);
}

TEST(StringMemory, TruncateCutsWithoutShrinking) {
  BasicString s("abcdef");
  rt_truncate(s, 2);
  EXPECT_EQ(str(s), "ab");
  EXPECT_EQ(s.capacity(), 16u);
  rt_truncate(s, 5);
  rt_truncate(s, -1);
  EXPECT_EQ(str(s), "ab");
  rt_truncate(s, 0);
  EXPECT_EQ(str(s), "");
}

TEST(StringMemory, MovesTakeTheBufferOnlyWhenNeeded) {
  BasicString a("some text");
  const char* buffer = a.c_str();
  BasicString b(std::move(a));
  EXPECT_EQ(b.c_str(), buffer);
  EXPECT_EQ(a.c_str(), BasicString::empty_buffer());  // NOLINT: moved-from is empty
  BasicString c;
  string_reserve(c, 63, false);
  const char* own = c.c_str();
  c = BasicString("x");
  EXPECT_EQ(c.c_str(), own);
  EXPECT_EQ(c.capacity(), 80u);
}

// ---- numbers to text ---------------------------------------------------------

TEST(NumberText, RealTexts) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {3, "3"},
      {-2.5, "-2.5"},
      {100, "100"},
      {0.5, "0.5"},
      {1.0 / 3, "0.3333333333"},
      {2.0 / 3, "0.6666666667"},
      {1234.5678, "1234.5678"},
      {9999999999.0, "9999999999"},
      {10000000000.0, "1.e+010"},
      {12345678901.0, "1.23456789e+010"},
      {123456789012.0, "1.23456789e+011"},
      {0.05, "5.e-002"},
      {0.001234, "1.234e-003"},
      {0.1, "0.1"},
      {1e-7, "1.e-007"},
      {-0.25, "-0.25"},
      {1.5e300, "1.5e+300"},
      {static_cast<double>(0.1f), "0.1000000015"},
      // Rounding into the next decade changes the form.
      {9999999999.5, "1.e+010"},
      {0.09999999999999, "0.1"},
      {-9.9999999999e-5, "-1.e-004"},
      // Exact halves go away from zero.
      {1234567890.5, "1234567891"},
      {-1234567890.5, "-1234567891"},
      {0.75, "0.75"},
      {1e100, "1.e+100"},
      {DBL_MAX, "1.797693135e+308"},
      {4.9406564584124654e-324, "4.940656458e-324"},
      {DBL_MIN, "2.225073859e-308"},
      {123456.0001, "123456.0001"},
      {0.123456789012, "0.123456789"},
      {-1e10, "-1.e+010"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::nan(""), "nan"},
  };
  for (const auto& c : cases) {
    BasicString s = real_to_text(c.value);
    EXPECT_EQ(str(s), c.text) << c.value;
    EXPECT_EQ(s.capacity(), 80u);
    EXPECT_EQ(str(BasicString(c.value)), c.text);
  }
  EXPECT_EQ(str(BasicString(0.1f)), "0.1000000015");
}

// The text built from an independent exact formatter's 10 rounded digits
// (valid for values that are not exact halves).
std::string expected_text(double x) {
  char reference[64];
  std::snprintf(reference, sizeof reference, "%.9e", x);
  std::string digits;
  const char* p = reference + (x < 0 ? 1 : 0);
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  const int e = std::atoi(p + 1);
  std::string out = x < 0 ? "-" : "";
  if (e >= -1 && e <= 9) {
    std::string whole = e < 0 ? "0" : digits.substr(0, static_cast<size_t>(e) + 1);
    std::string frac = e < 0 ? digits : digits.substr(static_cast<size_t>(e) + 1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    return out + whole + (frac.empty() ? "" : "." + frac);
  }
  std::string frac = digits.substr(1);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  char exp_text[16];
  std::snprintf(exp_text, sizeof exp_text, "e%c%03d", e < 0 ? '-' : '+', std::abs(e));
  return out + digits.substr(0, 1) + "." + frac + exp_text;
}

TEST(NumberText, DigitsAgreeWithExactFormatting) {
  std::mt19937_64 gen(12345);
  std::uniform_real_distribution<double> decades(-4, 12);
  for (int i = 0; i < 20000; ++i) {
    double x;
    if (i % 2 == 0) {  // any bit pattern
      uint64_t bits = gen();
      std::memcpy(&x, &bits, sizeof x);
      if (!std::isfinite(x) || x == 0) continue;
    } else {  // around the fixed-point range
      x = std::pow(10.0, decades(gen)) * (gen() % 2 ? 1 : -1);
    }
    EXPECT_EQ(str(real_to_text(x)), expected_text(x)) << std::hexfloat << x;
  }
}

TEST(NumberText, IntegerTexts) {
  EXPECT_EQ(str(int_to_text(0)), "0");
  EXPECT_EQ(str(int_to_text(-42)), "-42");
  EXPECT_EQ(str(int_to_text(INT32_MIN)), "-2147483648");
  EXPECT_EQ(str(int_to_text(INT32_MAX)), "2147483647");
  EXPECT_EQ(int_to_text(7).capacity(), 32u);
  EXPECT_EQ(str(int64_to_text(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(str(int64_to_text(9000000000)), "9000000000");
  EXPECT_EQ(int64_to_text(1).capacity(), 80u);
  EXPECT_EQ(str(BasicString(5)), "5");
  EXPECT_EQ(str(BasicString(int64_t{-5})), "-5");
  EXPECT_EQ(str(BasicString(0)), "0");
}

// ---- text to numbers ---------------------------------------------------------

TEST(TextNumber, RealConversion) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"", 0},          {"abc", 0},        {"  -1.5e3xyz", -1500}, {"+2.5", 2.5},
      {".5", 0.5},      {"5.", 5},         {"1e", 1},              {"1e+", 1},
      {"-", 0},         {"0x10", 0},       {"inf", 0},             {"nan", 0},
      {"\t\n 7", 7},    {"3.25E-2", 0.0325}, {"1e-400", 0},        {"12 34", 12},
      {"0.1", 0.1},     {"-0", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(text_to_real(c.text), c.value) << c.text;
  EXPECT_EQ(text_to_real("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(text_to_real("-1e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(text_to_real(nullptr), 0);
  EXPECT_EQ(BasicString("2.5").to_real(), 2.5);
}

TEST(TextNumber, IntegerConversions) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {{" 42abc", 42}, {"-17", -17}, {"+5", 5},         {"", 0},
               {"x1", 0},      {"3.9", 3},   {"99999999999", INT32_MAX},
               {"-2147483648", INT32_MIN},   {"-99999999999", INT32_MIN}};
  for (const auto& c : cases) EXPECT_EQ(text_to_int(c.text), c.value) << c.text;
  EXPECT_EQ(text_to_int64("\t-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(text_to_int64(" +9000000000x"), 9000000000);
  EXPECT_EQ(text_to_int64("\x0b" "12"), 12);
  EXPECT_EQ(text_to_int64("--1"), 0);
  EXPECT_EQ(BasicString("12x").to_int(), 12);
}

// ---- operators ---------------------------------------------------------------

TEST(StringOperators, ConcatenationWithNumbersInBothOrders) {
  BasicString s("L");
  EXPECT_EQ(str(s + 3), "L3");
  EXPECT_EQ(str(s + 2.5), "L2.5");
  EXPECT_EQ(str(s + 0.1f), "L0.1000000015");
  EXPECT_EQ(str(s + int64_t{-9000000000}), "L-9000000000");
  EXPECT_EQ(str(3 + s), "3L");
  EXPECT_EQ(str(1e10 + s), "1.e+010L");
  EXPECT_EQ(str("x" + s + "y"), "xLy");
  EXPECT_EQ(str(s + 'c'), "Lc");
  EXPECT_EQ(str('c' + s), "cL");
  EXPECT_EQ(str(s + s + BasicString() + ""), "LL");
  BasicString t("LIVES ");
  t += 3;
  t += ' ';
  t += 0.5;
  t += int64_t{7};
  t += BasicString("!");
  EXPECT_EQ(str(t), "LIVES 3 0.57!");
  // The capacity is that of copying the left side and then appending.
  BasicString fourteen("abcdefghijklmn");
  EXPECT_EQ((fourteen + "x").capacity(), 16u);
  EXPECT_EQ((fourteen + "xy").capacity(), 32u);
  EXPECT_EQ((7 + BasicString("x")).capacity(), 32u);
  EXPECT_EQ((BasicString() + BasicString()).capacity(), 0u);
}

TEST(StringOperators, TextRelations) {
  BasicString abc("abc");
  EXPECT_TRUE(abc == "abc");
  EXPECT_TRUE("abc" == abc);
  EXPECT_TRUE(abc == BasicString("abc"));
  EXPECT_FALSE(abc == "abcd");
  EXPECT_TRUE(abc != "ab");
  EXPECT_TRUE(abc < "abd");
  EXPECT_TRUE(abc <= "abc");
  EXPECT_TRUE("b" > abc);
  EXPECT_TRUE(abc >= BasicString("ab"));
  EXPECT_TRUE(BasicString("\xe9") > "z");  // unsigned bytes
  BasicString zero = rt_chr(0);
  EXPECT_FALSE(zero == "");  // equality compares the lengths first
  EXPECT_FALSE(zero == BasicString());
}

TEST(StringOperators, NumberRelations) {
  EXPECT_TRUE(BasicString("5") == 5.0);
  EXPECT_TRUE(BasicString("5abc") == 5);
  EXPECT_TRUE(BasicString("abc") == 0);
  EXPECT_TRUE(0 == BasicString("abc"));
  EXPECT_TRUE(BasicString("10") > 9);
  EXPECT_TRUE(9 < BasicString("10"));
  EXPECT_TRUE(BasicString("2.5") >= 2.5f);
  EXPECT_TRUE(BasicString("2.5") == 2);  // 32-bit integers compare by text_to_int
  EXPECT_TRUE(BasicString("9000000000") == int64_t{9000000000});
  EXPECT_TRUE(BasicString("0.1") != 0.1f);  // the real widened from single precision
  EXPECT_FALSE(BasicString("5") == std::nan(""));
  EXPECT_TRUE(BasicString("5") != std::nan(""));
  EXPECT_FALSE(std::nan("") >= BasicString("5"));
  EXPECT_EQ(string_compare(BasicString("3"), 4.0), -1);
  EXPECT_EQ(string_compare(BasicString("4"), 4), 0);
  EXPECT_EQ(string_compare(BasicString("x"), -1), 1);
}

// ---- search and commands -----------------------------------------------------

TEST(StringSearch, AgreesWithNaiveSearch) {
  std::mt19937 gen(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text, needle;
    const int n = static_cast<int>(gen() % 40), m = static_cast<int>(gen() % 6);
    for (int i = 0; i < n; ++i) text += static_cast<char>('a' + gen() % 3);
    for (int i = 0; i < m; ++i) needle += static_cast<char>('a' + gen() % 3);
    size_t naive = m == 0 ? std::string::npos : text.find(needle);
    int32_t expected = naive == std::string::npos ? -1 : static_cast<int32_t>(naive);
    EXPECT_EQ(string_search(text.data(), n, needle.data(), m), expected) << text << " / " << needle;
  }
  EXPECT_EQ(string_search("\xff\x80z", 3, "\x80z", 2), 1);
}

TEST(StringCommands, Mid) {
  const struct {
    int32_t start, count;
    const char* result;
  } cases[] = {{1, -1, "ELLO"}, {4, 5, "O"},  {5, 1, ""},     {-1, 2, ""}, {0, 0, ""},
               {0, 5, "HELLO"}, {2, 2, "LL"}, {INT32_MAX, INT32_MAX, ""}, {1, INT32_MAX, "ELLO"}};
  for (const auto& c : cases)
    EXPECT_EQ(str(rt_mid(BasicString("HELLO"), c.start, c.count)), c.result) << c.start << "," << c.count;
}

TEST(StringCommands, InstrAndRevInstr) {
  const BasicString banana("banana"), an("an");
  EXPECT_EQ(rt_instr(banana, an, 2), 3);
  EXPECT_EQ(rt_instr(banana, an, 0), 1);
  EXPECT_EQ(rt_instr(banana, an, 6), -1);
  EXPECT_EQ(rt_instr(banana, BasicString(), 0), -1);
  EXPECT_EQ(rt_instr(banana, an, -3), 1);  // a negative start searches from 0
  EXPECT_EQ(rt_instr(banana, an, INT32_MIN), 1);
  EXPECT_EQ(rt_rev_instr(banana, an, -1), 3);
  EXPECT_EQ(rt_rev_instr(banana, an, 2), 1);
  EXPECT_EQ(rt_rev_instr(banana, an, 0), -1);
  EXPECT_EQ(rt_rev_instr(BasicString("aa"), BasicString("a"), 5), 1);
  EXPECT_EQ(rt_rev_instr(BasicString("aaa"), BasicString("aa"), -1), 1);  // overlapping
  EXPECT_EQ(rt_rev_instr(BasicString("a"), BasicString("abc"), -1), -1);
  EXPECT_EQ(rt_rev_instr(banana, BasicString(), -1), -1);
}

TEST(StringCommands, Replace) {
  const struct {
    const char *text, *find, *with, *result;
  } cases[] = {
      {"a/b/c", "/", "\\", "a\\b\\c"},
      {"abc", "", "x", "abc"},
      {"aabb", "ab", "", "ab"},  // the text around a removal is not searched again
      {"aaa", "a", "aa", "aaaaaa"},  // inserted text is never rescanned
      {"abab", "ab", "xyz", "xyzxyz"},
      {"abcabc", "bc", "XY", "aXYaXY"},
      {"xxxx", "xx", "x", "xx"},
      {"hello", "lo", "p!", "help!"},
      {"", "a", "b", ""},
      {"abc", "abcd", "x", "abc"},
      {"ab", "ab", "", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(str(rt_replace(BasicString(c.text), BasicString(c.find), BasicString(c.with))), c.result)
        << c.text << " " << c.find << " " << c.with;
}

// Generated texts against a plain left-to-right replacement; the result is
// allocated once, at the capacity its length reserves.
TEST(StringCommands, ReplaceAgreesWithPlainReplacement) {
  std::mt19937 gen(11);
  for (int round = 0; round < 2000; ++round) {
    std::string text, find, with;
    const int n = static_cast<int>(gen() % (round < 1900 ? 40 : 3000));
    for (int i = 0; i < n; ++i) text += static_cast<char>('a' + gen() % 3);
    for (int i = 1 + static_cast<int>(gen() % 3); i > 0; --i) find += static_cast<char>('a' + gen() % 3);
    for (int i = static_cast<int>(gen() % 5); i > 0; --i) with += static_cast<char>('a' + gen() % 4);
    std::string expected;
    size_t p = 0;
    for (size_t hit; (hit = text.find(find, p)) != std::string::npos; p = hit + find.size())
      expected += text.substr(p, hit - p) + with;
    expected += text.substr(p);
    const BasicString out =
        rt_replace(BasicString(text.c_str()), BasicString(find.c_str()), BasicString(with.c_str()));
    ASSERT_EQ(str(out), expected) << text << " / " << find << " / " << with;
    if (text.find(find) != std::string::npos) {
      const uint32_t once = expected.empty() ? 0u : 16u * ((out.length() + 1) / 16 + 1);
      EXPECT_EQ(out.capacity(), once) << text << " / " << find << " / " << with;
    }
  }
}

TEST(StringCommands, TrimCaseAndCharacters) {
  const BasicString crlf("\r\n");
  EXPECT_EQ(str(rt_trim_right(BasicString("line\r\n"), crlf)), "line");
  EXPECT_EQ(str(rt_trim_right(BasicString("xxx"), BasicString("x"))), "");
  EXPECT_EQ(str(rt_trim_right(BasicString("abc"), BasicString())), "abc");
  EXPECT_EQ(str(rt_trim_left(BasicString("  \tab "), BasicString(" \t"))), "ab ");
  EXPECT_EQ(str(rt_trim_left(BasicString("xxx"), BasicString("x"))), "");
  EXPECT_EQ(str(rt_upper(BasicString("abZ1\xe9"))), "ABZ1\xe9");
  EXPECT_EQ(str(rt_lower(BasicString("ABz1\xc9"))), "abz1\xc9");
  EXPECT_EQ(str(rt_chr(65)), "A");
  EXPECT_EQ(str(rt_chr(321)), "A");
  EXPECT_EQ(rt_chr(0).length(), 1u);
  EXPECT_EQ(rt_chr(-1).c_str()[0], '\xff');
  EXPECT_EQ(str(rt_hex(-1)), "ffffffff");
  EXPECT_EQ(str(rt_hex(0)), "0");
  EXPECT_EQ(str(rt_hex(0xBEEF)), "beef");
}

TEST(StringCommands, Formatting) {
  EXPECT_EQ(str(rt_format_int(5, 42)), "   42");
  EXPECT_EQ(str(rt_format_int(4, 64)), "  64");
  EXPECT_EQ(str(rt_format_int(4.9, -1)), "  -1");
  EXPECT_EQ(str(rt_format_int(-5, 42)), "42   ");
  EXPECT_EQ(str(rt_format_real(8, 2, 3.14159)), "    3.14");
  EXPECT_EQ(str(rt_format_real(0, 0, 2.5)), "2");
  EXPECT_EQ(str(rt_format_real(1, -3, 1.5)), "1.500000");
  EXPECT_EQ(str(rt_format_int64(12, int64_t{-9000000000})), " -9000000000");
  // Results are cut to 143 characters.
  EXPECT_EQ(rt_format_int(1e9, 1).length(), 143u);
  EXPECT_EQ(rt_format_real(0, 1e9, 1).length(), 143u);
  EXPECT_EQ(str(rt_format_real(0, 200, 0.5)).substr(0, 5), "0.500");
  EXPECT_EQ(str(rt_format_int(std::nan(""), 7)), "7");
}

TEST(StringCommands, UrlEncodeAndHexBytes) {
  EXPECT_EQ(str(rt_url_encode(BasicString("a b"))), "a%20b");
  EXPECT_EQ(str(rt_url_encode(BasicString("\xe9"))), "%c3%a9");
  EXPECT_EQ(str(rt_url_encode(BasicString("\xa9"))), "%c2%a9");
  EXPECT_EQ(str(rt_url_encode(BasicString("Az09-_./"))), "Az09%2d%5f%2e%2f");
  EXPECT_EQ(str(rt_url_encode(BasicString())), "");
  const unsigned char bytes[] = {0x00, 0xAB, 0x7F, 0xFF};
  EXPECT_EQ(str(rt_hex_bytes(bytes, 4, 0)), "00ab7fff");
  EXPECT_EQ(str(rt_hex_bytes(bytes, 4, 1)), "00AB7FFF");
  EXPECT_EQ(str(rt_hex_bytes(bytes, 0, 1)), "");
  EXPECT_EQ(str(rt_hex_bytes(bytes, -2, 1)), "");
}

// ---- data lists --------------------------------------------------------------

const DataItem kItems[] = {{3.9, nullptr, 0}, {0, "12abc", 0}, {-2.5, nullptr, 0}, {0, "2.25", 0},
                           {0.1, nullptr, 0}, {0, "text", 0}};

TEST(DataLists, ReadsConvertAndRestoreRewinds) {
  DataList list = {kItems, 6, 0};
  rt_restore(list);
  int32_t i = 0;
  double r = 0;
  BasicString s;
  rt_read_int(i);
  EXPECT_EQ(i, 3);
  rt_read_int(i);
  EXPECT_EQ(i, 12);
  rt_read_real(r);
  EXPECT_EQ(r, -2.5);
  rt_read_real(r);
  EXPECT_EQ(r, 2.25);
  rt_read_string(s);
  EXPECT_EQ(str(s), "0.1");
  rt_read_string(s);
  EXPECT_EQ(str(s), "text");
  EXPECT_EQ(list.position, 6);
  rt_restore(list);
  rt_read_string(s);
  EXPECT_EQ(str(s), "3.9");
}

TEST(DataListsDeathTest, ReadingPastTheEndEndsWithError20) {
  DataList list = {kItems, 1, 0};
  EXPECT_FATAL(
      {
        rt_restore(list);
        int32_t i;
        rt_read_int(i);
        rt_read_int(i);
      },
      "TXerror: 14");
}

TEST(DataListsDeathTest, NoListSelectedEnds) {
  // Death tests run in a fresh process: no list has been restored there.
  EXPECT_FATAL(
      {
        int32_t i;
        rt_read_int(i);
      },
      "TXerror: 14");
}

TEST(DataListsDeathTest, BrokenListsEndToo) {
  DataList none = {nullptr, 5, 0};
  EXPECT_FATAL(
      {
        rt_restore(none);
        double r;
        rt_read_real(r);
      },
      "TXerror: 14");
}

TEST(StringDeathTest, ImpossibleSizeEndsWithOutOfMemory) {
  EXPECT_FATAL(
      {
        BasicString s;
        string_reserve(s, UINT32_MAX, false);
      },
      "TXerror: 7");
}

}  // namespace
