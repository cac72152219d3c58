// The media archive appended to a program, on arbitrary bytes, through both
// of its readers: the packer's (directory, then every entry unpacked and
// checked against its recorded size) and the engine's media lookup, which
// finds an entry by name and unpacks it into a memory block.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/runtime_state.h"
#include "runtime/virtual_file.h"
#include "tools/pack/archive.h"

namespace {

// The engine's lookup of `name` in the archive `archive` (a memory file).
void look_up(const std::string& archive, const std::string& name) {
  runtime_set_archive_path(archive.c_str(), archive.c_str());
  std::string out;
  if (runtime_resolve_media_file(*g_runtime.generalResolver, name.c_str(), out, true) &&
      runtime_is_memory_file_name(out.c_str())) {
    const uint8_t* block = nullptr;
    int64_t n = 0;
    if (!runtime_lookup_memory_file(out.c_str(), &block, &n)) std::abort();  // a name it gives must open
    volatile uint8_t sum = 0;
    for (int64_t i = 0; i < n; ++i) sum = sum + block[i];
  }
  runtime_release_resolver_holdings(*g_runtime.generalResolver);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const std::string file(reinterpret_cast<const char*>(data), size);
  pack::Archive archive;
  std::string error;
  const pack::Found found = pack::read_archive(file, archive, error);
  if (found == pack::Found::damaged && error.empty()) std::abort();  // damage is always named

  runtime_create_resolvers();
  const std::string memory_name = runtime_register_memory_file(data, static_cast<uint32_t>(size));
  look_up(memory_name, "fuzz-entry.png");
  // Every name prints without a control character, and a name the packer
  // accepts prints as it is. The first entry of each name is the one the engine serves.
  std::vector<std::string> names;
  for (const pack::Entry& e : archive.entries) names.push_back(e.name);
  const std::vector<size_t> earlier = pack::earlier_same_names(names);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string shown = pack::printable_name(names[i]);
    for (size_t k = 0; k < shown.size(); ++k) {
      const auto b = static_cast<unsigned char>(shown[k]);
      const auto next = k + 1 < shown.size() ? static_cast<unsigned char>(shown[k + 1]) : 0;
      if (b < 0x20 || b == 0x7F || (b == 0xC2 && next >= 0x80 && next <= 0x9F)) std::abort();  // C0, DEL, C1
    }
    if (pack::valid_entry_name(names[i], error) && shown != names[i]) std::abort();
    if (earlier[i] != pack::kNoEarlier &&
        (earlier[i] >= i || !pack::same_name_ignoring_case(names[earlier[i]], names[i]) ||
         earlier[earlier[i]] != pack::kNoEarlier)) {
      std::abort();
    }
  }
  size_t n = 0;
  for (const pack::Entry& e : archive.entries) {
    if (++n > 16) break;
    std::string out;
    if (pack::unpack_entry(file, e, out, error) && out.size() != static_cast<size_t>(e.unpacked)) std::abort();
    // Names that are files on disk are found there, not in the archive.
    if (e.name.find('/') == std::string::npos) look_up(memory_name, e.name);
  }
  runtime_release_memory_file(data);
  runtime_release_resolvers();
  return 0;
}
