#include "platform/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

bool platform_file_info(const char* path, PlatformFileInfo& out) {
  struct stat st;
  if (!path || ::stat(path, &st) != 0) return false;
  out.is_directory = S_ISDIR(st.st_mode);
  out.size = static_cast<int64_t>(st.st_size);
  out.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
  out.device = static_cast<uint64_t>(st.st_dev);
  out.inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool platform_file_identity(PlatformFile f, uint64_t& device, uint64_t& inode) {
  struct stat st;
  if (f < 0 || ::fstat(f, &st) != 0) return false;
  device = static_cast<uint64_t>(st.st_dev);
  inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

PlatformFile platform_create_beside(const char* target, std::string& temp_path) {
  std::string t = target ? target : "";
  const size_t slash = t.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : t.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? t : t.substr(slash + 1);
  // A hidden name of our own, never one that exists: mkstemp creates it
  // exclusively.
  std::string pattern = dir + "." + base.substr(0, 64) + ".tmp-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) return kNoPlatformFile;
  // The permissions a newly created file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  temp_path = buf.data();
  return fd;
}

bool platform_file_flush(PlatformFile f) {
  int r;
  do {
    r = ::fsync(f);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

bool platform_replace_file(const char* from, const char* to) { return ::rename(from, to) == 0; }

bool platform_local_time(int64_t t, int fields[6]) {
  const time_t tt = static_cast<time_t>(t);
  struct tm tm {};
  if (!::localtime_r(&tt, &tm)) return false;
  fields[0] = tm.tm_year + 1900;
  fields[1] = tm.tm_mon + 1;
  fields[2] = tm.tm_mday;
  fields[3] = tm.tm_hour;
  fields[4] = tm.tm_min;
  fields[5] = tm.tm_sec;
  return true;
}
