// Starting a short command and reading its output to the end: cmd_popen,
// cmd_fgets and cmd_pclose against what a caller would write by hand with
// posix_spawnp, a pipe and waitpid.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "quorvel.h"

extern char **environ;

namespace {

void BM_cmd_popen_true(benchmark::State &state) {
  char line[64];
  for (auto _ : state) {
    CmdPipe *pipe = cmd_popen("true");
    while (cmd_fgets(line, sizeof line, pipe) != nullptr) {
    }
    cmd_pclose(pipe);
  }
}
BENCHMARK(BM_cmd_popen_true)->Name("cmd_popen+read+pclose true")->UseRealTime();

void BM_posix_spawnp_true(benchmark::State &state) {
  char *argv[] = {const_cast<char *>("true"), nullptr};
  char line[64];
  for (auto _ : state) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) state.SkipWithError("pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
    pid_t pid;
    posix_spawnp(&pid, "true", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    while (read(ends[0], line, sizeof line) > 0) {
    }
    close(ends[0]);
    int status;
    waitpid(pid, &status, 0);
  }
}
BENCHMARK(BM_posix_spawnp_true)->Name("posix_spawnp+read+waitpid true")->UseRealTime();

}  // namespace
