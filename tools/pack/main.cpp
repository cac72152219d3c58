// pack: appends media to a program as the archive the engine reads from the
// end of its executable, and lists, checks and extracts such archives.
//
//   pack add EXE [-C DIR] NAME... -o OUT   copy EXE to OUT with NAME... packed
//   pack list FILE                          name, stored and unpacked size, ratio
//   pack extract FILE DIR                   unpack every entry into DIR
//   pack check FILE                         every entry unpacks to its size
//
// Entry names are plain file names, read from the current directory or from
// the DIR of the last -C before them. Adding to a file that already ends in
// an archive replaces that archive.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive.h"

namespace {

const char kUsage[] =
    "usage: pack add EXE [-C DIR] NAME... -o OUT\n"
    "       pack list FILE\n"
    "       pack extract FILE DIR\n"
    "       pack check FILE\n";

int usage_error(const std::string& what) {
  std::fprintf(stderr, "pack: %s\n%s", what.c_str(), kUsage);
  return 2;
}

int fail(const std::string& what) {
  std::fprintf(stderr, "pack: %s\n", what.c_str());
  return 1;
}

bool read_whole(const std::string& path, std::string& out, std::string& error) {
  out.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    error = path + ": not a regular file";
    return false;
  }
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = path + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

bool write_all(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Writes OUT through a temporary file beside it and a rename, so OUT may be
// the input and a failed write leaves any old OUT as it was.
bool write_output(const std::string& path, const std::string& head, size_t head_len, const std::string& tail,
                  mode_t mode, std::string& error) {
  std::string tmpl = path + ".packXXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) {
    error = path + ": cannot create a file beside it: " + std::strerror(errno);
    return false;
  }
  bool ok = write_all(fd, head.data(), head_len) && write_all(fd, tail.data(), tail.size());
  ok = ok && fchmod(fd, mode) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tmpl.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno ? errno : EIO);
    unlink(tmpl.c_str());
    return false;
  }
  return true;
}

int cmd_add(int argc, char** argv) {
  std::string exe, out;
  std::string dir;
  struct Input {
    std::string name, path;
  };
  std::vector<Input> inputs;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o" || a == "-C") {
      if (i + 1 >= argc) return usage_error(a + " needs a value");
      (a == "-o" ? out : dir) = argv[++i];
    } else if (exe.empty()) {
      exe = a;
    } else {
      inputs.push_back({a, dir.empty() ? a : dir + "/" + a});
    }
  }
  if (exe.empty()) return usage_error("add needs the executable");
  if (out.empty()) return usage_error("add needs the output file (-o OUT)");
  if (inputs.empty()) return usage_error("add needs at least one file to pack");

  for (size_t i = 0; i < inputs.size(); ++i) {
    std::string error;
    if (!pack::valid_entry_name(inputs[i].name, error)) return fail("refused: " + error);
    for (size_t j = 0; j < i; ++j) {
      if (pack::same_name_ignoring_case(inputs[i].name, inputs[j].name)) {
        return fail("refused: \"" + inputs[j].name + "\" and \"" + inputs[i].name +
                    "\" are the same name ignoring case; the engine would find only the first");
      }
    }
  }

  std::string program, error;
  if (!read_whole(exe, program, error)) return fail(error);
  size_t keep = program.size();
  pack::Archive old;
  switch (pack::read_archive(program, old, error)) {
    case pack::Found::none: break;
    case pack::Found::ok: keep = static_cast<size_t>(old.start); break;
    case pack::Found::damaged:
      return fail(exe + " ends in a damaged archive (" + error + "); not adding a second one");
  }

  std::vector<pack::PackedFile> files;
  int64_t total_unpacked = 0;
  for (const Input& in : inputs) {
    std::string data;
    if (!read_whole(in.path, data, error)) return fail(error);
    if (static_cast<int64_t>(data.size()) > pack::kMaxUnpacked) {
      return fail(in.path + ": " + std::to_string(data.size()) + " bytes; the engine unpacks entries of at most " +
                  std::to_string(pack::kMaxUnpacked) + " bytes");
    }
    pack::PackedFile f;
    f.name = in.name;
    f.unpacked = static_cast<int32_t>(data.size());
    if (!pack::pack_stream(data, f.stream, error)) return fail(in.path + ": " + error);
    total_unpacked += static_cast<int64_t>(data.size());
    files.push_back(std::move(f));
  }
  std::string archive;
  if (!pack::build_archive(files, archive, error)) return fail(error);

  struct stat st {};
  mode_t mode = 0755;
  if (stat(exe.c_str(), &st) == 0) mode = (st.st_mode & 0777) | ((st.st_mode & 0444) >> 2);
  if (!write_output(out, program, keep, archive, mode, error)) return fail(error);
  std::printf("%s: %zu files, %lld bytes packed into an archive of %zu bytes%s\n", out.c_str(), files.size(),
              static_cast<long long>(total_unpacked), archive.size(),
              keep < program.size() ? " (the old archive replaced)" : "");
  return 0;
}

// Reads FILE and its archive; prints why not and returns false when there is
// none or it is damaged.
bool open_archive(const std::string& path, std::string& file, pack::Archive& a) {
  std::string error;
  if (!read_whole(path, file, error)) {
    fail(error);
    return false;
  }
  switch (pack::read_archive(file, a, error)) {
    case pack::Found::ok: return true;
    case pack::Found::none: fail(path + ": no archive at its end"); return false;
    case pack::Found::damaged: fail(path + ": damaged archive: " + error); return false;
  }
  return false;
}

int cmd_list(const std::string& path) {
  std::string file;
  pack::Archive a;
  if (!open_archive(path, file, a)) return 1;
  int width = 4;
  for (const pack::Entry& e : a.entries) width = std::max(width, static_cast<int>(e.name.size()));
  auto ratio = [](int64_t stored, int64_t unpacked) {
    char buf[32];
    if (unpacked <= 0) return std::string("-");
    std::snprintf(buf, sizeof buf, "%.1f%%", 100.0 * static_cast<double>(stored) / static_cast<double>(unpacked));
    return std::string(buf);
  };
  std::printf("%-*s %12s %12s %7s\n", width, "name", "stored", "unpacked", "ratio");
  int64_t stored = 0, unpacked = 0;
  for (const pack::Entry& e : a.entries) {
    std::printf("%-*s %12d %12d %7s\n", width, e.name.c_str(), e.stored, e.unpacked,
                ratio(e.stored, e.unpacked).c_str());
    stored += e.stored;
    unpacked += e.unpacked;
  }
  const std::string total = std::to_string(a.entries.size()) + (a.entries.size() == 1 ? " entry" : " entries");
  std::printf("%-*s %12lld %12lld %7s\n", width, total.c_str(), static_cast<long long>(stored),
              static_cast<long long>(unpacked), ratio(stored, unpacked).c_str());
  return 0;
}

int cmd_check(const std::string& path) {
  std::string file;
  pack::Archive a;
  if (!open_archive(path, file, a)) return 1;
  size_t bad = 0;
  for (const pack::Entry& e : a.entries) {
    std::string data, error;
    if (pack::unpack_entry(file, e, data, error)) {
      std::printf("ok       %s\n", e.name.c_str());
    } else {
      std::printf("DAMAGED  %s: %s\n", e.name.c_str(), error.c_str());
      ++bad;
    }
  }
  if (bad > 0) {
    std::printf("%zu of %zu entries damaged\n", bad, a.entries.size());
    return 1;
  }
  std::printf("%zu entries unpack to their recorded sizes\n", a.entries.size());
  return 0;
}

int cmd_extract(const std::string& path, const std::string& dir) {
  std::string file;
  pack::Archive a;
  if (!open_archive(path, file, a)) return 1;
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return fail(dir + ": " + std::strerror(errno));
  size_t bad = 0;
  for (const pack::Entry& e : a.entries) {
    std::string data, error;
    if (!pack::valid_entry_name(e.name, error)) {
      std::fprintf(stderr, "pack: skipped: %s\n", error.c_str());
      ++bad;
      continue;
    }
    if (!pack::unpack_entry(file, e, data, error)) {
      std::fprintf(stderr, "pack: %s: %s\n", e.name.c_str(), error.c_str());
      ++bad;
      continue;
    }
    const std::string target = dir + "/" + e.name;
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    bool ok = fd >= 0 && write_all(fd, data.data(), data.size());
    if (fd >= 0) ok = close(fd) == 0 && ok;
    if (!ok) {
      std::fprintf(stderr, "pack: %s: %s\n", target.c_str(), std::strerror(errno ? errno : EIO));
      ++bad;
    }
  }
  std::printf("%zu of %zu entries extracted into %s\n", a.entries.size() - bad, a.entries.size(), dir.c_str());
  return bad > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage_error("no command");
  const std::string cmd = argv[1];
  if (cmd == "add") return cmd_add(argc, argv);
  if (cmd == "list" && argc == 3) return cmd_list(argv[2]);
  if (cmd == "check" && argc == 3) return cmd_check(argv[2]);
  if (cmd == "extract" && argc == 4) return cmd_extract(argv[2], argv[3]);
  if (cmd == "--help" || cmd == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return usage_error("unknown command or wrong number of arguments: " + cmd);
}
