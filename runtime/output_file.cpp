#include "runtime/output_file.h"

#include "platform/file_replace.h"
#include "platform/path_kind.h"
#include "tamblix/errors.h"

namespace {

bool refuse(const std::string& path, const char* reason, std::string& why) {
  why = reason;
  log_append(("output " + path + ": " + why + "\n").c_str());
  return false;
}

}  // namespace

bool runtime_write_output_file(const std::string& path, const void* bytes, size_t n, std::string& why) {
  why.clear();
  if (path.empty()) return refuse(path, "no file name", why);
  std::string target = path;
  if (platform_is_link(path.c_str())) {
    // The file the link leads to is replaced; the link stays.
    target = platform_real_path(path.c_str());
    if (target.empty()) return refuse(path, "a link that leads nowhere", why);
  }
  const PlatformPathKind kind = platform_path_kind(target.c_str());
  switch (kind) {
    case PlatformPathKind::missing:
    case PlatformPathKind::regular: break;
    case PlatformPathKind::directory: return refuse(path, "a folder is in the way (not a file)", why);
    case PlatformPathKind::other: return refuse(path, "not a regular file", why);
  }
  std::string temp;
  PlatformFile f = platform_create_beside(target.c_str(), temp);
  if (f == kNoPlatformFile) return refuse(path, "no new file can be made in its folder", why);
  // A file the user kept private stays private.
  if (kind == PlatformPathKind::regular) platform_copy_permissions(target.c_str(), f);
  bool ok = n == 0 || platform_file_write(f, bytes, static_cast<int64_t>(n));
  if (!ok) why = "the bytes could not all be written (disk full?)";
  if (ok && !platform_file_flush(f)) {
    ok = false;
    why = "the bytes could not be forced to the disk";
  }
  platform_file_close(f);
  if (ok && !platform_replace_file(temp.c_str(), target.c_str())) {
    ok = false;
    why = "the new file could not take the old one's place";
  }
  if (!ok) {
    // Only the file made here goes; the target is as it was.
    platform_delete_file(temp.c_str());
    log_append(("output " + path + ": " + why + "\n").c_str());
  }
  return ok;
}
