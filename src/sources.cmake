# Every source file of the library, family by family.  A family file
# X.cpp that exports names lists them in X.exports beside it; the build
# reads the export list of each source named here.

set(QUORVEL_COMMON_SOURCES
  src/common/alloc_hook.cpp
  src/common/calendar.cpp
  src/common/console_line.cpp
  src/common/library_log.cpp
)

set(QUORVEL_TRACE_SOURCES
  src/trace/debug_queue.cpp
  src/trace/file_trace.cpp
  src/trace/message_format.cpp
  src/trace/routes.cpp
  src/trace/trace_core.cpp
)

set(QUORVEL_CONCURRENCY_SOURCES
  src/concurrency/cond.cpp
  src/concurrency/mutex.cpp
  src/concurrency/qlist.cpp
  src/concurrency/semaphore.cpp
  src/concurrency/thread.cpp
)

set(QUORVEL_MEMORY_SOURCES
  src/memory/bits.cpp
  src/memory/cclass.cpp
  src/memory/second_field.cpp
  src/memory/slp.cpp
  src/memory/sram.cpp
  src/memory/std_list.cpp
  src/memory/std_map.cpp
)

set(QUORVEL_INDEX_SOURCES
  src/index/fastidx.cpp
  src/index/memdb.cpp
  src/index/rbtree.cpp
)

set(QUORVEL_CRYPTO_SOURCES
  src/crypto/aes.cpp
  src/crypto/aes_modes.cpp
  src/crypto/aes_x86.cpp
  src/crypto/base64.cpp
  src/crypto/base64_x86.cpp
  src/crypto/crc32.cpp
  src/crypto/crc32_x86.cpp
  src/crypto/engine_select.cpp
  src/crypto/hex.cpp
  src/crypto/hmac_sha256.cpp
  src/crypto/md5.cpp
  src/crypto/murmur3.cpp
  src/crypto/sha256.cpp
  src/crypto/sha256_compress.cpp
  src/crypto/sha256_x86.cpp
)

set(QUORVEL_NET_SOURCES
  src/net/address_format.cpp
  src/net/address_parse.cpp
  src/net/address_style.cpp
  src/net/default_address.cpp
  src/net/dns_server.cpp
  src/net/domain_table.cpp
  src/net/host_lookup.cpp
  src/net/interface_query.cpp
  src/net/local_address.cpp
  src/net/masks.cpp
  src/net/mixaddr.cpp
  src/net/nat64.cpp
  src/net/net_startup.cpp
  src/net/resolver_thread.cpp
  src/net/sockets.cpp
)

set(QUORVEL_RUNTIME_SOURCES
  src/runtime/cjson.cpp
  src/runtime/clock.cpp
  src/runtime/command.cpp
  src/runtime/console.cpp
  src/runtime/fields.cpp
  src/runtime/ini.cpp
  src/runtime/omath.cpp
  src/runtime/patch_string.cpp
  src/runtime/sfio.cpp
  src/runtime/utm.cpp
)

# Exports that only some platforms need from us: Windows' C runtime has no
# gettimeofday.
set(QUORVEL_RUNTIME_SOURCES_win32
  src/runtime/timeofday.cpp
)

# The platform code every operating system shares, then each one's folder.
set(QUORVEL_PLATFORM_SOURCES_shared
  src/platform/cpu_features.cpp
  src/platform/event_pair.cpp
)

set(QUORVEL_PLATFORM_SOURCES_posix
  src/platform/posix/clock.cpp
  src/platform/posix/command_words.cpp
  src/platform/posix/config_start.cpp
  src/platform/posix/futex.cpp
  src/platform/posix/interfaces.cpp
  src/platform/posix/name_lookup.cpp
  src/platform/posix/net.cpp
  src/platform/posix/output.cpp
  src/platform/posix/process.cpp
  src/platform/posix/resolv_conf.cpp
  src/platform/posix/routes.cpp
  src/platform/posix/stream.cpp
  src/platform/posix/sync.cpp
  src/platform/posix/thread.cpp
  src/platform/posix/thread_id.cpp
)

set(QUORVEL_PLATFORM_SOURCES_win32
  src/platform/win32/clock.cpp
  src/platform/win32/config_start.cpp
  src/platform/win32/dns_servers.cpp
  src/platform/win32/interfaces.cpp
  src/platform/win32/name_lookup.cpp
  src/platform/win32/net.cpp
  src/platform/win32/output.cpp
  src/platform/win32/process.cpp
  src/platform/win32/routes.cpp
  src/platform/win32/stream.cpp
  src/platform/win32/sync.cpp
  src/platform/win32/thread.cpp
  src/platform/win32/thread_id.cpp
  src/platform/win32/word_wait.cpp
)
