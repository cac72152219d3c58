// The cold paths of the array guard and the real-array data fill.
#include <cstdio>
#include <cstring>

#include "tamblix/array.h"
#include "tamblix/errors.h"
#include "tamblix/string.h"

namespace {

// Appends "[" + the value right-aligned in 4 characters + "]".
char* put_cell(char* p, int32_t v) {
  BasicString cell = rt_format_int(4, v);
  *p++ = '[';
  std::memcpy(p, cell.c_str(), cell.length());
  p += cell.length();
  *p++ = ']';
  return p;
}

}  // namespace

void arr_format_bounds_report(const int32_t dims[4], const int32_t idx[4], char* out1, char* out2) {
  char* p = out1;
  char* q = out2;
  std::memcpy(p, "bounds: ", 8);
  std::memcpy(q, "access: ", 8);
  p += 8;
  q += 8;
  p = put_cell(p, dims[0]);
  q = put_cell(q, idx[0]);
  for (int d = 1; d < 4; ++d) {
    if (dims[d] > 0) p = put_cell(p, dims[d]);
    // An index for a dimension the array does not have is shown when it is
    // not 0: that is what made the access fail.
    if (dims[d] > 0 || idx[d] != 0) q = put_cell(q, idx[d]);
  }
  *p++ = '\n';
  *q++ = '\n';
  *p = 0;
  *q = 0;
}

void arr_report_bounds(const int32_t dims[4], const int32_t idx[4]) {
  char line1[64], line2[64];
  arr_format_bounds_report(dims, idx, line1, line2);
  debug_print(line1);
  debug_print(line2);
  std::fputs(line1, stderr);
  std::fflush(stderr);
  std::fputs(line2, stderr);
  std::fflush(stderr);
}

void arr_bounds_fail(const int32_t dims[4], const int32_t idx[4]) {
  arr_report_bounds(dims, idx);
  sys_raise_error(TMX_ERR_OUT_OF_BOUNDS);
  sys_end_fatal("array index out of bounds");
}

void arr_push_fail() {
  sys_raise_error(TMX_ERR_APPEND_MULTIDIM);
  sys_end_fatal("append to an array of more than one dimension");
}

void rt_dim_data(BasicArray<double>& a, int32_t n, const double* values) {
  arr_dim(a, n);
  if (n <= 0 || values == nullptr) return;
  std::memcpy(a.data(), values, static_cast<size_t>(n) * sizeof(double));
}

void rt_dim_data(BasicArray<double>& a, std::initializer_list<double> values) {
  rt_dim_data(a, static_cast<int32_t>(values.size()), values.begin());
}
