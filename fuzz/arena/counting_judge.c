// The fuzz lab's arena: the judge a fuzzer calls, which judges nothing itself. It hands its
// arguments and the input (the file's bytes, read here, or standard input) over the socket
// beside it to the arena, which runs the real judge on them, counts the run and keeps the
// input's digest, and hands back what the judge wrote and its exit status, as they come, so
// that --batch answers each frame at once. Same arguments and exit codes as tumblewick-judge.
//
// To the arena: "TWJ1", the argument count and each argument, LC_ALL, LC_MESSAGES and LANG
// (each a 4-byte little-endian length, or 0xffffffff where unset, then the bytes), one byte
// for the input (0 none, 1 the bytes follow to the end, 2 unreadable, 3 a directory), then the
// bytes. Back: frames of one byte (1 standard output, 2 standard error, 3 the exit status), a
// 4-byte length and the bytes; the exit status is a 4-byte little-endian number.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

enum { kNone = 0, kStream = 1, kUnreadable = 2, kDirectory = 3 };

static int fail(const char* what) {
  fprintf(stderr, "tumblewick-judge: the arena's judge is gone (%s: %s)\n", what, strerror(errno));
  return 2;
}

static int send_all(int fd, const void* data, size_t size) {
  const char* at = data;
  while (size > 0) {
    const ssize_t sent = send(fd, at, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return -1;
    at += sent;
    size -= (size_t)sent;
  }
  return 0;
}

static int write_all(int fd, const void* data, size_t size) {
  const char* at = data;
  while (size > 0) {
    const ssize_t wrote = write(fd, at, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return -1;
    at += wrote;
    size -= (size_t)wrote;
  }
  return 0;
}

static int send_text(int fd, const char* text) {
  const uint32_t length = text == NULL ? 0xffffffffu : (uint32_t)strlen(text);
  const unsigned char head[4] = {length & 0xff, (length >> 8) & 0xff, (length >> 16) & 0xff,
                                 length >> 24};
  if (send_all(fd, head, 4) < 0) return -1;
  return text == NULL ? 0 : send_all(fd, text, length);
}

// Where the input comes from: what the real judge would read, by the same reading of the
// arguments (options anywhere, "--" before operands that start with "--").
static int source_of(int argc, char** argv, int* input) {
  int options = 1, batch = 0, levels = 0, operands = 0;
  const char* file = NULL;
  for (int i = 1; i < argc; ++i) {
    if (options && strcmp(argv[i], "--") == 0) {
      options = 0;
    } else if (options && strncmp(argv[i], "--", 2) == 0) {
      batch |= strcmp(argv[i], "--batch") == 0;
      levels |= strcmp(argv[i], "--levels") == 0;
    } else if (++operands == 2) {
      file = argv[i];
    }
  }
  *input = -1;
  if (levels) return kNone;
  if (batch) {
    *input = 0;
    return kStream;
  }
  if (operands != 2) return kNone;
  if (strcmp(file, "-") == 0) {
    *input = 0;
    return kStream;
  }
  struct stat about;
  if (stat(file, &about) == 0 && S_ISDIR(about.st_mode)) return kDirectory;
  *input = open(file, O_RDONLY);
  return *input < 0 ? kUnreadable : kStream;
}

// One frame back from the arena into `buffer`; its channel, or -1 at the end.
static int receive(int fd, unsigned char* buffer, size_t capacity, size_t* size) {
  unsigned char head[5];
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = recv(fd, head + got, sizeof head - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    got += (size_t)n;
  }
  const uint32_t length = head[1] | head[2] << 8 | head[3] << 16 | (uint32_t)head[4] << 24;
  if (length > capacity) return -1;
  for (got = 0; got < length;) {
    const ssize_t n = recv(fd, buffer + got, length - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    got += (size_t)n;
  }
  *size = length;
  return head[0];
}

int main(int argc, char** argv) {
  static unsigned char buffer[1 << 16];
  struct sockaddr_un address = {.sun_family = AF_UNIX};
  char self[PATH_MAX];
  const ssize_t named = readlink("/proc/self/exe", self, sizeof self - 1);
  if (named < 0) return fail("/proc/self/exe");
  self[named] = '\0';
  *strrchr(self, '/') = '\0';
  if (snprintf(address.sun_path, sizeof address.sun_path, "%s/judge.sock", self) >=
      (int)sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return fail(self);
  }
  const int arena = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (arena < 0 || connect(arena, (struct sockaddr*)&address, sizeof address) < 0) {
    return fail(address.sun_path);
  }

  int input;
  const unsigned char source = (unsigned char)source_of(argc, argv, &input);
  const uint32_t count = (uint32_t)argc - 1;
  const unsigned char head[8] = {
      'T', 'W', 'J', '1', count & 0xff, (count >> 8) & 0xff, (count >> 16) & 0xff, count >> 24};
  int broken = send_all(arena, head, sizeof head);
  for (int i = 1; i < argc && broken == 0; ++i) broken = send_text(arena, argv[i]);
  for (const char* const* name = (const char* const[]){"LC_ALL", "LC_MESSAGES", "LANG", NULL};
       *name != NULL && broken == 0; ++name) {
    broken = send_text(arena, getenv(*name));
  }
  if (broken == 0) broken = send_all(arena, &source, 1);
  if (broken != 0) return fail("send");
  if (input < 0) shutdown(arena, SHUT_WR);

  for (;;) {
    struct pollfd ready[2] = {{.fd = arena, .events = POLLIN}, {.fd = input, .events = POLLIN}};
    if (poll(ready, input < 0 ? 1 : 2, -1) < 0) {
      if (errno == EINTR) continue;
      return fail("poll");
    }
    if (input >= 0 && ready[1].revents != 0) {
      const ssize_t n = read(input, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0 && send_all(arena, buffer, (size_t)n) == 0) continue;
      // At the input's end (or when the arena took no more: the judge stopped reading).
      shutdown(arena, SHUT_WR);
      if (input > 0) close(input);
      input = -1;
    }
    if (ready[0].revents == 0) continue;
    size_t size = 0;
    const int channel = receive(arena, buffer, sizeof buffer, &size);
    if (channel == 3 && size == 4)
      return (int)(buffer[0] | buffer[1] << 8 | buffer[2] << 16 | (uint32_t)buffer[3] << 24);
    if (channel != 1 && channel != 2) return fail("recv");
    if (write_all(channel, buffer, size) < 0) return 2;
  }
}
