// The string value: memory policy, construction, assignment, appending,
// concatenation and comparison.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tamblix/errors.h"
#include "tamblix/string.h"

char BasicString::s_empty_ = 0;

void lang_out_of_memory() {
  sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
  sys_end_fatal("no memory for a string or an array of that size");
}

namespace {

// The capacity string_reserve gives for n characters: the smallest multiple of
// 16 above n + 1.
inline uint64_t reserve_step(uint64_t n) { return 16 * ((n + 1) / 16 + 1); }

char* allocate_text(uint64_t capacity) {
  if (capacity > UINT32_MAX) lang_out_of_memory();
  char* p = static_cast<char*>(std::malloc(static_cast<size_t>(capacity)));
  if (p == nullptr) lang_out_of_memory();
  return p;
}

}  // namespace

void string_reserve(BasicString& s, uint32_t n, bool keep) {
  if (n == 0 || static_cast<uint64_t>(s.capacity_) >= static_cast<uint64_t>(n) + 1) return;
  const uint64_t capacity = reserve_step(n);
  char* fresh = allocate_text(capacity);
  if (keep && s.length_ != 0) {
    std::memcpy(fresh, s.buffer_, static_cast<size_t>(s.length_) + 1);
  } else {
    fresh[0] = 0;
  }
  if (s.buffer_ != BasicString::empty_buffer()) std::free(s.buffer_);
  s.buffer_ = fresh;
  s.capacity_ = static_cast<uint32_t>(capacity);
}

void string_recount(BasicString& s) {
  if (s.buffer_ == BasicString::empty_buffer() || s.capacity_ == 0) {
    s.length_ = 0;
    return;
  }
  const void* zero = std::memchr(s.buffer_, 0, s.capacity_);
  if (zero == nullptr) {
    s.buffer_[s.capacity_ - 1] = 0;
    s.length_ = s.capacity_ - 1;
  } else {
    s.length_ = static_cast<uint32_t>(static_cast<const char*>(zero) - s.buffer_);
  }
}

void BasicString::release() noexcept {
  if (buffer_ != empty_buffer()) std::free(buffer_);
}

void BasicString::destroy() noexcept {
  release();
  buffer_ = empty_buffer();
  capacity_ = 0;
  length_ = 0;
}

void BasicString::copy_from(const char* bytes, uint32_t n) {
  if (n == 0) return;  // stays on the shared empty buffer
  string_reserve(*this, n, false);
  std::memcpy(buffer_, bytes, n);
  buffer_[n] = 0;
  length_ = n;
}

BasicString::BasicString(const char* text) : BasicString() {
  if (text != nullptr) copy_from(text, static_cast<uint32_t>(std::strlen(text)));
}

BasicString::BasicString(const char* text, uint32_t count) : BasicString() {
  if (text != nullptr) copy_from(text, count);
}

BasicString::BasicString(const BasicString& other) : BasicString() {
  copy_from(other.buffer_, other.length_);
}

BasicString& BasicString::operator=(const BasicString& other) {
  if (buffer_ == other.buffer_) return *this;  // the same string, or both empty
  if (other.length_ == 0) {
    if (buffer_ != empty_buffer()) buffer_[0] = 0;
    length_ = 0;
    return *this;
  }
  string_reserve(*this, other.length_, false);
  std::memcpy(buffer_, other.buffer_, static_cast<size_t>(other.length_) + 1);
  length_ = other.length_;
  return *this;
}

BasicString& BasicString::operator=(BasicString&& other) noexcept {
  if (this == &other) return *this;
  if (other.length_ == 0 || static_cast<uint64_t>(capacity_) >= static_cast<uint64_t>(other.length_) + 1) {
    // Fits: copy as an assignment does, keeping this buffer (nothing is
    // allocated on this path).
    return *this = static_cast<const BasicString&>(other);
  }
  // This buffer is too small: take the other's (it is larger, so the
  // capacity still does not shrink).
  release();
  buffer_ = other.buffer_;
  capacity_ = other.capacity_;
  length_ = other.length_;
  other.buffer_ = empty_buffer();
  other.capacity_ = 0;
  other.length_ = 0;
  return *this;
}

BasicString& BasicString::operator=(const char* text) {
  BasicString fresh(text);  // built first: text may point into this string
  release();
  buffer_ = fresh.buffer_;
  capacity_ = fresh.capacity_;
  length_ = fresh.length_;
  fresh.buffer_ = empty_buffer();
  fresh.capacity_ = 0;
  fresh.length_ = 0;
  return *this;
}

BasicString& BasicString::append(const char* bytes, uint32_t count) {
  if (count == 0 || bytes == nullptr) return *this;
  const uint64_t total = static_cast<uint64_t>(length_) + count;
  if (total >= UINT32_MAX - 32) lang_out_of_memory();
  // The source may lie inside this buffer (a string appended to itself):
  // read it again after the buffer has grown.
  const bool inside = buffer_ != empty_buffer() && bytes >= buffer_ && bytes < buffer_ + capacity_;
  const size_t offset = inside ? static_cast<size_t>(bytes - buffer_) : 0;
  string_reserve(*this, static_cast<uint32_t>(total), true);
  if (inside) bytes = buffer_ + offset;
  std::memmove(buffer_ + length_, bytes, count);
  length_ = static_cast<uint32_t>(total);
  buffer_[length_] = 0;
  return *this;
}

BasicString& BasicString::operator+=(const BasicString& right) { return append(right.buffer_, right.length_); }

BasicString& BasicString::operator+=(const char* right) {
  if (right == nullptr) return *this;
  return append(right, static_cast<uint32_t>(std::strlen(right)));
}

BasicString& BasicString::operator+=(char c) {
  if (static_cast<uint64_t>(length_) + 1 >= UINT32_MAX - 32) lang_out_of_memory();
  string_reserve(*this, length_ + 1, true);
  buffer_[length_] = c;
  buffer_[++length_] = 0;
  return *this;
}

BasicString BasicString::concat(const char* a, uint32_t na, const char* b, uint32_t nb) {
  BasicString s;
  const uint64_t total = static_cast<uint64_t>(na) + nb;
  if (total == 0) return s;
  if (total >= UINT32_MAX - 32) lang_out_of_memory();
  // Copying a and then appending b: the capacity of the copy, grown only
  // when b does not fit.
  uint64_t capacity = na != 0 ? reserve_step(na) : 0;
  if (capacity < total + 1) capacity = reserve_step(total);
  s.buffer_ = allocate_text(capacity);
  s.capacity_ = static_cast<uint32_t>(capacity);
  if (na != 0) std::memcpy(s.buffer_, a, na);
  if (nb != 0) std::memcpy(s.buffer_ + na, b, nb);
  s.length_ = static_cast<uint32_t>(total);
  s.buffer_[s.length_] = 0;
  return s;
}

BasicString operator+(const BasicString& left, const BasicString& right) {
  return BasicString::concat(left.c_str(), left.length(), right.c_str(), right.length());
}

BasicString operator+(const BasicString& left, const char* right) {
  const uint32_t n = right ? static_cast<uint32_t>(std::strlen(right)) : 0;
  return BasicString::concat(left.c_str(), left.length(), right, n);
}

BasicString operator+(const char* left, const BasicString& right) {
  const uint32_t n = left ? static_cast<uint32_t>(std::strlen(left)) : 0;
  return BasicString::concat(left, n, right.c_str(), right.length());
}

BasicString operator+(const BasicString& left, char right) {
  return BasicString::concat(left.c_str(), left.length(), &right, 1);
}

BasicString operator+(char left, const BasicString& right) {
  return BasicString::concat(&left, 1, right.c_str(), right.length());
}

int string_text_compare(const char* a, const char* b) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  const int r = std::strcmp(a, b);  // compares as unsigned bytes
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool operator==(const BasicString& a, const BasicString& b) {
  return a.length() == b.length() && std::memcmp(a.c_str(), b.c_str(), a.length()) == 0;
}

bool operator==(const BasicString& a, const char* b) {
  if (b == nullptr) b = "";
  const size_t n = std::strlen(b);
  return a.length() == n && std::memcmp(a.c_str(), b, n) == 0;
}
