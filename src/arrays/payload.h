// The array payload: one block from Tcl's allocator holding
//   count     signed 32-bit element count, never negative;
//   elements  `count` elements of T, packed, starting at the first offset
//             after the count that is aligned for T.
// The block may have room for more elements than count (after a length
// was reduced, while parsing, after sort -unique); that room is not
// recorded, count alone is the length.

#pragma once

#include <tcl.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../tcl_compat.h"

namespace nvec {

template <class T>
struct PayloadLayout {
    std::int32_t count;
    T first;
};

template <class T>
inline constexpr std::size_t kDataOffset = offsetof(PayloadLayout<T>, first);

// Bytes of a block for n elements: a payload with room for one element plus
// n - 1 further ones (n + 7 for chararray, 8n + 8 for doublearray). Computed
// in 64 bits; callers check PayloadFits first.
template <class T>
constexpr std::uint64_t PayloadBytes(std::int64_t n) {
    return sizeof(PayloadLayout<T>) + static_cast<std::uint64_t>(n) * sizeof(T) - sizeof(T);
}

// Whether a payload of n elements can exist: the count fits the 32-bit
// field and the block fits Tcl's allocator (an unsigned int of bytes in
// Tcl 8.6, a Tcl_Size in Tcl 9).
template <class T>
constexpr bool PayloadFits(std::int64_t n) {
    return n >= 0 && n <= INT_MAX && PayloadBytes<T>(n) <= kMaxBlockBytes;
}

// The largest element count a payload of T can hold.
template <class T>
constexpr std::int64_t MaxElems() {
    std::int64_t bytesLimit =
        static_cast<std::int64_t>((kMaxBlockBytes - sizeof(PayloadLayout<T>)) / sizeof(T)) + 1;
    return bytesLimit < INT_MAX ? bytesLimit : INT_MAX;
}

inline std::int32_t& PayloadCount(void* payload) { return *static_cast<std::int32_t*>(payload); }

template <class T>
T* PayloadData(void* payload) {
    return reinterpret_cast<T*>(static_cast<char*>(payload) + kDataOffset<T>);
}

// Marks the whole pages inside a block of at least 2 MB for the system's
// huge pages, where it has them (Linux's transparent huge pages in their
// "madvise" setting, which Debian ships): a pass over a large array then
// misses the address-translation caches far less, and the system gives a
// fresh block's memory 512 times fewer times. Measured on 10^7 doubles,
// `apply +` takes 0.88 of the time. Only advice: nothing changes when the
// system refuses or lacks it (obj_types.cpp). Payloads and the larger
// work buffers take it.
void AdviseHugePages(void* block, std::size_t bytes) noexcept;

// The end of TryNewPayload and NewPayload: the new block p, of `bytes`
// for n elements, advised, zeroed when `zero` is set, and counted.
inline void* SetUpPayload(void* p, std::size_t bytes, std::int64_t n, bool zero) noexcept {
    AdviseHugePages(p, bytes);
    if (zero) std::memset(p, 0, bytes);
    PayloadCount(p) = static_cast<std::int32_t>(n);
    return p;
}

// A block for n elements, or nullptr when n is impossible or memory is
// short. The count is set; elements are zero when `zero` is set, else left
// for the caller to fill.
template <class T>
void* TryNewPayload(std::int64_t n, bool zero) {
    if (!PayloadFits<T>(n)) return nullptr;
    auto bytes = static_cast<AllocSize>(PayloadBytes<T>(n));
    void* p = Tcl_AttemptAlloc(bytes);
    return p == nullptr ? nullptr : SetUpPayload(p, bytes, n, zero);
}

// Panics as Tcl does when a value would exceed its largest size.
inline void PanicValueTooLarge() {
    Tcl_Panic("max size for a Tcl value (%lld bytes) exceeded",
              static_cast<long long>(kMaxValueBytes));
}

// As TryNewPayload, for callers that cannot report failure: an impossible
// size panics in Tcl's own wording, and Tcl_Alloc panics when memory is out.
template <class T>
void* NewPayload(std::int64_t n, bool zero) {
    if (!PayloadFits<T>(n)) PanicValueTooLarge();
    auto bytes = static_cast<AllocSize>(PayloadBytes<T>(n));
    return SetUpPayload(Tcl_Alloc(bytes), bytes, n, zero);
}

}  // namespace nvec
