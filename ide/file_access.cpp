#include "ide/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace orvo {
namespace {

thread_local std::optional<std::pair<FileStep, int>> injected_failure;
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

std::string Temp_Name_Beside(const std::string& path) {
  static thread_local std::mt19937 rng{std::random_device{}()};
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08X", static_cast<unsigned>(rng()));
  return folder + "." + base + ".tmp-" + suffix;
}

// A device, a pipe or a socket is written in place: a rename would put a plain file where it was.
// The open does not wait for a pipe's reader.
bool Write_InPlace(const std::string& path, std::string_view bytes, FailureMode mode,
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
  } else {
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed(n < 0 ? errno : EIO);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
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

void Inject_FileFailure(FileStep step, int error_number) { injected_failure = {step, error_number}; }

bool File_Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool Write_File_Safely(const std::string& path, std::string_view bytes, FailureMode mode,
                       const FileErrorReport& report) {
  bool ok = true;
  auto fail = [&](int error_number) {
    ok = false;
    if (report) report(Error_Description(error_number));
  };
  // Through a symbolic link the file it points at is replaced; the link stays.
  std::string target = path;
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  const std::string temp = Temp_Name_Beside(target);

  // Open: keep the permissions of the file being replaced, if any.
  mode_t perms = 0644;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return Write_InPlace(target, bytes, mode, fail);
    if (S_ISDIR(st.st_mode)) {
      // A directory in the way: the rename would fail; report it at the open like the platform.
      fail(EISDIR);
      if (mode == FailureMode::Stop) return false;
    }
    perms = st.st_mode & 07777;
  }
  int fd = -1;
  if (ok) {
    if (int e = Injected(FileStep::Open)) {
      fail(e);
    } else {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, perms);
      if (fd < 0) fail(errno);
    }
  }
  if (!ok && mode == FailureMode::Stop) return false;

  // Write.
  if (fd < 0) {
    fail(EBADF);
  } else if (int e = Injected(FileStep::Write)) {
    fail(e);
  } else {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        fail(errno);
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  if (!ok && mode == FailureMode::Stop) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }

  // Close (flushes to disk first so a full disk shows here rather than after the rename).
  if (fd < 0) {
    fail(EBADF);
  } else {
    int e = Injected(FileStep::Close);
    if (e == 0 && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) e = errno;
    if (::close(fd) != 0 && e == 0) e = errno;
    if (e != 0) fail(e);
  }

  // Replace: only a complete temporary file may take the place of the old one.
  if (ok) {
    if (int e = Injected(FileStep::Replace)) {
      fail(e);
    } else if (std::rename(temp.c_str(), target.c_str()) != 0) {
      fail(errno);
    }
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::optional<std::string> Read_Whole_File(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = Error_Description(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    error = Error_Description(EISDIR);
    return std::nullopt;
  }
  std::string data;
  if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = Error_Description(errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
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
