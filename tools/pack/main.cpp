// pack: appends media to a program as the archive the engine reads from the
// end of its executable, and lists, checks and extracts such archives.
//
//   pack add EXE [-C DIR] NAME... -o OUT   copy EXE to OUT with NAME... packed
//   pack list FILE                          name, stored and unpacked size, ratio
//   pack extract FILE DIR                   unpack every entry into DIR
//   pack check FILE                         every entry unpacks to its size
//                                           (there is no checksum to check)
//
// Entry names are plain file names, read from the current directory or from
// the DIR of the last -C before them. Adding to a file that already ends in
// an archive replaces that archive.
//
// Archives may come from anywhere, so nothing in one is trusted: names are
// printed with their control characters escaped, a name the packer would not
// have written and the second of two names alike are never extracted, and an
// extracted file is a new file renamed into place, so a link already at its
// name is replaced rather than written through. Only regular files are read:
// a named pipe or a device is refused instead of waited on.
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
    "usage: pack add EXE [-C DIR] NAME... -o OUT   OUT = EXE with NAME... packed onto its end\n"
    "       pack list FILE                         names and sizes of the entries\n"
    "       pack extract FILE DIR                  every entry into DIR\n"
    "       pack check FILE                        every entry unpacks to its recorded size\n"
    "                                              (no checksum: changed bytes go unseen)\n"
    "       pack --help                            what each command does and refuses\n";

const char kHelp[] =
    "\n"
    "add      copies EXE to OUT with the files NAME... packed onto its end (read from\n"
    "         the DIR of the last -C before them); an archive EXE already ends in is\n"
    "         replaced. Names are plain UTF-8 file names of at most 255 bytes without\n"
    "         control characters, no two alike ignoring case.\n"
    "list     prints each entry's name (control characters escaped as \\xHH), stored\n"
    "         and unpacked size.\n"
    "extract  writes every entry into DIR (made when missing) as a new file renamed\n"
    "         over whatever had its name. An entry with a name add refuses, or with\n"
    "         the name of an earlier entry (the engine only ever serves the first),\n"
    "         is skipped and the exit status is 1.\n"
    "check    unpacks every entry and finds: streams that do not unpack, entries\n"
    "         that unpack to another size than recorded, data outside the archive,\n"
    "         names add refuses, and names of earlier entries. It cannot find\n"
    "         changed bytes that still unpack to the recorded size: the archive\n"
    "         holds no checksum. Compare extracted files with the originals for that.\n"
    "\n"
    "Only regular files are read: named pipes, devices and folders are refused.\n"
    "Exit status: 0 done, 1 refused, damaged or failed, 2 wrong arguments.\n";

int usage_error(const std::string& what) {
  std::fprintf(stderr, "pack: %s\n%s", what.c_str(), kUsage);
  return 2;
}

int fail(const std::string& what) {
  std::fprintf(stderr, "pack: %s\n", what.c_str());
  return 1;
}

const char* file_kind(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// Reads a regular file whole, at most `limit` bytes (more is refused, saying
// `limit_reason`). Only a regular file is opened: a named pipe would wait for
// a writer for ever, a device may never end. The open does not block, and
// what it opened is checked again, so a pipe put in the file's place after
// the first look is refused too. `mode` receives the file's mode.
bool read_regular_file(const std::string& path, int64_t limit, const char* limit_reason, std::string& out, mode_t& mode,
                       std::string& error) {
  out.clear();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = path + ": not a regular file (" + file_kind(st.st_mode) + ")";
    return false;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    error = path + ": not a regular file (" + file_kind(st.st_mode) + ")";
    return false;
  }
  mode = st.st_mode;
  const auto too_large = [&]() {
    close(fd);
    error = path + ": larger than " + std::to_string(limit) + " bytes; " + limit_reason;
    return false;
  };
  if (st.st_size > limit) return too_large();
  out.reserve(static_cast<size_t>(st.st_size));
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
    if (static_cast<int64_t>(out.size()) > limit) return too_large();  // it grew while being read
  }
  close(fd);
  return true;
}

bool read_regular_file(const std::string& path, std::string& out, std::string& error) {
  mode_t mode = 0;
  return read_regular_file(path, INT64_MAX, "", out, mode, error);
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

  std::vector<std::string> names;
  for (const Input& in : inputs) {
    std::string error;
    if (!pack::valid_entry_name(in.name, error)) return fail("refused: " + error);
    names.push_back(in.name);
  }
  const std::vector<size_t> earlier = pack::earlier_same_names(names);
  for (size_t i = 0; i < names.size(); ++i) {
    if (earlier[i] != pack::kNoEarlier) {
      return fail("refused: " + pack::quoted_name(names[earlier[i]]) + " and " + pack::quoted_name(names[i]) +
                  " are the same name ignoring case; the engine would find only the first");
    }
  }

  std::string program, error;
  mode_t exe_mode = 0;
  if (!read_regular_file(exe, INT64_MAX, "", program, exe_mode, error)) return fail(error);
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
    mode_t mode = 0;
    if (!read_regular_file(in.path, pack::kMaxUnpacked, "the engine unpacks entries of at most that", data, mode,
                           error)) {
      return fail(error);
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

  // The packed program is executable by whoever may read it.
  const mode_t mode = (exe_mode & 0777) | ((exe_mode & 0444) >> 2);
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
  if (!read_regular_file(path, file, error)) {
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

std::vector<size_t> earlier_same_names(const pack::Archive& a) {
  std::vector<std::string> names;
  names.reserve(a.entries.size());
  for (const pack::Entry& e : a.entries) names.push_back(e.name);
  return pack::earlier_same_names(names);
}

// Why an entry is never extracted: a name the packer refuses, or the name of
// an earlier entry, which the engine serves in its place. Empty when neither.
std::string refused_name(const pack::Archive& a, const std::vector<size_t>& earlier, size_t i) {
  std::string error;
  if (!pack::valid_entry_name(a.entries[i].name, error)) return error;
  if (earlier[i] != pack::kNoEarlier) {
    return pack::quoted_name(a.entries[i].name) + " (entry " + std::to_string(i + 1) + ") is the name of entry " +
           std::to_string(earlier[i] + 1) + " ignoring case; the engine only ever serves the first";
  }
  return "";
}

int cmd_list(const std::string& path) {
  std::string file;
  pack::Archive a;
  if (!open_archive(path, file, a)) return 1;
  std::vector<std::string> shown;
  int width = 4;
  for (const pack::Entry& e : a.entries) {
    shown.push_back(pack::printable_name(e.name));
    width = std::max(width, static_cast<int>(shown.back().size()));
  }
  auto ratio = [](int64_t stored, int64_t unpacked) {
    char buf[32];
    if (unpacked <= 0) return std::string("-");
    std::snprintf(buf, sizeof buf, "%.1f%%", 100.0 * static_cast<double>(stored) / static_cast<double>(unpacked));
    return std::string(buf);
  };
  std::printf("%-*s %12s %12s %7s\n", width, "name", "stored", "unpacked", "ratio");
  int64_t stored = 0, unpacked = 0;
  for (size_t i = 0; i < a.entries.size(); ++i) {
    const pack::Entry& e = a.entries[i];
    std::printf("%-*s %12d %12d %7s\n", width, shown[i].c_str(), e.stored, e.unpacked,
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
  const std::vector<size_t> earlier = earlier_same_names(a);
  size_t damaged = 0, refused = 0;
  for (size_t i = 0; i < a.entries.size(); ++i) {
    const pack::Entry& e = a.entries[i];
    const std::string shown = pack::printable_name(e.name);
    std::string data, error = refused_name(a, earlier, i);
    if (!error.empty()) {
      std::printf("REFUSED  %s: %s\n", shown.c_str(), error.c_str());
      ++refused;
    } else if (pack::unpack_entry(file, e, data, error)) {
      std::printf("ok       %s\n", shown.c_str());
    } else {
      std::printf("DAMAGED  %s: %s\n", shown.c_str(), error.c_str());
      ++damaged;
    }
  }
  if (damaged > 0) std::printf("%zu of %zu entries damaged\n", damaged, a.entries.size());
  if (refused > 0) std::printf("%zu of %zu entries with a name extract refuses\n", refused, a.entries.size());
  if (damaged + refused > 0) return 1;
  std::printf(a.entries.size() == 1 ? "%zu entry unpacks to its recorded size\n"
                                    : "%zu entries unpack to their recorded sizes\n",
              a.entries.size());
  return 0;
}

// Writes one extracted file into the folder `dir_fd`: a new file of a fresh
// name, created exclusively, renamed over `name` once it is complete. What
// had that name before (a hard link to a file elsewhere, a symbolic link, a
// named pipe) is replaced, never written through or waited on; a failed write
// leaves no file behind.
bool write_extracted(int dir_fd, const std::string& name, const std::string& data, std::string& error) {
  static unsigned counter = 0;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = ".pack-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".part";
    fd = openat(dir_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = std::string("cannot create a file in the folder: ") + std::strerror(errno);
    return false;
  }
  errno = 0;
  bool ok = write_all(fd, data.data(), data.size());
  ok = close(fd) == 0 && ok;
  if (ok && renameat(dir_fd, temp.c_str(), dir_fd, name.c_str()) == 0) return true;
  error = std::strerror(errno ? errno : EIO);
  unlinkat(dir_fd, temp.c_str(), 0);
  return false;
}

int cmd_extract(const std::string& path, const std::string& dir) {
  std::string file;
  pack::Archive a;
  if (!open_archive(path, file, a)) return 1;
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return fail(dir + ": " + std::strerror(errno));
  // Every entry goes into the folder opened here, whatever happens to its
  // path meanwhile.
  const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (dir_fd < 0) return fail(dir + ": " + std::strerror(errno));
  const std::vector<size_t> earlier = earlier_same_names(a);
  size_t bad = 0;
  for (size_t i = 0; i < a.entries.size(); ++i) {
    const pack::Entry& e = a.entries[i];
    std::string data, error = refused_name(a, earlier, i);
    if (!error.empty()) {
      std::fprintf(stderr, "pack: skipped: %s\n", error.c_str());
      ++bad;
    } else if (!pack::unpack_entry(file, e, data, error)) {
      std::fprintf(stderr, "pack: %s: %s\n", pack::quoted_name(e.name).c_str(), error.c_str());
      ++bad;
    } else if (!write_extracted(dir_fd, e.name, data, error)) {
      std::fprintf(stderr, "pack: %s/%s: %s\n", dir.c_str(), pack::printable_name(e.name).c_str(), error.c_str());
      ++bad;
    }
  }
  close(dir_fd);
  std::printf("%zu of %zu entries extracted into %s\n", a.entries.size() - bad, a.entries.size(), dir.c_str());
  return bad > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage_error("no command");
  const std::string cmd = argv[1];
  // "--help" anywhere asks for help (a file of that name is ./--help).
  bool help = cmd == "help";
  for (int i = 1; i < argc; ++i) help = help || std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0;
  if (help) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (cmd == "add") return cmd_add(argc, argv);
  if (cmd == "list" && argc == 3) return cmd_list(argv[2]);
  if (cmd == "check" && argc == 3) return cmd_check(argv[2]);
  if (cmd == "extract" && argc == 4) return cmd_extract(argv[2], argv[3]);
  return usage_error("unknown command or wrong number of arguments: " + cmd);
}
