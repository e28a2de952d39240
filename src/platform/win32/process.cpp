// Child processes on CreateProcessA, and the processor count.
//
// A Windows program parses its own command line, so the line goes to the
// new process as it is.  The child inherits exactly two handles, named in a
// handle list: the write end of its output pipe and a copy of the caller's
// standard input.  Without the list it would inherit every inheritable
// handle of the process, among them the write ends of pipes that other
// threads are handing to their own children at the same moment, and those
// readers would not see their end until this child exits too.
//
// A process handle never leaves a zombie behind: closing it is all the
// reaping Windows needs, so an abandoned child is released at once.

// winsock2.h (which the interface includes) must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <cstring>

#include "platform/platform.hpp"

namespace quorvel::platform {

// CreateProcessA may write into the command line, so it gets a copy.
size_t child_scratch_size(size_t line_length) {
  return line_length + 1;
}

static bool has_program(const char *line) {
  while (*line == ' ' || *line == '\t') ++line;
  return *line != '\0';
}

// The read end is never inheritable; the write end only until child_start
// closes it, right after its child is made, so that a process started
// meanwhile by other code without a handle list rarely gets hold of it.
static bool open_output_pipe(HANDLE *read_end, HANDLE *write_end) {
  if (!CreatePipe(read_end, write_end, nullptr, 0)) return false;
  if (SetHandleInformation(*write_end, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return true;
  CloseHandle(*read_end);
  CloseHandle(*write_end);
  return false;
}

// An inheritable copy of the caller's standard input, or null when the
// caller has none.  A copy, so that the caller's own handle keeps its flags
// (a handle list takes only inheritable handles).
static HANDLE inheritable_stdin() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE copy = nullptr;
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE self = GetCurrentProcess();
  if (!DuplicateHandle(self, in, self, &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) return nullptr;
  return copy;
}

// The attribute list for one handle list; a list of one attribute takes a
// few dozen bytes.
struct HandleList {
  alignas(void *) unsigned char storage[128];
  HANDLE handles[2];
};

static LPPROC_THREAD_ATTRIBUTE_LIST make_handle_list(HandleList *list, HANDLE write_end,
                                                     HANDLE in) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  if (size == 0 || size > sizeof list->storage) return nullptr;
  auto *attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list->storage);
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return nullptr;
  list->handles[0] = write_end;
  list->handles[1] = in;
  SIZE_T bytes = (in == nullptr ? 1 : 2) * sizeof(HANDLE);
  if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list->handles,
                                bytes, nullptr, nullptr))
    return attributes;
  DeleteProcThreadAttributeList(attributes);
  return nullptr;
}

// Starts line with write_end as its standard output and error; the
// process handle, or null.
static HANDLE spawn(char *line, HANDLE write_end) {
  HANDLE in = inheritable_stdin();
  HandleList list;
  LPPROC_THREAD_ATTRIBUTE_LIST attributes = make_handle_list(&list, write_end, in);
  PROCESS_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  BOOL started = FALSE;
  if (attributes != nullptr) {
    STARTUPINFOEXA start;
    std::memset(&start, 0, sizeof start);
    start.StartupInfo.cb = sizeof start;
    start.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    start.StartupInfo.wShowWindow = SW_HIDE;
    start.StartupInfo.hStdInput = in;
    start.StartupInfo.hStdOutput = write_end;
    start.StartupInfo.hStdError = write_end;
    start.lpAttributeList = attributes;
    // A caller with a console shares it, which opens no window; one without
    // would have a console window opened for each command.
    DWORD flags = EXTENDED_STARTUPINFO_PRESENT;
    if (GetConsoleWindow() == nullptr) flags |= CREATE_NO_WINDOW;
    started = CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                             &start.StartupInfo, &info);
    DeleteProcThreadAttributeList(attributes);
  }
  if (in != nullptr) CloseHandle(in);
  if (!started) return nullptr;
  CloseHandle(info.hThread);
  return info.hProcess;
}

int32_t child_start(const char *command_line, void *scratch, ChildProcess *child) {
  if (!has_program(command_line)) return -1;
  char *line = static_cast<char *>(scratch);
  std::memcpy(line, command_line, std::strlen(command_line) + 1);
  HANDLE read_end, write_end;
  if (!open_output_pipe(&read_end, &write_end)) return -1;
  HANDLE process = spawn(line, write_end);
  // The child holds its own copy; ours would keep the reader from the end.
  CloseHandle(write_end);
  if (process == nullptr) {
    CloseHandle(read_end);
    return -1;
  }
  *child = ChildProcess{read_end, process, nullptr, nullptr, nullptr};
  return 0;
}

int32_t child_read_byte(ChildProcess *child, char *byte) {
  DWORD got = 0;
  if (ReadFile(child->read_end, byte, 1, &got, nullptr)) return got == 1 ? 1 : 0;
  return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

void child_abandon(ChildProcess *child, void (*release)(ChildProcess *)) {
  CloseHandle(child->read_end);
  CloseHandle(child->process);
  child->read_end = nullptr;
  child->process = nullptr;
  child->release = release;
  release(child);
}

uint32_t processor_count() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1u;
}

}  // namespace quorvel::platform
