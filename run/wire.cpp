#include "run/wire.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace orvo::wire {

bool Send_All(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool Send_Frame(int fd, char type, std::string_view payload) {
  std::string frame(1, type);
  Append_LE(frame, static_cast<std::uint32_t>(payload.size()), 4);
  frame.append(payload);
  return Send_All(fd, frame.data(), frame.size());
}

int Read_All(int fd, char* data, std::size_t size, int timeout_ms) {
  bool first = true;
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, first ? timeout_ms : -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    first = false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int Read_Frame(int fd, char& type, std::string& payload, int timeout_ms) {
  char head[5];
  if (int r = Read_All(fd, head, sizeof head, timeout_ms)) return r;
  type = head[0];
  const std::uint32_t size = Read_LE32(std::string_view(head + 1, 4), 0);
  if (size > kMaxPayload) return -1;
  payload.assign(size, '\0');
  return Read_All(fd, payload.data(), size, -1) == 0 ? 0 : -1;
}

void Append_Text(std::string& out, std::string_view text) {
  Append_LE(out, static_cast<std::uint32_t>(text.size()), 4);
  out.append(text);
}

}  // namespace orvo::wire
