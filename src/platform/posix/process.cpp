// Child processes on posix_spawn, and the reaper that collects the ones
// whose callers stopped reading without waiting for them.
//
// The library waits only for the processes it started, each by its own
// pidfd (so a process id that the caller reaped and the kernel gave to a
// new child of the caller is never waited for by mistake).  Abandoned
// children sit on a list; a detached thread sleeps in poll() on their
// pidfds and reaps each as it ends (looking again every few milliseconds
// for children without one).  Where the thread cannot be started, every
// child_start and child_abandon sweeps the list instead.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/platform.hpp"
#include "platform/posix/command_words.hpp"

extern char **environ;

namespace quorvel::platform {

size_t child_scratch_size(size_t line_length) {
  return command_word_slots(line_length) * sizeof(char *) + command_word_storage(line_length);
}

// The pipe with both ends close-on-exec; the command gets its end as
// descriptors 1 and 2 through dup2, which clears the flag on the copies.
// An end that landed on 0, 1 or 2 (the caller closed them) is moved above
// them first, so that dup2 never meets its own descriptor.
static bool open_output_pipe(int ends[2]) {
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    if (ends[i] > 2) continue;
    int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
    close(ends[i]);
    ends[i] = moved;
  }
  if (ends[0] >= 0 && ends[1] >= 0) return true;
  if (ends[0] >= 0) close(ends[0]);
  if (ends[1] >= 0) close(ends[1]);
  return false;
}

static bool is_executable_file(const char *path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, X_OK) == 0;
}

// Writes dir/name into path and says whether it is a program to run.
static bool try_directory(const char *dir, size_t length, const char *name, char *path,
                          size_t size) {
  if (length + 1 + std::strlen(name) >= size) return false;
  std::memcpy(path, dir, length);
  path[length] = '/';
  std::strcpy(path + length + 1, name);
  return is_executable_file(path);
}

// The program's path as execvp would find it.  POSIX lets posix_spawnp
// report a program that cannot be run either as its result or only as exit
// status 127 of the new process (emulators and some C libraries do the
// latter), so the search is done here, and a missing program is always a
// failure to start.
static bool find_program(const char *name, char *path, size_t size) {
  if (*name == '\0' || std::strlen(name) >= size) return false;
  if (std::strchr(name, '/') != nullptr) {
    std::strcpy(path, name);
    return is_executable_file(path);
  }
  const char *search = std::getenv("PATH");
  if (search == nullptr) search = "/bin:/usr/bin";
  for (const char *dir = search;;) {
    const char *end = std::strchr(dir, ':');
    size_t length = end == nullptr ? std::strlen(dir) : static_cast<size_t>(end - dir);
    // An empty entry stands for the working directory.
    if (length == 0 ? try_directory(".", 1, name, path, size)
                    : try_directory(dir, length, name, path, size))
      return true;
    if (end == nullptr) return false;
    dir = end + 1;
  }
}

static int spawn(char **words, int write_end, pid_t *process) {
  char path[PATH_MAX];
  if (!find_program(words[0], path, sizeof path)) return -1;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  int rc = posix_spawn_file_actions_adddup2(&actions, write_end, 1);
  if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, write_end, 2);
  if (rc == 0) rc = posix_spawn(process, path, &actions, nullptr, words, environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? 0 : -1;
}

static int open_pidfd(pid_t process) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, process, 0));
#else
  (void)process;
  return -1;
#endif
}

// ---- The reaper ------------------------------------------------------------------

namespace {

struct Reaper {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t work = PTHREAD_COND_INITIALIZER;
  ChildProcess *pending = nullptr;
  pid_t thread_owner = 0;  // the process whose reaper thread runs; 0: none
  int wake[2] = {-1, -1};  // wakes the thread's poll() when the list grows
  bool fork_handlers = false;  // hold_across_fork and its partners registered
};

Reaper reaper;

// The most pidfds the thread watches in one poll(); beyond them, and for
// children without a pidfd, it looks again every kRecheckMs.
constexpr int kWatched = 64;
constexpr int kRecheckMs = 20;

}  // namespace

// True when child has ended and is collected (or is not ours to collect
// any more: the caller reaped it, or SIGCHLD is ignored).
static bool collect(ChildProcess *child) {
  int rc;
  if (child->waiter >= 0) {
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    do {
      rc = static_cast<int>(
          syscall(SYS_waitid, P_PIDFD, child->waiter, &info, WEXITED | WNOHANG, nullptr));
    } while (rc == -1 && errno == EINTR);
    if (rc == 0) return info.si_pid != 0;
    if (errno == ECHILD) return true;
    // A kernel with pidfds but without waitid on them: wait by id below.
  }
  int status;
  do {
    rc = waitpid(child->process, &status, WNOHANG);
  } while (rc == -1 && errno == EINTR);
  return rc != 0;
}

// Unlinks and releases every collected child; the lock is held.
static ChildProcess *sweep_locked() {
  ChildProcess *done = nullptr;
  for (ChildProcess **link = &reaper.pending; *link != nullptr;) {
    ChildProcess *child = *link;
    if (collect(child)) {
      *link = child->next;
      child->next = done;
      done = child;
    } else {
      link = &child->next;
    }
  }
  return done;
}

// Release functions run outside the lock: they belong to the caller.
static void release_all(ChildProcess *done) {
  while (done != nullptr) {
    ChildProcess *next = done->next;
    if (done->waiter >= 0) close(done->waiter);
    done->release(done);
    done = next;
  }
}

// Callers sweep only where no reaper thread runs: a poll() holds on to the
// files it waits for, so a pidfd closed under the thread's feet could come
// back as the number of a new pipe's write end, which the thread would then
// keep open, and the reader of that pipe would never see its end.
static void sweep_unless_reaper_runs() {
  pthread_mutex_lock(&reaper.lock);
  ChildProcess *done = reaper.thread_owner == getpid() ? nullptr : sweep_locked();
  pthread_mutex_unlock(&reaper.lock);
  release_all(done);
}

static void sweep() {
  pthread_mutex_lock(&reaper.lock);
  ChildProcess *done = sweep_locked();
  pthread_mutex_unlock(&reaper.lock);
  release_all(done);
}

// Fills fds with the wake pipe and up to kWatched pidfds; returns how many
// and sets *partial when some pending child is not among them.
static nfds_t watch_list_locked(pollfd *fds, bool *partial) {
  nfds_t n = 0;
  fds[n++] = pollfd{reaper.wake[0], POLLIN, 0};
  *partial = false;
  for (ChildProcess *child = reaper.pending; child != nullptr; child = child->next) {
    if (child->waiter < 0 || n > kWatched) {
      *partial = true;
    } else {
      fds[n++] = pollfd{child->waiter, POLLIN, 0};
    }
  }
  return n;
}

static void drain_wake_pipe() {
  char bytes[64];
  while (read(reaper.wake[0], bytes, sizeof bytes) > 0) {
  }
}

static void reaper_main(void *) {
  thread_detach_self();
  pollfd fds[kWatched + 1];
  for (;;) {
    pthread_mutex_lock(&reaper.lock);
    while (reaper.pending == nullptr) pthread_cond_wait(&reaper.work, &reaper.lock);
    bool partial;
    nfds_t n = watch_list_locked(fds, &partial);
    pthread_mutex_unlock(&reaper.lock);
    poll(fds, n, partial ? kRecheckMs : -1);
    drain_wake_pipe();
    sweep();
  }
}

// A fork copies the lock as whichever thread held it left it, and the
// condition with the record of the reaper thread waiting on it, which a
// signal in the child then waits for forever.  The forking thread holds
// the lock across the fork, and the child starts the condition afresh.
static void hold_across_fork() { pthread_mutex_lock(&reaper.lock); }
static void release_after_fork() { pthread_mutex_unlock(&reaper.lock); }
static void renew_in_forked_child() {
  pthread_cond_init(&reaper.work, nullptr);
  pthread_mutex_unlock(&reaper.lock);
}

// Starts the thread once per process (again in a forked child, which has
// the list but not the thread).  Without it the sweeps still collect.
static void ensure_reaper_locked() {
  if (reaper.thread_owner == getpid()) return;
  if (!reaper.fork_handlers) {
    reaper.fork_handlers =
        pthread_atfork(hold_across_fork, release_after_fork, renew_in_forked_child) == 0;
  }
  // A forked child shares its parent's wake pipe and needs one of its own.
  for (int &end : reaper.wake) {
    if (end >= 0) close(end);
    end = -1;
  }
  if (pipe2(reaper.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    reaper.wake[0] = reaper.wake[1] = -1;
    return;
  }
  static const ThreadStart start{reaper_main, nullptr};
  if (thread_start(&start, 0) != 0) reaper.thread_owner = getpid();
}

// ---- The interface ---------------------------------------------------------------

int32_t child_start(const char *command_line, void *scratch, ChildProcess *child) {
  sweep_unless_reaper_runs();
  size_t length = std::strlen(command_line);
  char **words = static_cast<char **>(scratch);
  char *storage = reinterpret_cast<char *>(words + command_word_slots(length));
  if (split_command_words(command_line, storage, words) < 1) return -1;
  int ends[2];
  if (!open_output_pipe(ends)) return -1;
  pid_t process;
  int rc = spawn(words, ends[1], &process);
  close(ends[1]);
  if (rc != 0) {
    close(ends[0]);
    return -1;
  }
  *child = ChildProcess{ends[0], process, open_pidfd(process), nullptr, nullptr};
  return 0;
}

int32_t child_read_byte(ChildProcess *child, char *byte) {
  ssize_t n;
  do {
    n = read(child->read_end, byte, 1);
  } while (n == -1 && errno == EINTR);
  return n > 0 ? 1 : (n == 0 ? 0 : -1);
}

void child_abandon(ChildProcess *child, void (*release)(ChildProcess *)) {
  close(child->read_end);
  child->read_end = -1;
  child->release = release;
  if (collect(child)) {
    child->next = nullptr;
    release_all(child);
    sweep_unless_reaper_runs();
    return;
  }
  pthread_mutex_lock(&reaper.lock);
  child->next = reaper.pending;
  reaper.pending = child;
  ensure_reaper_locked();
  pthread_cond_signal(&reaper.work);
  if (reaper.wake[1] >= 0) {
    char one = 1;
    (void)!write(reaper.wake[1], &one, 1);
  }
  pthread_mutex_unlock(&reaper.lock);
  sweep_unless_reaper_runs();
}

uint32_t processor_count() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<uint32_t>(n) : 1u;
}

}  // namespace quorvel::platform
