// An index beside a key or member store: find and find-or-create by hash, the
// store left exactly as its walk would leave it.
//
// The store stays the only record of keys, positions and order; the index
// only points into it.  Two structures, each with one job:
//
//   slots      a sparse table of position numbers, a power of two in size,
//              addressed by a key's hash under its match kind: 0 empty,
//              1 a removed position, p + 2 position p.  Probing starts at
//              hash & mask and goes on i = 5i + 1 + perturb, perturb shifted
//              right five places each step, so every bit of the hash takes
//              part and every slot is reached.  At most 7/10 of it is used.
//   positions  per position of the store: the hash of the entry held there
//              (its top bit set) while the entry is in the table, else 0;
//              a bit set while the entry is Null (a free position), with a
//              summary bit per 64 of them, so the first or the last free
//              position is found in a few words.
//
// What is indexed is what the store owns or holds by value: Integers,
// Doubles (NaN aside: it equals nothing), the store's own texts
// (OwnedString), and objects and pointers by identity.  A borrowed text
// (String) may be changed by its owner at any time, so it is never hashed:
// its positions are kept in a short list that every text lookup compares.
// Null, Boolean and unknown kinds have no meaning as keys and are left to
// the walk.  A key held twice (a stream may load one) counts as a duplicate,
// and while there are any, a lookup takes the lowest position among the
// matches, as the walk does.
//
// The index trusts the store to change only through the storage module:
// every change counts on the index (storage.h, Attachment), and an index
// that did not see a change is rebuilt before its next use.  Texts the store
// owns and numbers it holds are trusted not to change in place: the pointers
// GetSymbol, GetStringSymbol and GetValue hand out are for reading.
//
// Hashes are keyed with a seed drawn once per process, so a file of keys
// built to collide under any fixed hash does not collide here.
//
// Memory: 4 bytes of table per slot at between 0.35 and 0.7 slots in use,
// 4 bytes of hash and a bit per position: at most 16 bytes per key.
//
// May touch: the index and the store's storage through the storage module.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "array/storage.h"

namespace qc {

// ---- hashing ----

struct HashSeed {
    uint64_t a, b;
};

// The process's seed: drawn from the system's random source on first use.
HashSeed process_seed();

// A 64x64-bit multiply folded to 64 bits: every input bit reaches every
// output bit.
__extension__ typedef unsigned __int128 Wide;  // GCC and clang on 64-bit targets
inline uint64_t fold_multiply(uint64_t x, uint64_t y)
{
    const Wide r = static_cast<Wide>(x) * y;
    return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

// Odd constants with well-mixed bits, one per kind of input.
constexpr uint64_t kHashInteger = 0xa0761d6478bd642full;
constexpr uint64_t kHashDouble = 0xe7037ed1a0b428dbull;
constexpr uint64_t kHashObject = 0x8ebc6af09c88c6e3ull;
constexpr uint64_t kHashPointer = 0x589965cc75374cc3ull;
constexpr uint64_t kHashOwnedPointer = 0x1d8e4e27c47d124full;
constexpr uint64_t kHashText = 0x9e3779b97f4a7c15ull;
constexpr uint64_t kHashFinal = 0xbf58476d1ce4e5b9ull;

// A hash as the index keeps it: 32 bits, the top one set (0 means "none").
inline uint32_t as_index_hash(uint64_t h) { return static_cast<uint32_t>(h ^ (h >> 32)) | 0x80000000u; }

inline uint32_t hash_word(uint64_t word, uint64_t kind, const HashSeed &s)
{
    return as_index_hash(fold_multiply(word ^ s.a, kind ^ s.b));
}

// A text's `length` bytes, eight at a time: each step multiplies the running
// value, mixed with the next word, by a constant that depends on the seed.
inline uint32_t hash_text(const char *text, size_t length, const HashSeed &s)
{
    uint64_t h = s.a ^ length;
    const char *p = text;
    size_t n = length;
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = fold_multiply(h ^ w, kHashText ^ s.b);
    }
    if (n > 0) {
        uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = fold_multiply(h ^ w, kHashText ^ s.b);
    }
    return as_index_hash(fold_multiply(h, kHashFinal ^ s.b));
}

inline uint64_t double_bits(double v)
{
    const double normal = v + 0.0;  // -0.0 hashes as 0.0, which it equals
    uint64_t bits;
    std::memcpy(&bits, &normal, sizeof bits);
    return bits;
}

inline uint64_t identity_kind(int32_t match)
{
    return match == Object ? kHashObject : match == Pointer ? kHashPointer : kHashOwnedPointer;
}

// The hash of a store entry under its match kind, or 0 when the index does
// not hold it (see above).
inline uint32_t entry_hash(const Element &e, const HashSeed &s)
{
    switch (e.tag) {
    case Integer: return hash_word(static_cast<uint32_t>(e.value.integer), kHashInteger, s);
    case Double: return std::isnan(e.value.real) ? 0 : hash_word(double_bits(e.value.real), kHashDouble, s);
    case OwnedString: {
        const auto *text = static_cast<const char *>(e.value.pointer);
        return text ? hash_text(text, std::strlen(text), s) : 0;
    }
    case Object:
    case OwnedObject:
    case Pointer:
    case OwnedPointer:
        return hash_word(reinterpret_cast<uintptr_t>(e.value.pointer), identity_kind(match_kind(e.tag)), s);
    default: return 0;
    }
}

// Whether two entries the index holds are the same key.
inline bool same_key(const Element &x, const Element &y)
{
    if (match_kind(x.tag) != match_kind(y.tag)) return false;
    switch (x.tag) {
    case Integer: return x.value.integer == y.value.integer;
    case Double: return x.value.real == y.value.real;
    case OwnedString:
        return std::strcmp(static_cast<const char *>(x.value.pointer), static_cast<const char *>(y.value.pointer)) == 0;
    default: return x.value.pointer == y.value.pointer;
    }
}

// ---- the index ----

#ifdef QUOLAN_NO_KEY_INDEX
constexpr bool kKeyIndex = true;  // searches walk, as the walk's cost is stated
#else
constexpr bool kKeyIndex = true;
#endif

// Stores with fewer positions are scanned: below it a scan of the storage is
// as fast as hashing the key.
constexpr int32_t kIndexThreshold = 16;

struct KeyIndex {
    Attachment base;      // first, so the store's attachment is the index
    uint64_t seen;        // base.changes when the index last matched the store
    HashSeed seed;
    uint32_t *slots;      // see above
    uint32_t mask;        // slots - 1
    uint32_t live;        // slots holding a position
    uint32_t removed;     // slots marked removed
    uint32_t duplicates;  // entries whose key an entry in the table held already
    uint32_t *hashes;     // per position
    uint64_t *free_words;
    uint64_t *free_summary;
    int32_t positions;    // positions the per-position arrays cover
    int32_t extent;       // the store's used count the index describes
    int32_t free_count;
    int32_t *borrowed;    // positions of borrowed texts, in no order
    int32_t borrowed_count;
    int32_t borrowed_room;

    static constexpr uint32_t kEmpty = 0;
    static constexpr uint32_t kRemoved = 1;
    static constexpr uint32_t kPositionBase = 2;

    // The lowest position whose entry `match` accepts among those filed
    // under `hash`, or -1.
    template <class Match>
    int32_t find(const Element *entries, uint32_t hash, const Match &match) const
    {
        uint32_t i = hash & mask;
        uint32_t perturb = hash;
        int32_t best = -1;
        for (;;) {
            const uint32_t s = slots[i];
            if (s == kEmpty) return best;
            if (s != kRemoved) {
                const int32_t p = static_cast<int32_t>(s - kPositionBase);
                if (hashes[p] == hash && match(entries[p])) {
                    if (duplicates == 0) return p;
                    if (best < 0 || p < best) best = p;
                }
            }
            perturb >>= 5;
            i = (i * 5 + 1 + perturb) & mask;
        }
    }

    // The last (or first) free position, or -1.
    int32_t last_free() const;
    int32_t first_free() const;
};

inline KeyIndex *index_of(const ArrayInstance *store) { return reinterpret_cast<KeyIndex *>(storage::attachment(store)); }

// The store's index, made or brought up to date first; NULL when the store
// is too small for one or memory for it runs out (the caller then scans).
// REQUIRES: a plain store without a maximum size.
KeyIndex *index_for_search(ArrayInstance *store);

// After the search itself changed the store (an entry put at `position`,
// which was free or new), brings the index up to date; `hash` is the new
// entry's, when known.  An index that cannot follow is dropped.
void index_after_entry(ArrayInstance *store, KeyIndex *index, int32_t position, uint32_t hash);

// Clears `position` of a plain store whose index is up to date as the
// store's ClearAt would, keeping the index so; false when that is not so
// (then ClearAt it through the store's table).  Answers the element taken
// out, for the caller to release.
bool index_clear(ArrayInstance *store, int32_t position, Element *taken);

// Debug checks: the first way the index disagrees with its store's walk,
// or NULL.  An index that is out of date is rebuilt before use, so only one
// that claims to be up to date is checked.
const char *index_broken(const ArrayInstance *store);

}  // namespace qc
