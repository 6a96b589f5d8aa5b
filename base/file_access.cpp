#include "base/file_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace orvo {
namespace {

thread_local std::optional<std::pair<FileStep, int>> injected_failure;
thread_local bool named_temporaries_only = false;
std::string program_folder_override;

// Returns the injected error for this step, consuming it.
int Injected(FileStep step) {
  if (injected_failure && injected_failure->first == step) {
    const int e = injected_failure->second;
    injected_failure.reset();
    return e;
  }
  return 0;
}

constexpr std::string_view kTempPrefix = ".orvo-tmp-";

std::string Folder_Of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A short name of our own, whatever the length of the target's name: ".orvo-tmp-PID-RANDOM".
// The process id lets a later write tell a dead writer's leftover from a live one.
std::string Temp_Name_In(const std::string& folder) {
  static thread_local std::mt19937 rng{std::random_device{}()};
  char name[48];
  std::snprintf(name, sizeof name, "%.*s%ld-%08X", static_cast<int>(kTempPrefix.size()), kTempPrefix.data(),
                static_cast<long>(::getpid()), static_cast<unsigned>(rng()));
  return folder + name;
}

// Removes temporaries of ours whose writer no longer runs (killed during a write).
void Remove_Stale_Temporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  const long self = static_cast<long>(::getpid());
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.substr(0, kTempPrefix.size()) != kTempPrefix) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.data() + kTempPrefix.size(), &end, 10);
    if (end == nullptr || *end != '-' || pid <= 0 || pid == self) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

// The path the kernel opened the descriptor at (links followed by its rules), or empty.
std::string Descriptor_Path(int fd) {
  char buf[PATH_MAX];
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(proc.c_str(), buf, sizeof buf);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf || buf[0] != '/') return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

// An unnamed file in the folder when the file system has them and /proc can name it later.
// Sets named to the temporary's name when an ordinary named file had to be used instead.
int Open_Temporary(const std::string& folder, mode_t perms, std::string& named) {
  named.clear();
#ifdef O_TMPFILE
  static const bool proc_names_fds = ::access("/proc/self/fd", X_OK) == 0;
  if (proc_names_fds && !named_temporaries_only) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, perms);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
#endif
  named = Temp_Name_In(folder);
  return ::open(named.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, perms);
}

// Gives the unnamed temporary a name of ours, ready for the rename.
int Name_Temporary(int fd, const std::string& folder, std::string& named) {
  named = Temp_Name_In(folder);
  if (::linkat(fd, "", AT_FDCWD, named.c_str(), AT_EMPTY_PATH) == 0) return 0;
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  const int e = errno;
  named.clear();
  return e;
}

// Writes every piece to fd. Returns the errno of the first failure (no later piece is written),
// or 0.
int Write_Pieces(int fd, const BytePieces& pieces) {
  int error = 0;
  pieces([fd, &error](std::string_view bytes) {
    if (error != 0) return false;
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : EIO;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  });
  return error;
}

// A device, a pipe or a socket is written in place: a rename would put a plain file where it was.
// The open does not wait for a pipe's reader.
bool Write_InPlace(const std::string& path, const BytePieces& pieces, FailureMode mode,
                   const std::function<void(int)>& fail) {
  bool ok = true;
  auto failed = [&](int e) {
    ok = false;
    fail(e);
  };
  int fd = -1;
  if (int e = Injected(FileStep::Open)) {
    failed(e);
  } else {
    fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) failed(errno);
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (!ok && mode == FailureMode::Stop) return false;
  if (fd < 0) {
    failed(EBADF);
  } else if (int e = Injected(FileStep::Write)) {
    failed(e);
  } else if (int write_error = Write_Pieces(fd, pieces)) {
    failed(write_error);
  }
  if (!ok && mode == FailureMode::Stop) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  if (fd < 0) {
    failed(EBADF);
  } else {
    int e = Injected(FileStep::Close);
    if (::close(fd) != 0 && e == 0) e = errno;
    if (e != 0) failed(e);
  }
  return ok;
}

}  // namespace

std::string Error_Description(int error_number) { return std::strerror(error_number); }

std::string Size_Text(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// Seams for tests and tools; their declarations live with the test support, not in the header.
void Inject_FileFailure(FileStep step, int error_number) { injected_failure = {step, error_number}; }

void Use_NamedTemporaries(bool named_only) { named_temporaries_only = named_only; }

bool File_Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool Write_File_Safely(const std::string& path, std::string_view bytes, FailureMode mode,
                       const FileErrorReport& report) {
  return Write_File_Safely(
      path, [bytes](const BytePut& put) { put(bytes); }, mode, report);
}

bool Write_File_Safely(const std::string& path, const BytePieces& pieces, FailureMode mode,
                       const FileErrorReport& report) {
  bool ok = true;
  auto fail = [&](int error_number) {
    ok = false;
    if (report) report(Error_Description(error_number));
  };
  // Through a symbolic link the file it points at is replaced and the link stays. The kernel
  // follows the link (with its rules for links in shared folders) and names what it opened; a
  // link to a missing file gets that file created where it points.
  std::string target = path;
  bool created_through_link = false;
  int link_error = 0;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    int probe = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (probe < 0 && errno == ENOENT) {
      probe = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
      created_through_link = probe >= 0;
    }
    if (probe < 0) {
      link_error = errno;
    } else {
      target = Descriptor_Path(probe);
      ::close(probe);
      if (target.empty()) target = path;
    }
  }
  const std::string folder = Folder_Of(target);

  // Open: keep the permissions of the file being replaced, if any.
  mode_t perms = 0644;
  bool keep_perms = false;
  struct stat st {};
  if (link_error == 0 && ::stat(target.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return Write_InPlace(target, pieces, mode, fail);
    if (S_ISDIR(st.st_mode)) {
      // A directory in the way: the rename would fail; report it at the open like the platform.
      fail(EISDIR);
      if (mode == FailureMode::Stop) return false;
    }
    perms = st.st_mode & 07777;
    keep_perms = !created_through_link;
  }
  int fd = -1;
  std::string temp;  // the temporary's name, once it has one
  if (ok) {
    if (int e = Injected(FileStep::Open)) {
      fail(e);
    } else if (link_error != 0) {
      fail(link_error);
    } else {
      Remove_Stale_Temporaries(folder);
      fd = Open_Temporary(folder, perms, temp);
      if (fd < 0) fail(errno);
    }
  }
  auto discard = [&] {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!temp.empty()) ::unlink(temp.c_str());
    if (created_through_link) ::unlink(target.c_str());
  };
  if (!ok && mode == FailureMode::Stop) {
    discard();
    return false;
  }

  // Write.
  if (fd < 0) {
    fail(EBADF);
  } else if (int e = Injected(FileStep::Write)) {
    fail(e);
  } else if (int write_error = Write_Pieces(fd, pieces)) {
    fail(write_error);
  }
  if (!ok && mode == FailureMode::Stop) {
    discard();
    return false;
  }

  // Close (flushes to disk first so a full disk shows here rather than after the rename). The
  // creation mask may have narrowed the permissions the temporary was opened with.
  if (fd < 0) {
    fail(EBADF);
  } else {
    int e = Injected(FileStep::Close);
    if (e == 0 && keep_perms && ::fchmod(fd, perms) != 0) e = errno;
    if (e == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) e = errno;
    if (!temp.empty()) {
      if (::close(fd) != 0 && e == 0) e = errno;
      fd = -1;
    }
    if (e != 0) fail(e);
  }

  // Replace: only a complete temporary file may take the place of the old one.
  if (ok) {
    if (int e = Injected(FileStep::Replace)) {
      fail(e);
    } else if (int link_failure = temp.empty() ? Name_Temporary(fd, folder, temp) : 0) {
      fail(link_failure);
    } else if (std::rename(temp.c_str(), target.c_str()) != 0) {
      fail(errno);
    } else {
      temp.clear();
      created_through_link = false;
    }
  }
  if (ok) {
    if (fd >= 0) ::close(fd);
  } else {
    discard();
  }
  return ok;
}

std::optional<std::string> Read_Whole_Descriptor(int fd, std::string& error, std::size_t max_bytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = Error_Description(errno);
    return std::nullopt;
  }
  if (S_ISDIR(st.st_mode)) {
    error = Error_Description(EISDIR);
    return std::nullopt;
  }
  if (S_ISREG(st.st_mode) && static_cast<std::uintmax_t>(st.st_size) > max_bytes) {
    error = Error_Description(EFBIG) + ": more than " + Size_Text(max_bytes);
    return std::nullopt;
  }
  // A regular file is read straight into a buffer of its size; anything else into a buffer that
  // doubles up to the limit. A full buffer is not grown before one more byte has come.
  std::string data;
  if (S_ISREG(st.st_mode) && st.st_size > 0) data.resize(static_cast<std::size_t>(st.st_size));
  std::size_t size = 0;
  for (;;) {
    if (size == data.size()) {
      char probe = 0;
      ssize_t n;
      do n = ::read(fd, &probe, 1);
      while (n < 0 && errno == EINTR);
      if (n < 0) {
        error = Error_Description(errno);
        return std::nullopt;
      }
      if (n == 0) break;
      if (size == max_bytes) {
        error = Error_Description(EFBIG) + ": more than " + Size_Text(max_bytes);
        return std::nullopt;
      }
      data.resize(std::min(std::max(data.capacity(), size + (1 << 16)), max_bytes));
      data[size++] = probe;
      continue;
    }
    const ssize_t n = ::read(fd, data.data() + size, data.size() - size);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Error_Description(errno);
      return std::nullopt;
    }
    if (n == 0) break;
    size += static_cast<std::size_t>(n);
  }
  data.resize(size);
  return data;
}

std::optional<std::string> Read_Whole_File(const std::string& path, std::string& error,
                                           const ReadLimits& limits) {
  // Refusing a pipe must not first wait for its writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (limits.regular_only ? O_NONBLOCK : 0));
  if (fd < 0) {
    error = Error_Description(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (limits.regular_only && ::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = S_ISDIR(st.st_mode) ? Error_Description(EISDIR) : std::string("Not a regular file");
    return std::nullopt;
  }
  if (limits.regular_only) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  auto data = Read_Whole_Descriptor(fd, error, limits.max_bytes);
  ::close(fd);
  return data;
}

std::string Program_Folder() {
  if (!program_folder_override.empty()) return program_folder_override;
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return Current_Folder();
  std::string folder = exe.parent_path().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

void Set_Program_Folder(std::string folder) { program_folder_override = std::move(folder); }

std::string Current_Folder() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string(".") : p.string();
}

}  // namespace orvo
