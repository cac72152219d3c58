// BasicArray and the array commands.
//
// A table of up to four dimensions of one element type: 64-bit reals, 32- or
// 64-bit integers, bytes, strings or a program's own records (any trivially
// copyable struct). Element (i, j, k, l) is stored at
// i + j*size0 + k*size01 + l*size012: the first index varies fastest.
//
// Every access is guarded. A negative first index counts once from the end
// (-1 is the last element); further indices are not wrapped. An index still
// outside the array writes the bounds report ("bounds: [  64]" /
// "access: [  64]") to the debug channel and standard error, raises error 9
// ("out of bounds") and ends the program.
//
// Storage is allocated with slack (see the capacity policies) and arr_dim
// reuses storage that is large enough, so re-dimensioning to the same or a
// smaller size does not allocate.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "tamblix/errors.h"
#include "tamblix/string.h"

// ---- capacity policies ----------------------------------------------------

// The largest multiple of 8 not above n, plus 8; storage even for n = 0.
// Reals and the common 32-bit integer arrays.
struct ArraySlack8 {
  static constexpr int64_t capacity(int64_t n) { return (n & ~int64_t{7}) + 8; }
};
// Exactly n (pixel data and 64-bit integers); no storage for n = 0.
struct ArrayExact {
  static constexpr int64_t capacity(int64_t n) { return n; }
};
// The largest multiple of 64 not above n, plus 64; no storage for n = 0.
// Records, bytes and strings.
struct ArraySlack64 {
  static constexpr int64_t capacity(int64_t n) { return n <= 0 ? 0 : (n & ~int64_t{63}) + 64; }
};

template <class T>
struct ArrayDefaultPolicy {
  using type = ArraySlack64;
};
template <>
struct ArrayDefaultPolicy<double> {
  using type = ArraySlack8;
};
template <>
struct ArrayDefaultPolicy<int32_t> {
  using type = ArraySlack8;
};
template <>
struct ArrayDefaultPolicy<int64_t> {
  using type = ArrayExact;
};

// ---- the cold paths (never inlined) -------------------------------------

// Builds the two report lines for the dimensions and (wrapped) indices:
// "bounds: " + "[%4d]" for dim0 and each further dimension above 0, and
// "access: " + the indices in the same form; each line ends with "\n".
// An index given for a dimension that does not exist is listed when it is
// not 0. out1/out2 need 64 bytes each.
void arr_format_bounds_report(const int32_t dims[4], const int32_t idx[4], char* out1, char* out2);
// Writes the report to the debug channel and standard error (flushed).
void arr_report_bounds(const int32_t dims[4], const int32_t idx[4]);
// The report, error 9 and the program end.
[[noreturn]] void arr_bounds_fail(const int32_t dims[4], const int32_t idx[4]);
// arr_push on an array of more than one dimension: error 8 and the program end.
[[noreturn]] void arr_push_fail();

// ---- the array ----------------------------------------------------------

template <class T, class Policy = typename ArrayDefaultPolicy<T>::type>
class BasicArray {
  static_assert(std::is_trivially_copyable_v<T> || std::is_same_v<T, BasicString>,
                "BasicArray holds numbers, strings or trivially copyable records");
  static_assert(alignof(T) <= alignof(std::max_align_t), "over-aligned element type");

 public:
  using value_type = T;
  static constexpr bool kTrivial = std::is_trivially_copyable_v<T>;

  BasicArray() noexcept = default;
  BasicArray(const BasicArray& other) { copy_from(other); }
  BasicArray(BasicArray&& other) noexcept { steal(other); }
  BasicArray& operator=(const BasicArray& other) {
    if (this != &other) copy_from(other);
    return *this;
  }
  BasicArray& operator=(BasicArray&& other) noexcept {
    if (this != &other) {
      free_storage();
      steal(other);
    }
    return *this;
  }
  ~BasicArray() { free_storage(); }

  // Guarded element access (see the top of this file).
  T& operator()(int32_t i) { return data_[check(i, 0, 0, 0)]; }
  T& operator()(int32_t i, int32_t j) { return data_[check(i, j, 0, 0)]; }
  T& operator()(int32_t i, int32_t j, int32_t k) { return data_[check(i, j, k, 0)]; }
  T& operator()(int32_t i, int32_t j, int32_t k, int32_t l) { return data_[check(i, j, k, l)]; }
  const T& operator()(int32_t i) const { return data_[check(i, 0, 0, 0)]; }
  const T& operator()(int32_t i, int32_t j) const { return data_[check(i, j, 0, 0)]; }
  const T& operator()(int32_t i, int32_t j, int32_t k) const { return data_[check(i, j, k, 0)]; }
  const T& operator()(int32_t i, int32_t j, int32_t k, int32_t l) const {
    return data_[check(i, j, k, l)];
  }

  // (Re)creates the array with the dimensions (0 for one not wanted), all
  // elements zero. Storage large enough is kept; otherwise (and for d0 <= 0)
  // it is released and new storage follows the capacity policy. Sizes beyond
  // memory (or beyond 32 bits) raise error 7 and end the program.
  void dim(int32_t d0, int32_t d1 = 0, int32_t d2 = 0, int32_t d3 = 0);

  // Resizes keeping the elements whose indices fit both the old and the new
  // dimensions; d0 < 1 empties the array (its storage is kept).
  void redim(int32_t d0, int32_t d1 = 0, int32_t d2 = 0, int32_t d3 = 0);

  // Appends value as the new last element of a one-dimensional array (in
  // place while the slack lasts); error 8 and the program end when the array
  // has a further dimension.
  void push(const T& value);

  // Dimension d (0..3); 0 for any other d.
  int32_t bounds(int32_t d) const {
    switch (d) {
      case 0: return dim0_;
      case 1: return dim1_;
      case 2: return dim2_;
      case 3: return dim3_;
      default: return 0;
    }
  }

  int32_t dim0() const noexcept { return dim0_; }
  int32_t dim1() const noexcept { return dim1_; }
  int32_t dim2() const noexcept { return dim2_; }
  int32_t dim3() const noexcept { return dim3_; }
  int32_t size0() const noexcept { return size0_; }
  int32_t size01() const noexcept { return size01_; }
  int32_t size012() const noexcept { return size012_; }
  int32_t count() const noexcept { return count_; }
  int32_t rank() const noexcept { return rank_; }
  int32_t capacity() const noexcept { return capacity_; }
  // Unguarded storage (count() elements in storage order), or null.
  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }

 private:
  // Storage position of the element after the guard; the fault path is out
  // of line. A first dimension above 0 always comes with storage (dim
  // allocates at least one element for it), so the dimensions alone decide.
  int32_t check(int32_t i, int32_t j, int32_t k, int32_t l) const {
    if (i < 0) i += dim0_;
    if (static_cast<uint32_t>(i) < static_cast<uint32_t>(dim0_) &&
        static_cast<uint32_t>(j) < ext1_ && static_cast<uint32_t>(k) < ext2_ &&
        static_cast<uint32_t>(l) < ext3_) [[likely]] {
      return i + j * stride1_ + k * stride2_ + l * stride3_;
    }
    fail(i, j, k, l);
  }
  [[noreturn]] [[gnu::cold]] [[gnu::noinline]] void fail(int32_t i, int32_t j, int32_t k,
                                                         int32_t l) const {
    const int32_t dims[4] = {dim0_, dim1_, dim2_, dim3_};
    const int32_t idx[4] = {i, j, k, l};
    arr_bounds_fail(dims, idx);
  }

  static T* allocate(int64_t cap);
  static void destroy_storage(T* data, int32_t cap) noexcept;
  void free_storage() noexcept {
    destroy_storage(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
  }
  void set_shape(int32_t d0, int32_t d1, int32_t d2, int32_t d3, int32_t n);
  void copy_from(const BasicArray& other);
  void steal(BasicArray& other) noexcept {
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(BasicArray));
    other.data_ = nullptr;
    other.capacity_ = 0;
    other.set_shape(0, 0, 0, 0, 0);
  }

  T* data_ = nullptr;
  int32_t size0_ = 0, size01_ = 0, size012_ = 0;
  int32_t dim0_ = 0, dim1_ = 0, dim2_ = 0, dim3_ = 0;
  int32_t count_ = 0, rank_ = 0, capacity_ = 0;
  // Guard extents of the further indices (an absent dimension admits index 0
  // only, a negative one none) and the matching strides.
  uint32_t ext1_ = 1, ext2_ = 1, ext3_ = 1;
  int32_t stride1_ = 0, stride2_ = 0, stride3_ = 0;
};

// Pixel data: 32-bit integers with exact capacity.
using PixelArray = BasicArray<int32_t, ArrayExact>;

// ---- the commands -------------------------------------------------------

template <class T, class P>
void arr_dim(BasicArray<T, P>& a, int32_t d0, int32_t d1 = 0, int32_t d2 = 0, int32_t d3 = 0) {
  a.dim(d0, d1, d2, d3);
}
template <class T, class P>
int32_t arr_bounds(const BasicArray<T, P>& a, int32_t d) {
  return a.bounds(d);
}
template <class T, class P>
void arr_push(BasicArray<T, P>& a, const std::type_identity_t<T>& value) {
  a.push(value);
}
inline void arr_push(BasicArray<BasicString>& a, const char* value) { a.push(BasicString(value)); }
template <class T, class P>
void arr_redim(BasicArray<T, P>& a, int32_t d0, int32_t d1 = 0, int32_t d2 = 0, int32_t d3 = 0) {
  a.redim(d0, d1, d2, d3);
}
// The target becomes a copy of the source with the same dimensions.
template <class T, class P>
void arr_copy(BasicArray<T, P>& target, const BasicArray<T, P>& source) {
  target = source;
}
// arr_dim(a, n) and element k = values[k] for k = 0..n-1.
void rt_dim_data(BasicArray<double>& a, int32_t n, const double* values);
void rt_dim_data(BasicArray<double>& a, std::initializer_list<double> values);

// ---- implementation -----------------------------------------------------

template <class T, class P>
T* BasicArray<T, P>::allocate(int64_t cap) {
  if (cap <= 0) return nullptr;
  if (cap > INT32_MAX || static_cast<uint64_t>(cap) > SIZE_MAX / sizeof(T)) lang_out_of_memory();
  void* p = std::calloc(static_cast<size_t>(cap), sizeof(T));
  if (p == nullptr) lang_out_of_memory();
  T* data = static_cast<T*>(p);
  if constexpr (!kTrivial) {
    for (int64_t e = 0; e < cap; ++e) new (data + e) T();
  }
  return data;
}

template <class T, class P>
void BasicArray<T, P>::destroy_storage(T* data, int32_t cap) noexcept {
  if (data == nullptr) return;
  if constexpr (!kTrivial) {
    for (int32_t e = cap - 1; e >= 0; --e) data[e].~T();
  }
  std::free(data);
}

template <class T, class P>
void BasicArray<T, P>::set_shape(int32_t d0, int32_t d1, int32_t d2, int32_t d3, int32_t n) {
  dim0_ = size0_ = d0 > 0 ? d0 : 0;
  dim1_ = d1;
  dim2_ = d2;
  dim3_ = d3;
  count_ = n;
  rank_ = d3 != 0 ? 4 : d2 != 0 ? 3 : d1 != 0 ? 2 : dim0_ > 0 ? 1 : 0;
  // A further dimension of 0 (absent) admits index 0 only and counts as 1
  // in the layout; a negative one admits no index at all.
  ext1_ = d1 > 0 ? static_cast<uint32_t>(d1) : (d1 == 0 ? 1u : 0u);
  ext2_ = d2 > 0 ? static_cast<uint32_t>(d2) : (d2 == 0 ? 1u : 0u);
  ext3_ = d3 > 0 ? static_cast<uint32_t>(d3) : (d3 == 0 ? 1u : 0u);
  stride1_ = dim0_;
  stride2_ = static_cast<int32_t>(stride1_ * static_cast<int64_t>(ext1_));
  stride3_ = static_cast<int32_t>(stride2_ * static_cast<int64_t>(ext2_));
  size01_ = static_cast<int32_t>(static_cast<int64_t>(dim0_) * d1);
  size012_ = static_cast<int32_t>(static_cast<int64_t>(dim0_) * d1 * d2);
}

template <class T, class P>
void BasicArray<T, P>::dim(int32_t d0, int32_t d1, int32_t d2, int32_t d3) {
  int64_t n = d0 > 0 ? d0 : 0;
  n *= d1 > 1 ? d1 : 1;
  if (n > INT32_MAX) lang_out_of_memory();
  n *= d2 > 1 ? d2 : 1;
  if (n > INT32_MAX) lang_out_of_memory();
  n *= d3 > 1 ? d3 : 1;
  if (n > INT32_MAX) lang_out_of_memory();
  if (capacity_ < n || d0 <= 0 || data_ == nullptr) {
    int64_t cap = P::capacity(n);
    free_storage();
    data_ = allocate(cap);
    capacity_ = data_ != nullptr ? static_cast<int32_t>(cap) : 0;
  } else if constexpr (kTrivial) {
    std::memset(static_cast<void*>(data_), 0, static_cast<size_t>(n) * sizeof(T));
  } else {
    for (int64_t e = 0; e < n; ++e) data_[e].destroy();
  }
  set_shape(d0, d1, d2, d3, static_cast<int32_t>(n));
}

template <class T, class P>
void BasicArray<T, P>::redim(int32_t d0, int32_t d1, int32_t d2, int32_t d3) {
  if (d0 < 1) {
    set_shape(0, 0, 0, 0, 0);
    return;
  }
  BasicArray fresh;
  fresh.dim(d0, d1, d2, d3);
  if (data_ != nullptr) {
    const int32_t m0 = dim0_ < fresh.dim0_ ? dim0_ : fresh.dim0_;
    const int32_t m1 = static_cast<int32_t>(ext1_ < fresh.ext1_ ? ext1_ : fresh.ext1_);
    const int32_t m2 = static_cast<int32_t>(ext2_ < fresh.ext2_ ? ext2_ : fresh.ext2_);
    const int32_t m3 = static_cast<int32_t>(ext3_ < fresh.ext3_ ? ext3_ : fresh.ext3_);
    for (int32_t l = 0; l < m3; ++l)
      for (int32_t k = 0; k < m2; ++k)
        for (int32_t j = 0; j < m1; ++j)
          for (int32_t i = 0; i < m0; ++i) {
            T& from = data_[i + j * stride1_ + k * stride2_ + l * stride3_];
            T& to = fresh.data_[i + j * fresh.stride1_ + k * fresh.stride2_ + l * fresh.stride3_];
            if constexpr (kTrivial) {
              to = from;
            } else {
              std::swap(to, from);
            }
          }
  }
  *this = std::move(fresh);
}

template <class T, class P>
void BasicArray<T, P>::push(const T& value) {
  if (dim1_ != 0 || dim2_ != 0 || dim3_ != 0) arr_push_fail();
  const int32_t n = dim0_ + 1;
  if (n < capacity_ && data_ != nullptr) {
    // In place: the element behind the old end may hold an old value; it is
    // overwritten below.
    set_shape(n, 0, 0, 0, count_ + 1);
    (*this)(n - 1) = value;
    return;
  }
  // The value may live inside this array, whose storage the resize
  // releases: keep a copy across it.
  T keep(value);
  redim(n);
  (*this)(n - 1) = std::move(keep);
}

template <class T, class P>
void BasicArray<T, P>::copy_from(const BasicArray& other) {
  dim(other.dim0_, other.dim1_, other.dim2_, other.dim3_);
  if (data_ == nullptr || other.data_ == nullptr) return;
  if constexpr (kTrivial) {
    std::memcpy(static_cast<void*>(data_), static_cast<const void*>(other.data_),
                static_cast<size_t>(count_) * sizeof(T));
  } else {
    for (int32_t e = 0; e < count_; ++e) data_[e] = other.data_[e];
  }
}
