// Per-call lists of the host's network configuration.  A list lives in a
// small array of its own; a host with more entries than that gets a block
// from the allocation hook, released when the list goes out of scope.
#pragma once

#include <cstdint>

#include "common/alloc_hook.hpp"
#include "platform/platform.hpp"

namespace quorvel::detail {

template <typename Record, int32_t kLocal>
class ConfigList {
 public:
  ConfigList() = default;
  ~ConfigList() { qrvl_free(heap_); }
  ConfigList(const ConfigList &) = delete;
  ConfigList &operator=(const ConfigList &) = delete;

  // Fills the list with fetch(out, capacity, &needed), which returns the
  // records it filled (or -1) and sets needed to a capacity that holds
  // them all.  False when the query or the allocation fails.
  template <typename Fetch>
  bool fill(Fetch fetch) {
    Record *out = local_;
    int32_t capacity = kLocal;
    // The host may gain entries between two queries; a third attempt
    // takes what fits.
    for (int attempt = 0;; ++attempt) {
      int32_t needed = 0;
      int32_t filled = fetch(out, capacity, &needed);
      if (filled < 0) return false;
      if (needed <= capacity || attempt == 2) {
        count_ = filled;
        return true;
      }
      qrvl_free(heap_);
      heap_ = static_cast<Record *>(qrvl_calloc(static_cast<size_t>(needed), sizeof(Record)));
      if (heap_ == nullptr) return false;
      out = heap_;
      capacity = needed;
    }
  }

  int32_t count() const { return count_; }
  Record &operator[](int32_t i) { return (heap_ != nullptr ? heap_ : local_)[i]; }
  // Keeps only the records for which keep(record) holds, in their order.
  template <typename Keep>
  void keep_if(Keep keep) {
    int32_t kept = 0;
    for (int32_t i = 0; i < count_; ++i)
      if (keep((*this)[i])) (*this)[kept++] = (*this)[i];
    count_ = kept;
  }

 private:
  Record local_[kLocal];
  Record *heap_ = nullptr;
  int32_t count_ = 0;
};

using AddressList = ConfigList<platform::InterfaceAddress, 16>;
using GatewayList = ConfigList<platform::DefaultGateway, 8>;
using ServerList = ConfigList<platform::ConfigAddress, 8>;

}  // namespace quorvel::detail
