// Running a command and reading what it prints, and the processor count.
#include <cstdint>
#include <cstring>

#include "common/alloc_hook.hpp"
#include "platform/platform.hpp"
#include "quorvel/runtime.h"

namespace platform = quorvel::platform;
using quorvel::detail::qrvl_calloc;
using quorvel::detail::qrvl_free;
using quorvel::detail::qrvl_malloc;

// The handle is the platform's child record; the handle's address is the
// record's, so that the reaper can give the block back once the command
// has ended.
struct CmdPipe {
  platform::ChildProcess child;
};

static void release_handle(platform::ChildProcess *child) {
  qrvl_free(reinterpret_cast<CmdPipe *>(child));
}

extern "C" QRVL_API CmdPipe *cmd_popen(const char *command) {
  if (command == nullptr) return nullptr;
  auto *pipe = static_cast<CmdPipe *>(qrvl_calloc(1, sizeof(CmdPipe)));
  if (pipe == nullptr) return nullptr;
  void *scratch = qrvl_malloc(platform::child_scratch_size(std::strlen(command)));
  int32_t rc = scratch == nullptr ? -1 : platform::child_start(command, scratch, &pipe->child);
  qrvl_free(scratch);
  if (rc != 0) {
    qrvl_free(pipe);
    return nullptr;
  }
  return pipe;
}

extern "C" QRVL_API char *cmd_fgets(char *buf, int32_t size, CmdPipe *pipe) {
  if (pipe == nullptr) return nullptr;
  if (size - 1 < 1) return buf;
  for (int32_t stored = 0; stored < size - 1;) {
    char byte;
    if (platform::child_read_byte(&pipe->child, &byte) != 1) return nullptr;
    buf[stored++] = byte;
    buf[stored] = '\0';
    if (byte == '\n') break;
  }
  return buf;
}

extern "C" QRVL_API int32_t cmd_pclose(CmdPipe *pipe) {
  if (pipe != nullptr) platform::child_abandon(&pipe->child, release_handle);
  return -1;
}

extern "C" QRVL_API int32_t _WIN_getcpunum(void) {
  return static_cast<int32_t>(platform::processor_count());
}
