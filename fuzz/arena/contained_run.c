// The fuzz lab's arena: the first process of a contained run, which starts the fuzzer and ends
// every process it left behind.
//     contained-run STATUS_FD COMMAND ARGS...
// As the first process of a PID namespace (the sandbox's, with --as-pid-1), it only has to
// exit: the kernel then kills every process in the namespace, those in sessions of their own
// too. Anywhere else it becomes a child subreaper, so that orphans are handed to it, and kills
// them itself. SIGTERM (the arena's bound) goes on to every process of the run, and SIGUSR1
// (the bound's grace is over) kills them all. When the fuzzer
// ends it writes "exit N" or "signal S" to STATUS_FD, since an exit status alone cannot tell
// a signal from an exit of 128 + S.
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

static pid_t fuzzer = -1;
static int first = 0;  // the namespace's first process: kill(-1) reaches all the others

static void forward(int sig) {
  if (sig == SIGUSR1) sig = SIGKILL;  // the arena's word to end the run now
  if (first) {
    kill(-1, sig);
  } else if (fuzzer > 0) {
    kill(-fuzzer, sig);
  }
}

// Subreaper mode: kills this process's children until none is left; the children of a killed
// one come to this process in turn.
static void kill_descendants(void) {
  for (;;) {
    int found = 0;
    DIR* proc = opendir("/proc");
    struct dirent* entry;
    while (proc != NULL && (entry = readdir(proc)) != NULL) {
      char path[288], line[256];
      snprintf(path, sizeof path, "/proc/%s/status", entry->d_name);
      FILE* status = fopen(path, "r");
      if (status == NULL) continue;
      while (fgets(line, sizeof line, status) != NULL) {
        if (strncmp(line, "PPid:", 5) != 0) continue;
        if (atoi(line + 5) == getpid()) {
          kill(atoi(entry->d_name), SIGKILL);
          found = 1;
        }
        break;
      }
      fclose(status);
    }
    if (proc != NULL) closedir(proc);
    while (waitpid(-1, NULL, WNOHANG) > 0) {
    }
    if (!found && waitpid(-1, NULL, WNOHANG) < 0 && errno == ECHILD) return;
    usleep(1000);
  }
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: contained-run STATUS_FD COMMAND ARGS...\n");
    return 2;
  }
  const int status_fd = atoi(argv[1]);
  fcntl(status_fd, F_SETFD, FD_CLOEXEC);
  first = getpid() == 1;
  if (!first) prctl(PR_SET_CHILD_SUBREAPER, 1);

  sigset_t blocked, old;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, &old);
  fuzzer = fork();
  if (fuzzer < 0) {
    perror("contained-run: fork");
    return 2;
  }
  if (fuzzer == 0) {
    setpgid(0, 0);
    sigprocmask(SIG_SETMASK, &old, NULL);
    execvp(argv[2], argv + 2);
    fprintf(stderr, "cannot run %s: %s\n", argv[2], strerror(errno));
    _exit(127);
  }
  setpgid(fuzzer, fuzzer);
  struct sigaction on_term;
  memset(&on_term, 0, sizeof on_term);
  on_term.sa_handler = forward;
  sigaction(SIGTERM, &on_term, NULL);
  sigaction(SIGUSR1, &on_term, NULL);
  sigprocmask(SIG_SETMASK, &old, NULL);

  int status = 0;
  for (;;) {
    const pid_t done = waitpid(-1, &status, 0);
    if (done == fuzzer) break;
    if (done < 0 && errno != EINTR) return 2;
  }
  char said[32];
  const int length = WIFSIGNALED(status)
                         ? snprintf(said, sizeof said, "signal %d\n", WTERMSIG(status))
                         : snprintf(said, sizeof said, "exit %d\n", WEXITSTATUS(status));
  if (write(status_fd, said, (size_t)length) < 0) perror("contained-run: status");
  close(status_fd);
  if (!first) {
    kill(-fuzzer, SIGKILL);
    kill_descendants();
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
