#include "run/wire.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvo::wire {
namespace {

struct SocketPair {
  int fd[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
  ~SocketPair() {
    for (int f : fd)
      if (f >= 0) ::close(f);
  }
};

TEST(Wire, FramesArriveWholeAndInOrder) {
  const struct {
    char type;
    std::string payload;
  } rows[] = {{'R', ""}, {'M', std::string("\0\1text", 6)}, {'D', std::string(200000, 'x')}};
  SocketPair s;
  for (const auto& row : rows) {
    // Larger than the socket buffer: send from a second thread of control.
    const pid_t writer = ::fork();
    if (writer == 0) ::_exit(Send_Frame(s.fd[0], row.type, row.payload) ? 0 : 1);
    char type = 0;
    std::string payload;
    EXPECT_EQ(Read_Frame(s.fd[1], type, payload, 5000), 0);
    EXPECT_EQ(type, row.type);
    EXPECT_EQ(payload, row.payload);
    int status = 0;
    ::waitpid(writer, &status, 0);
  }
}

TEST(Wire, NothingSentTimesOutAndAClosedPeerFails) {
  SocketPair s;
  char type = 0;
  std::string payload;
  EXPECT_EQ(Read_Frame(s.fd[1], type, payload, 10), -2);
  // A header cut short by the peer closing is a failure, not a frame.
  ASSERT_TRUE(Send_All(s.fd[0], "R\x05\x00", 3));
  ::close(s.fd[0]);
  s.fd[0] = -1;
  EXPECT_EQ(Read_Frame(s.fd[1], type, payload, 1000), -1);
  EXPECT_FALSE(Send_Frame(s.fd[1], 'R', "x"));
}

TEST(Wire, AnOversizedLengthIsRefusedBeforeAllocating) {
  SocketPair s;
  std::string head(1, 'R');
  Append_LE(head, kMaxPayload + 1, 4);
  ASSERT_TRUE(Send_All(s.fd[0], head.data(), head.size()));
  char type = 0;
  std::string payload;
  EXPECT_EQ(Read_Frame(s.fd[1], type, payload, 1000), -1);
  EXPECT_TRUE(payload.empty());
}

TEST(Wire, ReaderReadsFieldsAndZeroesPastTheEnd) {
  std::string out;
  Append_LE(out, 0x12345678u, 4);
  out.push_back('\x7F');
  Append_Text(out, "box text");
  out += "rest";
  Reader in(out);
  EXPECT_EQ(in.U32(), 0x12345678u);
  EXPECT_EQ(in.U8(), 0x7F);
  EXPECT_EQ(in.Text(), "box text");
  EXPECT_EQ(in.Rest(), "rest");
  // A text whose length runs past the payload is cut at its end; then every field is empty.
  std::string cut;
  Append_LE(cut, 100u, 4);
  cut += "abc";
  Reader short_in(cut);
  EXPECT_EQ(short_in.Text(), "abc");
  EXPECT_EQ(short_in.U32(), 0u);
  EXPECT_EQ(short_in.U8(), 0);
  EXPECT_EQ(short_in.Text(), "");
}

}  // namespace
}  // namespace orvo::wire
