// Storms of eight threads, each bounded in time (tests/support/stress.hpp),
// on the queues, the slot index, the record database, the tree, the
// condition variable and the resolver, checking what the threads handed
// over: nothing lost, nothing delivered or handed out twice, order kept
// where it is promised.  ThreadSanitizer adds the data-race check; the
// watchdog turns a deadlock into a failure.  The debug queue starts once per
// process, so its storms run in a child process.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#if !defined(_WIN32)
#include "net/dns_namespace.hpp"
#endif
#include "quorvel.h"
#include "support/child_process.hpp"
#include "support/stress.hpp"

namespace {

using qrvl_test::FaultLog;
using qrvl_test::on_threads;
using qrvl_test::Rng;
using qrvl_test::StressRun;
using qrvl_test::wait_until;

// ---- QList messages and their ledger ---------------------------------------

// A message: its sender, number and hop count (a message with a hop is
// posted on from the callback that receives it), then length bytes drawn
// from the number, with their checksum.
struct Note {
  uint32_t producer, seq, hops, length, sum;
  uint8_t bytes[40];
};

uint32_t checksum(const uint8_t *bytes, uint32_t length) {
  uint32_t h = 2166136261u;
  for (uint32_t i = 0; i < length; ++i) h = (h ^ bytes[i]) * 16777619u;
  return h;
}

Note make_note(uint32_t producer, uint32_t seq, uint32_t hops) {
  Note n{producer, seq, hops, (seq * 7 + producer) % 41, 0, {}};
  Rng bytes(producer << 20 ^ seq);
  for (uint32_t i = 0; i < n.length; ++i) n.bytes[i] = static_cast<uint8_t>(bytes.next());
  n.sum = checksum(n.bytes, n.length);
  return n;
}

void post_note(QList *q, const Note &n) {
  QListPost(q, &n, static_cast<int32_t>(offsetof(Note, bytes) + n.length),
            n.seq ^ n.producer << 24);
}

// One bit per message (producer, number, hop): a bit found set is a
// message delivered twice.
class Ledger {
 public:
  Ledger(uint32_t producers, uint32_t per_producer)
      : per_producer_(per_producer), bits_((size_t{producers} * per_producer * 2 + 63) / 64) {}

  // Checks and records one delivery; false for a duplicate or a wrong id.
  bool mark(const Note &n) {
    const size_t bit = (size_t{n.producer} * per_producer_ + n.seq) * 2 + n.hops;
    if (n.seq >= per_producer_ || bit / 64 >= bits_.size()) return false;
    const uint64_t mask = uint64_t{1} << (bit % 64);
    return (bits_[bit / 64].fetch_or(mask) & mask) == 0;
  }
  uint64_t marked() const {
    uint64_t n = 0;
    for (const auto &word : bits_) n += static_cast<uint64_t>(__builtin_popcountll(word.load()));
    return n;
  }

 private:
  const uint32_t per_producer_;
  std::vector<std::atomic<uint64_t>> bits_;
};

// What one QList's callbacks share with the test.
struct Mailroom {
  QList *q;
  Ledger ledger;
  FaultLog *faults;
  bool repost;                      // hops are posted on
  std::atomic<uint64_t> posted{0};  // by the producers and the callbacks
  std::atomic<uint64_t> delivered{0};
  std::atomic<bool> closed{false};       // QListFree has returned
  void (*also)(const Note &) = nullptr;  // more work done per message

  Mailroom(QList *queue, uint32_t producers, uint32_t per_producer, FaultLog *log, bool hops)
      : q(queue), ledger(producers, per_producer), faults(log), repost(hops) {}

  // Producers stay at most this many messages ahead of the workers, so
  // the ring stays small.
  void wait_for_room() {
    while (posted.load() - delivered.load() > 512) std::this_thread::yield();
  }
};

int32_t receive(void *context, uint32_t value, void *bytes, void *user) {
  Mailroom *room = static_cast<Mailroom *>(user);
  Note n;
  memcpy(&n, bytes, offsetof(Note, bytes));
  if (n.length <= sizeof n.bytes)
    memcpy(n.bytes, static_cast<uint8_t *>(bytes) + offsetof(Note, bytes), n.length);
  FaultLog &f = *room->faults;
  f.check(context == room->q, "callback got another context");
  f.check(!room->closed.load(), "callback after QListFree returned");
  f.check(value == (n.seq ^ n.producer << 24), "value does not match the message");
  f.check(n.length <= sizeof n.bytes && checksum(n.bytes, n.length) == n.sum,
          "message bytes corrupted");
  f.check(room->ledger.mark(n), "message delivered twice");
  if (room->repost && n.hops > 0) {
    room->posted.fetch_add(1);
    post_note(room->q, make_note(n.producer, n.seq, n.hops - 1));
  }
  if (room->also) room->also(n);
  room->delivered.fetch_add(1);
  return 0;
}

// Producers post while the workers call back; every second round drains
// the queue and needs every message once, the other frees it with a
// backlog, which may discard messages but never delivers one twice or late.
TEST(Stress, QListDeliversEveryMessageOnceAcrossPostingAndFreeing) {
  constexpr uint32_t kProducers = 8, kPerRound = 400;
  FaultLog faults;
  StressRun run;
  uint32_t rounds = 0;
  while (run.running() || rounds < 2) {
    const bool drain = rounds % 2 == 0;
    QList q{};
    Mailroom room(&q, kProducers, kPerRound, &faults, drain);
    QListInit(&q, receive, &room, &q, 1 + rounds % 10, 0);
    on_threads(kProducers, [&](int t) {
      for (uint32_t seq = 0; seq < kPerRound; ++seq) {
        room.wait_for_room();
        room.posted.fetch_add(1);
        post_note(&q, make_note(static_cast<uint32_t>(t), seq, seq % 8 == 0));
      }
    });
    if (drain) wait_until([&] { return room.delivered.load() == room.posted.load(); }, true);
    QListFree(&q);
    room.closed.store(true);
    const uint64_t all = uint64_t{kProducers} * (kPerRound + (kPerRound + 7) / 8);
    if (drain) {
      EXPECT_EQ(room.posted.load(), all);
      EXPECT_EQ(room.ledger.marked(), all) << "round " << rounds;
    }
    EXPECT_EQ(room.ledger.marked(), room.delivered.load());
    ++rounds;
  }
  QRVL_EXPECT_NO_FAULTS(faults);
  std::printf("%u rounds\n", rounds);
}

// ---- Debug queue --------------------------------------------------------------

// The lines that reached the output function: per emitting thread (the id
// in the line's header) the numbers its lines carry must rise.
struct Tally {
  std::mutex mutex;
  std::unordered_map<uint32_t, uint64_t> next;
  uint64_t lines = 0;
  FaultLog faults;

  uint64_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return lines;
  }
};

Tally &g_tally = *new Tally;  // never destroyed: the writer outlives the test

// "[I][MM-DD hh:mm:ss.mmm][tid] {st} number\r\n"
void tally_line(const char *line, int32_t length) {
  const std::string text(line, static_cast<size_t>(length));
  const size_t tag = text.find("] {st} ");
  const size_t open = tag == std::string::npos ? tag : text.rfind('[', tag);
  unsigned tid = 0;
  unsigned long long number = 0;
  if (open == std::string::npos || sscanf(text.c_str() + open, "[%u", &tid) != 1 ||
      sscanf(text.c_str() + tag + 7, "%llu", &number) != 1) {
    g_tally.faults.add("unexpected line: " + text);
    return;
  }
  std::lock_guard<std::mutex> lock(g_tally.mutex);
  uint64_t &next = g_tally.next[tid];
  if (number < next) g_tally.faults.add("repeated or out of order: " + text);
  next = number + 1;
  ++g_tally.lines;
}

// Traces one line numbered for the calling thread.
std::atomic<uint64_t> g_traced{0};
void trace_numbered() {
  thread_local uint64_t number = 0;
  g_traced.fetch_add(1);
  infolog_t("st", "%llu", static_cast<unsigned long long>(number++));
}

// The descriptor calls, under the names of either system.
// clang-format off
struct Fd {
#if defined(_WIN32)
  static int pipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY); }
  static int dup(int fd) { return _dup(fd); }
  static int dup2(int from, int to) { return _dup2(from, to); }
  static int read(int fd, char *buffer, unsigned size) { return _read(fd, buffer, size); }
  static int close(int fd) { return _close(fd); }
#else
  static int pipe(int fds[2]) { return ::pipe(fds); }
  static int dup(int fd) { return ::dup(fd); }
  static int dup2(int from, int to) { return ::dup2(from, to); }
  static int read(int fd, char *buffer, unsigned size) {
    return static_cast<int>(::read(fd, buffer, size));
  }
  static int close(int fd) { return ::close(fd); }
#endif
};
// clang-format on

// Counts the overload warnings the debug queue prints to standard output
// for every line it drops; anything else printed there is a fault.
class DropCount {
 public:
  explicit DropCount(FaultLog *faults) : faults_(faults) {
    std::fflush(stdout);
    saved_ = Fd::dup(1);
    if (Fd::pipe(fds_) != 0 || saved_ < 0) {
      faults_->add("no pipe for standard output");
      return;
    }
    Fd::dup2(fds_[1], 1);
    Fd::close(fds_[1]);
    reader_ = std::thread([this] { count(); });
  }
  // Puts standard output back and returns the warnings seen.
  uint64_t finish() {
    std::fflush(stdout);
    Fd::dup2(saved_, 1);
    Fd::close(saved_);
    if (reader_.joinable()) reader_.join();
    Fd::close(fds_[0]);
    return warnings_;
  }

 private:
  void count() {
    static const char kWarning[] = "warning: debug queue is overloading\r\n";
    char buffer[4096];
    size_t at = 0;
    std::string stray;
    for (int n; (n = Fd::read(fds_[0], buffer, sizeof buffer)) > 0;) {
      for (int i = 0; i < n; ++i) {
        if (buffer[i] != kWarning[at]) stray += buffer[i];
        if (++at == sizeof kWarning - 1) {
          ++warnings_;
          at = 0;
        }
      }
    }
    if (!stray.empty() || at != 0)
      faults_->add("standard output held more than warnings: " + stray);
  }

  FaultLog *faults_;
  int saved_ = -1, fds_[2] = {-1, -1};
  uint64_t warnings_ = 0;
  std::thread reader_;
};

// Starts the debug queue on a small ring, so that it fills and drops.
void start_debug_queue() {
  constexpr int32_t kSlots = 32;
  constexpr uint32_t kSize = sizeof(TraceLine) + 48;
  static unsigned char ring[kSlots * kSize];
  SetDebugOutput(tally_line);
  SetDebugMsgMask(0x1f);
  SetDebugSwitch(1);
  SetDebugQueue(ring, kSlots, kSize);
}

// Every line is emitted once or dropped with a warning; each thread's
// lines come out in the order it traced them.
void expect_every_line_emitted_or_dropped(DropCount &drops) {
  const uint64_t dropped = drops.finish(), traced = g_traced.load();
  ASSERT_LE(dropped, traced);
  if (wait_until([&] { return g_tally.count() >= traced - dropped; }, true))
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // a surplus line would show now
  EXPECT_EQ(g_tally.count(), traced - dropped) << dropped << " dropped of " << traced;
  QRVL_EXPECT_NO_FAULTS(g_tally.faults);
  std::printf("%llu lines traced, %llu dropped\n", static_cast<unsigned long long>(traced),
              static_cast<unsigned long long>(dropped));
}

TEST(Stress, DebugQueueEmitsEveryAcceptedLineOnceInEachThreadsOrder) {
  qrvl_test::ChildOptions options;
  options.timeout_seconds = StressRun::child_bound();
  qrvl_test::run_in_child(
      [] {
        start_debug_queue();
        StressRun run;
        DropCount drops(&g_tally.faults);
        on_threads(8, [&](int) {
          while (run.running()) trace_numbered();
        });
        expect_every_line_emitted_or_dropped(drops);
      },
      options);
}

// Producers trace into the debug queue and post to a QList whose four
// workers trace a line for every message they receive.
TEST(Stress, DebugQueueProducersBesideQListWorkers) {
  qrvl_test::ChildOptions options;
  options.timeout_seconds = StressRun::child_bound(0.5);
  qrvl_test::run_in_child(
      [] {
        constexpr uint32_t kProducers = 4, kMost = 1u << 22;
        start_debug_queue();
        FaultLog faults;
        QList q{};
        Mailroom room(&q, kProducers, kMost, &faults, false);
        room.also = [](const Note &) { trace_numbered(); };
        QListInit(&q, receive, &room, &q, 4, 0);
        StressRun run(0.5);
        DropCount drops(&g_tally.faults);
        on_threads(kProducers, [&](int t) {
          for (uint32_t seq = 0; seq < kMost && run.running(); ++seq) {
            room.wait_for_room();
            room.posted.fetch_add(1);
            post_note(&q, make_note(static_cast<uint32_t>(t), seq, 0));
            trace_numbered();
          }
        });
        wait_until([&] { return room.delivered.load() == room.posted.load(); }, true);
        QListFree(&q);
        EXPECT_EQ(room.ledger.marked(), room.posted.load());
        QRVL_EXPECT_NO_FAULTS(faults);
        expect_every_line_emitted_or_dropped(drops);
      },
      options);
}

// ---- Slot index and record database --------------------------------------

constexpr uint32_t kSlots = 64;

// A slot index with locks, and which thread (1-8) holds each slot: set in
// the allocating callback and cleared in the releasing one, both under the
// slot's lock, so every callback must find the mark matching the state.
struct Slots {
  FastIdx x{};
  FastIdxSlot slots[kSlots] = {};
  Mutex locks[kSlots] = {};
  std::atomic<uint32_t> owner[kSlots] = {};
  FaultLog faults;
  Slots() { fastIdx_init(&x, slots, locks, kSlots); }
  ~Slots() { fastIdx_deinit(&x); }
};

struct Hand {
  Slots *s;
  uint32_t me;
};

int32_t claim(uint32_t slot, void *argument) {
  Hand *h = static_cast<Hand *>(argument);
  h->s->faults.check(h->s->owner[slot].exchange(h->me) == 0, "slot handed out twice");
  return 0;
}
int32_t unclaim(uint32_t slot, void *argument) {
  Hand *h = static_cast<Hand *>(argument);
  h->s->faults.check(h->s->owner[slot].exchange(0) == h->me, "slot released by a stranger");
  return 0;
}
int32_t unclaim_by_route(uint32_t slot, void *argument) {
  unclaim(slot, argument);
  return fastIdx_route_delete(&static_cast<Hand *>(argument)->s->x, slot);
}
int32_t is_mine(uint32_t slot, void *argument) {
  Hand *h = static_cast<Hand *>(argument);
  return h->s->owner[slot].load() == h->me ? 1 : -1;
}
int32_t is_held(uint32_t slot, void *argument) {
  return static_cast<Hand *>(argument)->s->owner[slot].load() != 0 ? 1 : -1;
}
int32_t is_unheld(uint32_t slot, void *argument) {
  return static_cast<Hand *>(argument)->s->owner[slot].load() == 0 ? 0 : -1;
}

// Eight threads allocate (more than there are slots), route to their own
// slots and to any slot, and release by free or by a deleting route.
TEST(Stress, FastIdxNeverHandsASlotOutTwiceAndRoutesToItsHolder) {
  Slots s;
  std::atomic<uint64_t> operations{0};
  StressRun run;
  on_threads(8, [&](int t) {
    Hand h{&s, static_cast<uint32_t>(t) + 1};
    Rng rng(h.me);
    std::vector<uint32_t> mine;
    FaultLog &f = s.faults;
    for (; run.running(); operations.fetch_add(1, std::memory_order_relaxed)) {
      const uint32_t op = rng.below(8);
      if (op < 3 && mine.size() < 12) {
        const int32_t slot = fastIdx_alloc(&s.x, &h, claim);
        if (slot >= 0) {
          f.check(slot < static_cast<int32_t>(kSlots) && s.owner[slot].load() == h.me,
                  "alloc returned a slot it did not claim for the caller");
          mine.push_back(static_cast<uint32_t>(slot));
        }
      } else if (op < 5 && !mine.empty()) {
        const uint32_t slot = mine[rng.below(static_cast<uint32_t>(mine.size()))];
        fastIdx_lock(&s.x, slot);  // recursive: the route takes it again
        f.check(fastIdx_route(&s.x, slot, &h, is_mine, is_unheld) == 1, "route missed the holder");
        fastIdx_unlock(&s.x, slot);
      } else if (op < 6) {
        const int32_t seen = fastIdx_route(&s.x, rng.below(kSlots + 1), &h, is_held, is_unheld);
        f.check(seen == 0 || seen == 1, "slot state and holder disagree");
      } else if (!mine.empty()) {
        const size_t at = rng.below(static_cast<uint32_t>(mine.size()));
        const uint32_t slot = mine[at];
        mine.erase(mine.begin() + static_cast<ptrdiff_t>(at));
        const int32_t r = op == 6 ? fastIdx_free(&s.x, slot, &h, unclaim)
                                  : fastIdx_route(&s.x, slot, &h, unclaim_by_route, nullptr);
        f.check(r == static_cast<int32_t>(slot), "release of a held slot failed");
        f.check(fastIdx_route(&s.x, slot, &h, is_mine, is_unheld) != 1,
                "a released slot still routes to its old holder");
      }
    }
    for (uint32_t slot : mine) fastIdx_free(&s.x, slot, &h, unclaim);
  });
  QRVL_EXPECT_NO_FAULTS(s.faults);
  EXPECT_EQ(s.x.used, 0u);
  std::set<int32_t> handed;  // every slot once more, then none
  for (uint32_t i = 0; i <= kSlots; ++i) handed.insert(fastIdx_alloc(&s.x, nullptr, nullptr));
  EXPECT_EQ(handed.size(), kSlots + 1);
  EXPECT_EQ(*handed.begin(), -1);
  std::printf("%llu operations\n", static_cast<unsigned long long>(operations.load()));
}

struct Record {
  uint32_t thread, seq;  // the key
  uint32_t sum, pad;
};

uint32_t record_sum(uint32_t thread, uint32_t seq) {
  return (thread * 2654435761u) ^ (seq * 40503u);
}

struct Records {
  MemDb d{};
  Record table[kSlots] = {};
  FastIdxSlot slots[kSlots] = {};
  Mutex locks[kSlots] = {};
  FaultLog faults;
  Records() { memdb_init(&d, table, locks, slots, kSlots, sizeof(Record), 8, &table[0].thread); }
  ~Records() { fastIdx_deinit(&d.index); }
};

struct Lookup {
  Records *r;
  Record want;
};

// Under the slot's lock the record is the one looked for, intact.
int32_t is_record(uint32_t slot, void *argument) {
  const Lookup *l = static_cast<const Lookup *>(argument);
  const Record &have = l->r->table[slot];
  return have.thread == l->want.thread && have.seq == l->want.seq && have.sum == l->want.sum ? 1
                                                                                             : -5;
}
int32_t is_record_then_delete(uint32_t slot, void *argument) {
  const int32_t r = is_record(slot, argument);
  memdb_route_delete(&static_cast<Lookup *>(argument)->r->d, slot);
  return r;
}

// Each thread inserts records under keys of its own, finds them by key and
// by slot and erases them; others' inserts may end a key scan early, but a
// record found is the thread's own and an erased one is gone.
TEST(Stress, MemDbFindsOnlyTheOwnersRecordsAndErasesEachOnce) {
  Records db;
  StressRun run;
  std::atomic<uint64_t> scans_cut{0};
  on_threads(8, [&](int t) {
    const uint32_t me = static_cast<uint32_t>(t);
    Rng rng(me + 100);
    std::vector<std::pair<Record, uint32_t>> mine;  // record, slot
    uint32_t next_seq = 0;
    FaultLog &f = db.faults;
    while (run.running()) {
      const uint32_t op = rng.below(6);
      if (op < 2 && mine.size() < 10) {
        const Record rec{me, next_seq, record_sum(me, next_seq), 0};
        ++next_seq;
        const int32_t slot = memdb_insert(&db.d, &rec);
        if (slot < 0) continue;  // the table was full
        Lookup l{&db, rec};
        f.check(memdb_route(&db.d, static_cast<uint32_t>(slot), &l, is_record) == 1,
                "inserted record not in its slot");
        mine.emplace_back(rec, static_cast<uint32_t>(slot));
      } else if (op < 4 && !mine.empty()) {
        const auto &[rec, slot] = mine[rng.below(static_cast<uint32_t>(mine.size()))];
        Lookup l{&db, rec};
        const int32_t found = memdb_query(&db.d, &rec.thread, &l, is_record);
        const int32_t exist = memdb_exist(&db.d, &rec.thread);
        f.check(found == 1 || found == -1 || found == -2, "query found another record");
        f.check(exist == 0 || exist == static_cast<int32_t>(slot) + 1, "exist names another slot");
        if (found != 1 || exist == 0) scans_cut.fetch_add(1);
      } else if (!mine.empty()) {
        const size_t at = rng.below(static_cast<uint32_t>(mine.size()));
        const auto [rec, slot] = mine[at];
        mine.erase(mine.begin() + static_cast<ptrdiff_t>(at));
        Lookup l{&db, rec};
        if (op == 4) {
          f.check(memdb_erase(&db.d, &rec.thread, nullptr, nullptr) == 0, "erase missed a record");
        } else {
          f.check(memdb_route(&db.d, slot, &l, is_record_then_delete) == 1,
                  "route missed a record");
        }
        f.check(memdb_exist(&db.d, &rec.thread) == 0, "an erased record is still found");
        f.check(memdb_erase(&db.d, &rec.thread, nullptr, nullptr) == -1, "a record erased twice");
      }
    }
    for (const auto &entry : mine) memdb_erase(&db.d, &entry.first.thread, nullptr, nullptr);
  });
  QRVL_EXPECT_NO_FAULTS(db.faults);
  EXPECT_EQ(db.d.index.used, 0u);
  std::printf("%llu key scans cut short by others\n",
              static_cast<unsigned long long>(scans_cut.load()));
}

// ---- Red-black tree ------------------------------------------------------------

struct Entry {
  uint32_t key, value;
};

int32_t value_of(uint32_t, void *argument) {
  return static_cast<int32_t>(*static_cast<uint32_t *>(argument));
}

// Each thread owns a range of keys and keeps a model of them; insert,
// exist, query, erase and delete must agree with it, and in-order walks
// by any thread see each slot once.
TEST(Stress, RBTreeAgreesWithEachThreadsModel) {
  constexpr uint32_t kThreads = 8, kRange = 64, kCount = kThreads * kRange;
  SetDebugMsgMask(0);  // refused duplicates and misses are reported
  RBTreePool pool{};
  ASSERT_EQ(rbtree_pool_malloc(&pool, kCount, sizeof(Entry)), 0);
  RBTree tree{};
  Entry *table = static_cast<Entry *>(pool.table);
  ASSERT_EQ(rbtree_init(&tree, table, pool.locks, pool.nodes, pool.slots, kCount, sizeof(Entry),
                        sizeof(uint32_t), &table[0].key),
            0);
  FaultLog faults;
  std::atomic<uint64_t> operations{0};
  StressRun run;
  on_threads(kThreads, [&](int t) {
    Rng rng(static_cast<uint32_t>(t) + 200);
    std::vector<int32_t> slot_of(kRange, -1);
    uint32_t values[kRange] = {};
    std::vector<uint32_t> walk(kCount);
    RBIterator it{};
    rbiterator_melink(&it, kCount, walk.data());
    for (; run.running(); operations.fetch_add(1, std::memory_order_relaxed)) {
      const uint32_t k = rng.below(kRange), key = static_cast<uint32_t>(t) * kRange + k;
      int32_t &slot = slot_of[k];
      switch (rng.below(64) == 0 ? 5 : rng.below(5)) {
        case 0: {
          const Entry e{key, rng.next() >> 1};  // a query returns it as a result
          const int32_t got = rbtree_insert(&tree, &e);
          if (slot < 0) {
            faults.check(got >= 0, "insert of a new key failed");
            slot = got;
            values[k] = e.value;
          } else {
            faults.check(got == -1, "a key inserted twice");
          }
          break;
        }
        case 1:
          faults.check(rbtree_exist(&tree, &key) == slot, "exist disagrees with the model");
          break;
        case 2: {
          uint32_t value = values[k];
          const int32_t got = rbtree_query(&tree, &key, &value, value_of);
          faults.check(slot < 0 ? got == -1 : got == static_cast<int32_t>(values[k]),
                       "query disagrees with the model");
          break;
        }
        case 3:
          faults.check(rbtree_erase(&tree, &key, nullptr, nullptr) == slot,
                       "erase disagrees with the model");
          slot = -1;
          break;
        case 4:
          if (slot >= 0) {
            faults.check(
                rbtree_delete(&tree, static_cast<uint32_t>(slot), nullptr, nullptr) == slot,
                "delete by slot failed");
            slot = -1;
          }
          break;
        default: {
          faults.check(rbtree_iterator(&tree, &it, 1) == 0, "in-order walk failed");
          std::vector<uint32_t> seen(walk.begin(), walk.begin() + std::min(it.count, kCount));
          std::sort(seen.begin(), seen.end());
          faults.check(std::adjacent_find(seen.begin(), seen.end()) == seen.end() &&
                           (seen.empty() || seen.back() < kCount),
                       "a walk saw a slot twice");
        }
      }
    }
    for (int32_t s : slot_of)
      if (s >= 0) rbtree_delete(&tree, static_cast<uint32_t>(s), nullptr, nullptr);
  });
  QRVL_EXPECT_NO_FAULTS(faults);
  EXPECT_EQ(rbtree_count(&tree), 0u);
  EXPECT_EQ(tree.root, nullptr);
  rbtree_deinit(&tree);
  rbtree_pool_free(&pool);
  std::printf("%llu operations\n", static_cast<unsigned long long>(operations.load()));
}

// ---- Condition variable ----------------------------------------------------

// Tickets issued under the mutex with a signal (one) or a broadcast (more);
// waiters take them one by one, with time-outs from none to unbounded.
struct Counter {
  Mutex m{};
  Cond c{};
  uint64_t tickets = 0, issued = 0, taken = 0;  // under m
  uint32_t asleep = 0;                          // waiters in an unbounded wait
  bool unbounded = false, stop = false;         // unbounded: no more time-outs
  Counter() {
    MutexInit(&m);
    CondInit(&c);
  }
  ~Counter() {
    CondFree(&c);
    MutexFree(&m);
  }
  template <typename Read>
  auto locked(Read read) {
    MutexLock(&m);
    auto value = read();
    MutexUnlock(&m);
    return value;
  }
};

// After the storm come rounds in which all four waiters sleep without a
// time-out and k tickets arrive with k signals: all must be taken, so a
// lost signal leaves a ticket behind and the watchdog ends the test.
TEST(Stress, CondStormsLoseNoWaiterAndNoTicket) {
  constexpr int kSignallers = 4, kWaiters = 4;
  Counter n;
  FaultLog faults;
  StressRun run;
  std::atomic<int> signallers_left{kSignallers};
  on_threads(kSignallers + kWaiters + 1, [&](int t) {
    Rng rng(static_cast<uint32_t>(t) + 300);
    if (t < kSignallers) {
      while (run.running()) {
        const uint32_t more = 1 + rng.below(3);
        MutexLock(&n.m);
        if (n.tickets >= 4) {  // let the waiters run dry and wait
          MutexUnlock(&n.m);
          std::this_thread::yield();
          continue;
        }
        n.tickets += more;
        n.issued += more;
        const bool inside = rng.below(2) == 0;
        if (inside) more == 1 ? CondSignal(&n.c) : CondBroadcast(&n.c);
        MutexUnlock(&n.m);
        if (!inside) more == 1 ? CondSignal(&n.c) : CondBroadcast(&n.c);
      }
      signallers_left.fetch_sub(1);
    } else if (t < kSignallers + kWaiters) {
      static const int32_t kTimeouts[] = {-1, 0, 1, 5};
      // Without time-outs a waiter takes one ticket per wake-up, so each
      // ticket needs a signal of its own.
      bool took = false;
      MutexLock(&n.m);
      for (;;) {
        while ((n.tickets == 0 || (took && n.unbounded)) && !n.stop) {
          const int32_t timeout = n.unbounded ? -1 : kTimeouts[rng.below(4)];
          n.asleep += timeout < 0;
          const int32_t r = CondWait(&n.c, &n.m, timeout);
          n.asleep -= timeout < 0;
          faults.check(r == 0 || r == 1, "CondWait failed");
          took = false;
        }
        if (n.tickets == 0) break;
        --n.tickets;
        ++n.taken;
        took = true;
      }
      MutexUnlock(&n.m);
    } else {
      wait_until([&] { return signallers_left.load() == 0; });
      wait_until([&] { return n.locked([&] { return n.taken == n.issued; }); });
      n.locked([&] { return n.unbounded = true; });
      for (int round = 0; round < 200; ++round) {
        wait_until([&] { return n.locked([&] { return n.asleep == kWaiters; }); });
        const int k = 1 + round % kWaiters;
        MutexLock(&n.m);
        n.tickets += static_cast<uint64_t>(k);
        n.issued += static_cast<uint64_t>(k);
        // A waiter a signal of the last round released may not have left yet,
        // so a signal can find nobody waiting; the tickets are taken anyway.
        for (int i = 0; i < k; ++i) CondSignal(&n.c);
        MutexUnlock(&n.m);
        wait_until([&] { return n.locked([&] { return n.taken == n.issued; }); });
      }
      MutexLock(&n.m);
      n.stop = true;
      CondBroadcast(&n.c);
      MutexUnlock(&n.m);
    }
  });
  QRVL_EXPECT_NO_FAULTS(faults);
  EXPECT_EQ(n.taken, n.issued);
  std::printf("%llu tickets\n", static_cast<unsigned long long>(n.issued));
}

// ---- Resolver --------------------------------------------------------------------

#if !defined(_WIN32)

void discard(const char *, int32_t) {}

struct Answer {
  const char *name, *ipv4, *ipv6;
  int32_t code;
};

// As tests/net/dns_namespace.hpp configures them.
constexpr Answer kAnswers[] = {
    {"v4.test", "192.0.2.1", "::", 1},
    {"v6.test", "0.0.0.0", "2001:db8::6", 2},
    {"both.test", "192.0.2.10", "2001:db8::10", 3},
    {"nat.test", "192.0.2.33", "64:ff9b::c000:221", 3},
    {"nat2.test", "192.0.2.34", "2001:db8:64::c000:222", 3},
    {"missing.test", "0.0.0.0", "::", 0},
};
constexpr size_t kNames = sizeof kAnswers / sizeof kAnswers[0];

// True for a full answer; a fault for texts or a code of another name.
bool check_answer(FaultLog &faults, const Answer &want, int32_t code, const char *ipv4,
                  const char *ipv6) {
  const bool v4 = strcmp(ipv4, want.ipv4) == 0, v6 = strcmp(ipv6, want.ipv6) == 0;
  const bool full = v4 && v6;
  const bool plausible = (v4 || strcmp(ipv4, "0.0.0.0") == 0) && (v6 || strcmp(ipv6, "::") == 0) &&
                         (code == 0 || (code == want.code && full));
  if (!plausible)
    faults.add(std::string(want.name) + " answered " + std::to_string(code) + " " + ipv4 + " " +
               ipv6);
  return plausible && full;
}

// Eight threads ask for the configured names while one also brings in a
// new name after every round of full answers, so records are taken over by
// new names as the resolver writes them.
TEST(Stress, GetAddrByDnsFromManyThreadsAnswersOnlyTheConfiguredAddresses) {
  QRVL_DNS_WORLD_WITHIN(world, StressRun::child_bound());
  SetDebugOutput(discard);
  SetDebugMsgMask(0);
  FaultLog faults;
  std::atomic<uint32_t> answered[kNames] = {};
  std::atomic<uint32_t> fresh_names{0};
  // The storm goes on until each name has had a full answer, which a slow
  // machine may not give within the storm itself; the watchdog bounds it.
  std::atomic<long> unanswered{std::count_if(std::begin(kAnswers), std::end(kAnswers),
                                             [](const Answer &a) { return a.code != 0; })};
  StressRun run;
  on_threads(8, [&](int t) {
    Rng rng(static_cast<uint32_t>(t) + 400);
    std::vector<bool> round(kNames, false);
    while (run.running() || unanswered.load() > 0) {
      const size_t i = rng.below(kNames);
      char ipv4[16], ipv6[40];
      const int32_t code = GetAddrByDNS(kAnswers[i].name, ipv4, ipv6);
      if (!check_answer(faults, kAnswers[i], code, ipv4, ipv6) || kAnswers[i].code == 0) continue;
      if (answered[i].fetch_add(1) == 0) unanswered.fetch_sub(1);
      round[i] = true;
      if (t != 0 || std::count(round.begin(), round.end(), true) < static_cast<long>(kNames) - 1)
        continue;
      const std::string fresh = "fresh" + std::to_string(fresh_names.fetch_add(1)) + ".test";
      check_answer(faults, {fresh.c_str(), "0.0.0.0", "::", 0},
                   GetAddrByDNS(fresh.c_str(), ipv4, ipv6), ipv4, ipv6);
      round.assign(kNames, false);
    }
  });
  QRVL_EXPECT_NO_FAULTS(faults);
  for (size_t i = 0; i < kNames; ++i)
    EXPECT_TRUE(kAnswers[i].code == 0 || answered[i].load() > 0)
        << kAnswers[i].name << " never answered";
  std::printf("%u new names taking records over\n", fresh_names.load());
}
#endif

}  // namespace
