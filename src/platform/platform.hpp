// The one door from the library's families to the operating system.
//
// Family code (trace, concurrency, memory, net, crypto, runtime) calls only
// what is declared here; each operating system answers it in its own folder
// (posix/ today).  The objects that live inside caller records (semaphores,
// recursive locks, event pairs) are declared here with the exact size of the
// opaque storage the public headers reserve for them, so a record filled by
// one build is never read with another layout.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "quorvel/net.h"
#include "quorvel/platform_types.h"

namespace quorvel::platform {

// ---- Threads ---------------------------------------------------------------

using ThreadMain = void (*)(void *argument);

// What a new thread runs.  The record is read by the new thread before it
// calls main, so it must stay valid until main has begun; the library's
// start-up path keeps its creator waiting until then anyway.
struct ThreadStart {
  ThreadMain main;
  void *argument;
};

// Starts a joinable thread that runs start->main(start->argument).
// stack_size 0 means the platform default; small sizes are raised to the
// platform minimum.  Returns the non-zero thread handle, or 0 when the
// thread cannot be created.
uintptr_t thread_start(const ThreadStart *start, size_t stack_size);

// Fault injection for tests: the next count calls of thread_start fail as
// if the system had refused them (0, no thread), so that every caller's
// failure path can be exercised.  0 lets them all through again.
void fail_thread_starts(uint32_t count);

// Waits without limit until the thread has ended and releases its handle.
void thread_join(uintptr_t handle);

// Releases the calling thread's own handle: it will never be joined.
void thread_detach_self();

// The platform's numeric id of the calling thread.
uint32_t thread_id();

// Gives up the processor for at least ms milliseconds.
void sleep_ms(uint32_t ms);
// Lets another thread that is ready to run on this processor run first;
// returns at once when there is none.
void yield_processor();

// ---- Waiting -----------------------------------------------------------------

// Outcome of every wait below.  A timeout below 0 waits without limit.
enum class Wait { kFirst = 0, kSecond = 1, kTimedOut = 2, kFailed = 3 };

// ---- Counting semaphore with a maximum ----------------------------------------

// Counting semaphore.  Releasing past the maximum fails and leaves the
// count unchanged, so a semaphore of maximum 1 is a lock without an owner.
// A release never touches the record after the unit is added: the taker it
// lets through may free the memory at once.
#if defined(_WIN32)
// On Windows the record holds a semaphore object of the system.
struct Semaphore {
  void *handle;
  int32_t maximum;
  int32_t reserved;
};
#else
// Elsewhere it never allocates: the count (low half) and the number of
// sleeping takers (high half) share one word, so a release reads whether to
// wake anyone in the same atomic step that adds the unit.
struct Semaphore {
  std::atomic<uint64_t> state;
  int32_t maximum;
  int32_t reserved;
};
#endif
static_assert(sizeof(Semaphore) <= sizeof(qrvl_semaphore_storage));
static_assert(alignof(Semaphore) <= alignof(qrvl_semaphore_storage));

// Returns 0, or -1 when initial is below 0 or above maximum, or the system
// has no semaphore left to give.
int semaphore_init(Semaphore *s, int32_t initial, int32_t maximum);
// Takes one unit: Wait::kFirst when taken, kTimedOut when timeout_ms passed
// (0 only looks), kFailed on a destroyed semaphore.
Wait semaphore_wait(Semaphore *s, int32_t timeout_ms);
// Adds one unit: 0, or -1 when the count would pass the maximum.
int semaphore_post(Semaphore *s);
// Takes as many of the units there are now as it can, at most n, without
// waiting: the number taken (0 when there are none, n is below 1, or the
// semaphore is destroyed).  Nobody is woken.  Where the system allows it
// the units are taken in one step.
int32_t semaphore_take_up_to(Semaphore *s, int32_t n);
void semaphore_destroy(Semaphore *s);

inline Semaphore *as_semaphore(qrvl_semaphore_storage *storage) {
  return reinterpret_cast<Semaphore *>(storage);
}

// ---- Recursive lock -----------------------------------------------------------

// A lock the holding thread may take again; it must release it as often.
struct RecursiveLock;
void recursive_lock_init(qrvl_recursive_lock_storage *lock);
void recursive_lock_enter(qrvl_recursive_lock_storage *lock);
void recursive_lock_leave(qrvl_recursive_lock_storage *lock);
void recursive_lock_destroy(qrvl_recursive_lock_storage *lock);

// ---- Event pair ------------------------------------------------------------------

// Two events that can be waited on together.  Each is auto-reset or
// manual-reset.  An auto-reset event counts its sets (up to 65535): each
// set releases exactly one waiter, so two quick sets release two waiters
// instead of collapsing into one.  A manual-reset event stays set, releasing
// every waiter, until reset; it also counts how often it was set (modulo
// 32768), so that a waiter can ignore a set it has already seen.  A wait
// on the pair takes the lowest-numbered event that is set, like a wait on
// several objects.
struct EventPair {
  std::atomic<uint32_t> state;  // 16 bits per event, event 0 in the low half
  uint32_t manual;              // bit i: event i is manual-reset
};
static_assert(sizeof(EventPair) <= sizeof(qrvl_event_pair_storage));
static_assert(alignof(EventPair) <= alignof(qrvl_event_pair_storage));

void event_pair_init(EventPair *pair, bool first_manual, bool second_manual);
void event_set(EventPair *pair, int which);
// Clears event which; for an auto-reset event this drops every pending set.
void event_reset(EventPair *pair, int which);
// Sets of event which not yet taken (0 or 1 for a manual-reset event).
uint32_t event_pending(const EventPair *pair, int which);
// How often the manual-reset event which has been set, modulo 32768.
uint32_t event_set_count(const EventPair *pair, int which);
// Wait::kFirst or kSecond for the event taken (an auto-reset one loses one
// set), kTimedOut after timeout_ms.  The manual-reset event which counts as
// set only once its set count differs from seen_count: a set the waiter
// saw before it began to wait neither releases it nor keeps it awake.
Wait event_wait_any_since(EventPair *pair, int32_t timeout_ms, int which, uint32_t seen_count);

inline EventPair *as_event_pair(qrvl_event_pair_storage *storage) {
  return reinterpret_cast<EventPair *>(storage);
}

// ---- Clocks ------------------------------------------------------------------------

// Milliseconds since the system started, truncated to 32 bits.
uint32_t tick_ms();
// Wall clock: seconds since 1970-01-01 UTC and the milliseconds (0-999).
void wall_clock(int64_t *seconds, uint16_t *milliseconds);
// The local zone's standard-time bias in minutes, UTC = local + bias
// (daylight saving time is never applied).
int32_t standard_zone_bias_minutes();

// ---- Name lookup ---------------------------------------------------------------------

// The first IPv4 and the first IPv6 answer of a lookup, in network order.
struct NameAnswers {
  bool has_ipv4;
  bool has_ipv6;
  uint8_t ipv4[4];
  uint8_t ipv6[16];
};

// Asks the platform resolver (getaddrinfo: no service, any family, UDP
// datagram sockets, all answers) for name and keeps the first answer of each
// family in the resolver's order.  Returns 0, or the resolver's non-zero
// error code with *answers cleared.
int32_t lookup_name(const char *name, NameAnswers *answers);

// The older host-entry lookup (gethostbyname, re-entrant form).  Returns 0
// and the entry's address type in *family; when that is IPv4, ipv4 receives
// its first address.  Returns -1 when there is no entry.
int32_t lookup_host_entry(const char *name, int32_t *family, uint8_t ipv4[4]);

// The platform's description of a lookup_name error code; never null.
const char *lookup_error_text(int32_t code);

// ---- Output --------------------------------------------------------------------------

// The position of a C stream (a FILE *), -1 when the C library cannot tell
// it (a pipe, or a 32-bit file offset beyond 2 GiB).
int64_t stream_position(void *file);

// Sends one finished trace line to the debugger output channel in a single
// write; a line without a final line feed gets one on this channel only.
void debug_output(const char *line, size_t length);

// ---- Network ---------------------------------------------------------------------------

// Starts the platform's socket layer for the whole process, once or again
// after a failure: 0 when sockets are usable, another value on failure.
// POSIX has nothing to start, so it returns 0 at once.
int32_t socket_layer_start();

// The IPv4 text conversion of the platform's inet_addr(): the address in
// network byte order, or kIpv4Rejected for text it does not accept (which
// "255.255.255.255" cannot be told from).  Shortened (a.b.c, a.b, a),
// octal (0377) and hexadecimal (0xff) parts are accepted, and so is text
// that goes on after white space.
inline constexpr uint32_t kIpv4Rejected = 0xffffffffu;
uint32_t ipv4_text_to_address(const char *text);

// A socket handle as the library's callers carry it; kNoSocket is none.
using Socket = int32_t;
inline constexpr Socket kNoSocket = -1;

// A new IPv4 UDP socket (protocol 0), or kNoSocket.
Socket udp_socket_open();

enum class SocketOption { kBroadcast, kReuseAddress };
// Sets a socket-level option to the 32-bit value; the platform's result
// (negative on failure).
int32_t socket_set_option(Socket s, SocketOption option, int32_t value);

// Binds s to the address of length bytes; negative on failure.
int32_t socket_bind(Socket s, const mixaddr *address, int32_t length);

// Closes s; the outcome is not reported.
void socket_close(Socket s);

// Sets (on != 0) or clears non-blocking mode (FIONBIO); negative on failure.
int32_t socket_set_nonblocking(Socket s, uint32_t on);

// A 16-bit value in network byte order (htons).
uint16_t host_to_network_u16(uint16_t value);

// ---- Child processes -------------------------------------------------------------------

// A command started with its standard output and standard error on one
// pipe.  The caller owns the record (it lives inside the command handle);
// the platform fills it and, after child_abandon, owns it until the
// release function given there runs.
#if defined(_WIN32)
struct ChildProcess {
  void *read_end;                    // the caller's end of the pipe (a file handle)
  void *process;                     // the process handle
  void *waiter;                      // unused: a process handle tells when it ends
  void (*release)(ChildProcess *);   // set by child_abandon
  ChildProcess *next;                // unused
};
#else
struct ChildProcess {
  int32_t read_end;                  // the caller's end of the pipe
  int32_t process;                   // the process id
  int32_t waiter;                    // a descriptor that tells when the process ends, or -1
  void (*release)(ChildProcess *);   // set by child_abandon
  ChildProcess *next;                // the reaper's list
};
#endif

// Bytes of scratch memory child_start needs for a command line of
// line_length bytes (the words and their table, or a writable copy).
size_t child_scratch_size(size_t line_length);

// Starts command_line as a new process without a shell in front of it:
// standard output and standard error go to a new pipe, standard input,
// the environment and the working directory are the caller's.  scratch
// holds at least child_scratch_size bytes and is free again on return.
// 0 on success; -1 when the line holds no program, the pipe or the process
// cannot be made (nothing is left open then).
int32_t child_start(const char *command_line, void *scratch, ChildProcess *child);

// Reads one byte of the command's output: 1 with the byte stored, 0 at the
// end of the output, -1 on a read error.
int32_t child_read_byte(ChildProcess *child, char *byte);

// Closes the caller's end of the pipe without waiting for the process.
// The process is reaped once it ends (by a background waiter, or at a
// later child_start or child_abandon), never another child of the caller;
// release(child) runs then, on whichever thread reaps it.
void child_abandon(ChildProcess *child, void (*release)(ChildProcess *));

// The number of logical processors online (at least 1).
uint32_t processor_count();

}  // namespace quorvel::platform

// ---- Thread id, cached ------------------------------------------------------------------

namespace quorvel::platform {

// The same id as thread_id(), kept per thread after the first call, for hot
// paths such as trace lines (asking the kernel costs a system call, which is
// slow on virtual machines).  Correct in the child of a fork too.
uint32_t cached_thread_id();

}  // namespace quorvel::platform

// ---- Spinning --------------------------------------------------------------------------

namespace quorvel::platform {

// Tells the processor that the caller is spinning on a shared value.
inline void spin_pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  __asm__ __volatile__("yield");
#endif
}

}  // namespace quorvel::platform

// ---- Network configuration ------------------------------------------------------------

namespace quorvel::platform {

// The address families as this platform numbers them.
#if defined(_WIN32)
inline constexpr int32_t kConfigFamilyIPv6 = 23;
#else
inline constexpr int32_t kConfigFamilyIPv6 = 10;
#endif
inline constexpr int32_t kConfigFamilyIPv4 = 2;

// What starting the interface queries found missing, kReady when nothing.
enum class ConfigStart {
  kReady,
  kNoModule,           // the interface-query module would not load
  kNoAdaptersEntry,    // the module lacks its adapter list
  kNoPerAdapterEntry,  // the module lacks its per-adapter details
};

// Prepares the interface queries below for the whole process.  May run
// again after a failure, and on several threads at once.
ConfigStart config_queries_start();

// An IPv4 (first 4 bytes) or IPv6 address in network byte order.
struct ConfigAddress {
  int32_t family;
  uint8_t bytes[16];
};

// Interface names with their NUL, the most the platform gives: Windows
// names adapters by their GUID text, Linux by short interface names.
#if defined(_WIN32)
inline constexpr size_t kInterfaceNameSize = 260;
#else
inline constexpr size_t kInterfaceNameSize = 16;
#endif

// One address of one interface.
struct InterfaceAddress {
  uint32_t interface_index;
  uint32_t prefix_length;  // one bits of the netmask, or the on-link prefix
  bool up;                 // administratively up and running
  ConfigAddress address;
  char interface_name[kInterfaceNameSize];
};

// Lists the addresses of one family, asking the system afresh: interfaces in
// index order, each interface's addresses in the system's order.  Fills at
// most capacity records and returns how many there are (more than capacity
// when out is too small), or -1 when the system cannot list them.
int32_t interface_addresses(int32_t family, InterfaceAddress *out, int32_t capacity);

// The gateway of the lowest-metric default route of the main routing table
// through one interface.
struct DefaultGateway {
  uint32_t interface_index;
  uint32_t metric;
  ConfigAddress gateway;
};

// Lists the default gateways of one family, one per interface, in index
// order.  Fills at most capacity records and returns how many it filled, or
// -1 on failure; *needed receives a capacity that is sure to hold them all
// (more than capacity means some were left out).
int32_t default_gateways(int32_t family, DefaultGateway *out, int32_t capacity,
                         int32_t *needed);

// Whether the interface is administratively up and running; false when it
// is gone or cannot be asked.
bool interface_up(uint32_t interface_index);

// The name servers of one family that the system resolver is configured
// with, in order.  Fills at most capacity records and returns how many
// there are, or -1 when the configuration cannot be read.
int32_t dns_servers(int32_t family, ConfigAddress *out, int32_t capacity);

// ---- Processor ---------------------------------------------------------------------

// The instruction-set extensions that faster engines need, each true only
// when both the processor has it and the operating system saves the
// registers it uses (XSAVE state for the 256- and 512-bit ones).  Read once
// per process, on first use, from any thread; all false on processors other
// than x86-64.
struct CpuFeatures {
  bool ssse3, sse41, pclmulqdq, aesni, sha;          // 128-bit registers
  bool avx2, vaes, vpclmulqdq;                       // 256-bit registers
  bool avx512f, avx512bw, avx512vl, avx512vbmi;      // 512-bit and mask registers
};

const CpuFeatures &cpu_features();

}  // namespace quorvel::platform
