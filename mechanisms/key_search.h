// The one search behind Dict keys and GenSet members.
//
// Both classes keep what they look up in a private plain Array, the store,
// one entry per position; a Null entry is a free position.  Positions never
// move, so a position found once stays valid until its entry is cleared.
// The answer is always the walk's: the first position in order whose entry
// matches.  A small plain store is scanned in position order, with the
// note kept about it to skip scans it can rule out; a larger one is looked
// up through the index kept beside it (both in key_index.h), which answer
// the same position and leave the same walk state.  The two
// classes differ only in which free position a new entry takes (Dict the
// last, GenSet the first), and that difference is the FreePosition
// parameter.
//
// Entries compare under their match kind (match_kind in array/element.h):
// Integer by value, Double with == (a NaN never matches, 0.0 matches -0.0),
// texts byte for byte; every other kind (objects, pointers, and the Boolean
// and Null kinds that have no meaning as keys) by comparing the pointer
// given with the value reference the store's GetAt would hand out.
//
// The store belongs to its container, which creates it on first use through
// ensure_store and deletes it with drop_store in its Clear (array/array.h).
// A store whose class record says it walks, reads and puts as a plain Array
// (every store the library makes) is searched in its storage through the
// storage module; any other is walked through its own table.
//
// May touch: the store it is given, nothing else.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "array/array.h"
#include "mechanisms/key_index.h"

namespace qc {

enum class FreePosition { Last, First };

// True when `key` cannot stand for a value of `kind`: numbers and texts are
// passed by reference, so a NULL there names nothing.  Lookups of such a key
// find nothing; callers that would store it refuse with StatusBadType.
constexpr bool lacks_referent(const void *key, int32_t kind)
{
    return !key && (holds_datum(kind) || kind == String || kind == OwnedString);
}

// Finds `key` of `kind` in `store` and answers its position.  On a miss with
// `create` set the key is put, with the kind exactly as given, at the free
// position chosen by `Rule`, else appended; `*created` (when given) then
// says 1.  Answers -1 on a miss without `create`, or when the put fails.
// The store's cursor ends where a walk with SetIndex(0) and Next would leave
// it: one past a hit, at the end after a miss, at the new entry after a put.
template <FreePosition Rule>
inline int32_t find_in_store(QuolanObject *store, const void *key, int32_t kind, bool create, int32_t *created);

// Clears `position` of `store` (a key withdrawn, a member removed) as the
// store's own ClearAt does, keeping its index up to date; answers that
// ClearAt's status.
int32_t clear_in_store(QuolanObject *store, int32_t position);

// The entry at `position` read with the store's GetAt into the caller's
// outputs; 0 when the read succeeded, 1 otherwise (also when no store can
// be made).
int32_t store_entry_at(QuolanObject **slot, void **value, int32_t *kind, int32_t position);

// The text of the entry at `position` when it is a text entry, else NULL.
// The text stays owned by whoever owned it in the store.
const char *store_text_at(QuolanObject **slot, int32_t position);

// ---- the search, inline where it is called: the common cases (a store with
// an up-to-date index, a small plain store) are a straight line there ----

namespace search {

struct Scan {
    int32_t hit;            // number of the match, or -1
    int32_t free_position;  // chosen free position, or -1 when none was met
};

// Byte-for-byte equality up to and including the NUL.  Keys are short and
// most differ within their first bytes, where an inline loop answers before
// a call to strcmp would have started.
inline bool same_text(const char *a, const char *b)
{
    while (*a == *b) {
        if (*a == '\0') return true;
        ++a;
        ++b;
    }
    return false;
}

template <class T>
inline T datum(const void *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The reference GetAt hands out for `e`, without the call.
inline const void *reference_of(const Element &e)
{
    if (e.tag == Null) return nullptr;
    if (holds_datum(e.tag)) return &e.value;
    return e.value.pointer;
}

// How entries compare with the key, one matcher per kind sought, each
// deciding from the element as it lies in storage or from what a read of it
// hands out (tag and value reference).  Numbers by value (a NaN never
// matches, 0.0 matches -0.0), texts byte for byte, objects and pointers by
// identity under their match kind, and the Boolean, Null and unknown kinds,
// which have no meaning as keys, by comparing the value reference with the
// key itself.  A key that names nothing matches nothing.  The tag is
// compared first, so an entry of another kind costs one compare.  A matcher
// whose kind the index files says so (kIndexed) and gives the key's hash.

inline Element number_element(int32_t v) { return int_element(Integer, v); }
inline Element number_element(double v) { return double_element(v); }
inline int32_t number_of(const Element &e, int32_t) { return e.value.integer; }
inline double number_of(const Element &e, double) { return e.value.real; }

template <class T, int32_t Tag>
struct NumberKey {
    static constexpr bool kIndexed = true;
    static constexpr int32_t kKind = Tag;  // the one kind sought with it
    T key;
    NumberKey(const void *k, int32_t) : key(datum<T>(k)) {}
    bool operator()(const Element &e) const
    {
        // An int32 is compared before the tag: most entries differ there,
        // and its bits read from an entry of another kind decide nothing.
        if constexpr (std::is_same_v<T, int32_t>) return e.value.integer == key && e.tag == Tag;
        return e.tag == Tag && number_of(e, key) == key;
    }
    bool operator()(int32_t tag, const void *ref) const { return tag == Tag && datum<T>(ref) == key; }
    Hash hash(const HashSeed &s) const { return entry_hash(number_element(key), s); }
};
using IntegerKey = NumberKey<int32_t, Integer>;
using DoubleKey = NumberKey<double, Double>;

// The kind of a key sought with `Match`: fixed for a number key, so that
// the compiler knows what is put on a miss.
template <class Match>
constexpr int32_t kind_sought(int32_t kind)
{
    if constexpr (requires { Match::kKind; }) return Match::kKind;
    return kind;
}

// Texts.  The key is measured once per search.  The store's own texts
// (OwnedString) are padded to whole 8-byte words with zeros after the NUL
// (copy_text in array/element.h), so against a key copied the same way here
// they compare a word at a time: a word is read only after the words before
// it matched key words that hold no NUL, so the text goes on at least that
// far.  Borrowed texts (String) and keys too long for the copy compare the
// first byte, then the rest byte by byte.
struct TextKey {
    static constexpr bool kIndexed = true;
    static constexpr size_t kWords = 8;  // keys up to 63 bytes go word by word
    const char *key;
    size_t length;  // of the key, its NUL not counted
    size_t words;   // words of `padded` in use; 0 when the key does not fit
    uint64_t padded[kWords];

    TextKey(const void *k, int32_t) : key(static_cast<const char *>(k))
    {
        length = std::strlen(key);
        const size_t n = length + 1;
        words = n <= sizeof padded ? (n + kTextWord - 1) / kTextWord : 0;
        if (words != 0) load_text_words(key, n, padded);
    }
    bool same_bytes(const void *ref) const
    {
        const char *text = static_cast<const char *>(ref);
        if (!text || text[0] != key[0]) return false;
        return key[0] == '\0' || same_text(text + 1, key + 1);
    }
    // `ref` is an OwnedString's block, which is never NULL (text_element in
    // array/element.h).
    bool same_words(const void *ref) const
    {
        const char *text = static_cast<const char *>(ref);
        for (size_t i = 0; i < words; ++i)
            if (datum<uint64_t>(text + i * kTextWord) != padded[i]) return false;
        return true;
    }
    [[gnu::always_inline]] bool operator()(const Element &e) const
    {
        if (e.tag == OwnedString) return words != 0 ? same_words(e.value.pointer) : same_bytes(e.value.pointer);
        return e.tag == String && same_bytes(e.value.pointer);
    }
    bool operator()(int32_t tag, const void *ref) const
    {
        return (tag == String || tag == OwnedString) && same_bytes(ref);
    }
    // Padded words hash as the store's padded blocks do (key_index.h).
    [[gnu::always_inline]] Hash hash(const HashSeed &s) const
    {
        if (words == 1) return hash_word_text(padded[0], s);
        return words == 0 ? hash_text(key, length, s) : hash_words(padded, words, s);
    }
};

// Objects and pointers, by identity under their match kind.
struct IdentityKey {
    static constexpr bool kIndexed = true;
    int32_t wanted;
    const void *key;
    IdentityKey(const void *k, int32_t kind) : wanted(match_kind(kind)), key(k) {}
    bool operator()(const Element &e) const { return match_kind(e.tag) == wanted && reference_of(e) == key; }
    bool operator()(int32_t tag, const void *ref) const { return match_kind(tag) == wanted && ref == key; }
    Hash hash(const HashSeed &s) const { return hash_word(reinterpret_cast<uintptr_t>(key), identity_kind(wanted), s); }
};

// The kinds with no meaning as keys (Null, Boolean, unknown): compared as
// identities too, but never filed, so always walked.
struct OddKey : IdentityKey {
    static constexpr bool kIndexed = false;
    using IdentityKey::IdentityKey;
};

struct NothingMatches {
    static constexpr bool kIndexed = false;
    NothingMatches(const void *, int32_t) {}
    bool operator()(const Element &) const { return false; }
    bool operator()(int32_t, const void *) const { return false; }
};

inline void note_free(Scan &s, int32_t number, FreePosition rule)
{
    if (!(rule == FreePosition::First && s.free_position >= 0)) s.free_position = number;
}

// The free position a new key takes among the first `used` entries under
// `Rule`, or -1.
template <FreePosition Rule>
inline int32_t free_position_in(const Element *entries, int32_t used)
{
    if constexpr (Rule == FreePosition::First) {
#pragma GCC unroll 4
        for (int32_t p = 0; p < used; ++p)
            if (entries[p].tag == Null) return p;
    } else {
#pragma GCC unroll 4
        for (int32_t p = used - 1; p >= 0; --p)
            if (entries[p].tag == Null) return p;
    }
    return -1;
}

// The scan of a plain store's first `used` entries, inline in each search
// below so that the loop is a few instructions per entry with the key in
// registers.  It compares keys and nothing else, and looks for the free
// position (when `want_free`) only once it has missed: checking each entry
// for both in one loop cost W6 at 16 members 8% of its time.
template <class Match, FreePosition Rule>
inline Scan scan_storage(const Element *entries, int32_t used, const Match &key, bool want_free)
{
    // Small matchers are copied so that the loop keeps them in registers;
    // the text matcher is read where it was built.
    using Held = std::conditional_t<sizeof(Match) <= 16, const Match, const Match &>;
    Held match = key;
    const Element *const end = entries + used;
#pragma GCC unroll 4
    for (const Element *e = entries; e != end; ++e)
        if (match(*e)) return {static_cast<int32_t>(e - entries), -1};
    return {-1, want_free ? free_position_in<Rule>(entries, used) : -1};
}

// Texts of up to seven bytes, the commonest keys, are one word: the store's
// own texts (never NULL) then compare with one load each.  This loop
// branches on the tag anyway, so it notes free positions as it goes.
template <class Match, FreePosition Rule>
[[gnu::always_inline]] inline Scan scan_storage_one_word(const Element *entries, int32_t used, const TextKey &key)
{
    const uint64_t word = key.padded[0];
    Scan s{-1, -1};
    const Element *const end = entries + used;
    for (const Element *e = entries; e != end; ++e) {
        const int32_t tag = e->tag;
        const char *text = static_cast<const char *>(e->value.pointer);
        if (tag == OwnedString) {
            if (datum<uint64_t>(text) == word) {
                s.hit = static_cast<int32_t>(e - entries);
                return s;
            }
        } else if (tag == Null) {
            note_free(s, static_cast<int32_t>(e - entries), Rule);
        } else if (tag == String && key.same_bytes(text)) {
            s.hit = static_cast<int32_t>(e - entries);
            return s;
        }
    }
    return s;
}

// The defined walk, through the store's own methods.
template <class Match>
Scan scan_walk(QuolanObject *store, const Match &match, FreePosition rule)
{
    Scan s{-1, -1};
    const ArrayMethods *m = array_of(store);
    m->SetIndex(store, 0);
    void *ref = nullptr;
    int32_t tag = Null;
    for (int32_t n = 0; m->Next(store, &ref, &tag) == StatusOk; ++n) {
        if (match(tag, ref)) {
            s.hit = n;
            return s;
        }
        if (tag == Null) note_free(s, n, rule);
    }
    return s;
}

constexpr uint64_t kWalkSlots = slot_bit(ArraySlot_SetIndex) | slot_bit(ArraySlot_Next) |
                                slot_bit(ArraySlot_GetAt);
constexpr uint64_t kEnterSlots = slot_bit(ArraySlot_PutAt) | slot_bit(ArraySlot_GetIndex);
// What the index stands for: the walk, the entry of a new key, and the
// clearing of one (key_index.h, index_clear).
constexpr uint64_t kIndexSlots = kWalkSlots | kEnterSlots | slot_bit(ArraySlot_ClearAt);

constexpr size_t kUnmeasured = SIZE_MAX;
template <class Match>
size_t measured_length(const Match &) { return kUnmeasured; }
inline size_t measured_length(const TextKey &match) { return match.length; }
// The key's own padded words, when the matcher made them.
template <class Match>
const uint64_t *padded_words(const Match &) { return nullptr; }
inline const uint64_t *padded_words(const TextKey &match) { return match.words ? match.padded : nullptr; }

// Puts the datum `e` at `target` of a store that puts as a plain Array and
// answers where it went, as Array's own GetIndex says (the put leaves the
// cursor on it); -1 when the put fails.
inline int32_t put_datum_entry(ArrayInstance *a, Element e, int32_t target)
{
    if (put_datum(a, e, target) != StatusOk) return -1;
    return storage::cursor(a);
}

// The same, `*created` set when the datum went in: out of line, so that a
// scan ending in the entry of a number keeps nothing for the put's sake.
[[gnu::noinline]] int32_t enter_datum(ArrayInstance *a, Element e, int32_t target, int32_t *created);

// Enters `key` of `kind` into a store that puts as a plain Array, at
// `target` (a free position, or -2 to append), and answers where it went, as
// Array's own PutAt and GetIndex say; -1 when the put fails.  A datum or text
// put by Array's own PutAt leaves the cursor on the position, which is what
// Array's GetIndex answers.
[[gnu::always_inline]] inline int32_t enter_plain(QuolanObject *store, const void *key, int32_t kind, int32_t target,
                                                  size_t text_length, const uint64_t *padded = nullptr)
{
    ArrayInstance *a = as_array(store);
    if (holds_datum(kind)) return put_datum_entry(a, element_from(key, kind), target);
    if (kind == OwnedString) {
        // The store's own copy, made with the length the search measured,
        // or whole from the key's padded words, which are that copy's; the
        // free or appended position holds nothing the same-pointer rule could
        // meet.
        if (text_length == kUnmeasured) text_length = std::strlen(static_cast<const char *>(key));
        char *copy = alloc_text(text_length);
        if (copy && padded) {
            for (size_t i = 0; i * kTextWord <= text_length; ++i) std::memcpy(copy + i * kTextWord, &padded[i], kTextWord);
        } else if (copy) {
            std::memcpy(copy, key, text_length + 1);
        }
        if (put_text_copy(a, copy, target) != StatusOk) return -1;
        return storage::cursor(a);
    }
    int32_t position = -1;
    if (Array::PutAt(store, const_cast<void *>(key), kind, target) != StatusOk) return -1;
    if (Array::GetIndex(store, &position) != StatusOk) return -1;
    return position;
}

// Enters `key` of `kind` at the free position found (or appends it) and
// answers where it went, as the store's own PutAt and GetIndex say; -1 when
// the put fails.
int32_t enter(QuolanObject *store, uint64_t own_slots, const void *key, int32_t kind, int32_t free_position,
              int32_t *created, size_t text_length);

// A search of a store that does not walk as a plain Array: through its own
// walk.
template <class Match>
[[gnu::noinline]] int32_t find_by_walk(QuolanObject *store, uint64_t own_slots, const void *key, int32_t kind,
                                       bool create, FreePosition rule, int32_t *created)
{
    const Scan found = scan_walk(store, Match(key, kind), rule);
    if (found.hit >= 0) return found.hit;
    if (!create || lacks_referent(key, kind)) return -1;
    return enter(store, own_slots, key, kind, found.free_position, created, kUnmeasured);
}

// A search of a plain store through its index: the same hit, the same free
// position, the same cursor and current_slot as the scan.
template <class Match, FreePosition Rule>
[[gnu::always_inline]] inline int32_t find_indexed(QuolanObject *store, KeyIndex *x, const Match &match, const void *key,
                                       int32_t kind, bool create, int32_t *created)
{
    ArrayInstance *a = as_array(store);
    const Element *entries = storage::at(a, 0);
    Hash hash = 0;
    uint32_t vacancy = 0;
    int32_t hit = -1;
    // Keys sought in the order they were entered are compared where the
    // next one lies first.
    if (const int32_t next = x->next_in_order(); next >= 0 && match(entries[next])) {
        hit = next;
    } else {
        hash = match.hash(x->seed);
        hit = x->find(entries, hash, match, create ? &vacancy : nullptr);
        if constexpr (std::is_same_v<Match, TextKey>) {
            // Borrowed texts are not filed (their owner may change them):
            // each is compared, and the lowest position that matches wins.
            for (int32_t k = 0; k < x->borrowed_count; ++k) {
                const int32_t p = x->borrowed[k];
                if ((hit < 0 || p < hit) && match.same_bytes(entries[p].value.pointer)) hit = p;
            }
        }
    }
    storage::leave_walked(a, hit >= 0 ? hit + 1 : x->extent);
    if (hit >= 0) {
        x->trail.note(hit);
        return hit;
    }
    if (!create || lacks_referent(key, kind)) return -1;
    const int32_t free_position = x->free_count == 0            ? -1
                                  : Rule == FreePosition::Last ? x->last_free()
                                                               : x->first_free();
    const int32_t position = enter_plain(store, key, kind, free_position >= 0 ? free_position : -2,
                                         measured_length(match), padded_words(match));
    if (position >= 0) {
        if (created) *created = 1;
        x->trail.note(position);  // before the index may be dropped below
    }
    // A borrowed text is listed, not filed under its hash.
    index_after_entry(a, x, position, position >= 0 && kind != String ? hash : 0, vacancy);
    return position;
}

// The scan of a plain store's first `extent` entries for `match`, with the
// free position (when `want_free`; the one-word text scan notes it anyway).
template <class Match, FreePosition Rule>
[[gnu::always_inline]] inline Scan scan_entries(const Element *entries, int32_t extent, const Match &match, bool want_free)
{
    if constexpr (std::is_same_v<Match, TextKey>) {
        if (match.words == 1) return scan_storage_one_word<Match, Rule>(entries, extent, match);
    }
    return scan_storage<Match, Rule>(entries, extent, match, want_free);
}

// A search of a plain store of `used` positions, fewer than
// kIndexThreshold and no maximum size, with its note (key_index.h): the
// same hit, free position, cursor and current_slot as the scan.  The entry
// after the last answer is compared first when a match there is the only
// one; a key whose bit the fingerprint does not hold is missed without a
// scan; anything else is scanned.
template <class Match, FreePosition Rule>
[[gnu::always_inline]] inline int32_t find_noted(QuolanObject *store, int32_t used, const Match &match,
                                                 const void *key, int32_t kind, bool create, int32_t *created)
{
    ArrayInstance *a = as_array(store);
    KeyNote &n = note_of(a);
    const bool noted = describes(a) || survey(a);
    const Element *entries = storage::at(a, 0);
    Hash hash = 0;
    int32_t hit = -1;
    if (used > 0) {
        if (const int32_t next = n.next_in_order(used); next >= 0 && match(entries[next])) {
            hit = next;
        } else if (n.borrowed || n.may_hold(hash = match.hash(process_seed()))) {
            hit = scan_entries<Match, Rule>(entries, used, match, false).hit;
        }
    }
    storage::leave_walked(a, hit >= 0 ? hit + 1 : used);
    if (hit >= 0) {
        n.trail.note(hit);
        return hit;
    }
    if (!create || lacks_referent(key, kind)) return -1;
    const int32_t free_position = n.free_count > 0 ? free_position_in<Rule>(entries, used) : -1;
    const int32_t target = free_position >= 0 ? free_position : -2;
    int32_t position;
    if (holds_datum(kind)) {
        position = enter_datum(a, element_from(key, kind), target, created);
    } else {
        position = enter_plain(store, key, kind, target, measured_length(match), padded_words(match));
        if (position >= 0 && created) *created = 1;
    }
    // The note follows an entry that went where the search sent it.
    const bool took_free = free_position >= 0;
    if (noted && position >= 0 && position == (took_free ? free_position : used) &&
        storage::used(a) == (took_free ? used : used + 1)) {
        n.free_count -= took_free;
        if (kind == String) {
            n.borrowed = true;
        } else {
            if (!hash) hash = match.hash(process_seed());
            if (hash) n.fingerprint |= KeyNote::bit(hash);
        }
        n.trail.note(position);
        stamp(n, a);
    }
    return position;
}

// Small matchers travel in registers; the text matcher is read where it was
// built.
template <class Match>
using MatchArg = std::conditional_t<sizeof(Match) <= 16, const Match, const Match &>;

// The scan of a plain store's first `extent` positions, the walk state it
// leaves, and on a miss with `create` the entry of the key: how both
// searches below end when no index serves.
template <class Match, FreePosition Rule>
[[gnu::always_inline]] inline int32_t scan_and_enter(QuolanObject *store, const Match &match, int32_t extent,
                                                     const void *key, int32_t kind, bool create, int32_t *created)
{
    ArrayInstance *a = as_array(store);
    Scan found{-1, -1};
    if (extent > 0) {
        found = scan_entries<Match, Rule>(storage::at(a, 0), extent, match, create);
    }
    storage::leave_walked(a, found.hit >= 0 ? found.hit + 1 : extent);
    if (found.hit >= 0) return found.hit;
    if (!create || lacks_referent(key, kind)) return -1;
    const int32_t target = found.free_position >= 0 ? found.free_position : -2;
    if (holds_datum(kind)) return enter_datum(as_array(store), element_from(key, kind), target, created);
    const int32_t position = enter_plain(store, key, kind, target, measured_length(match), padded_words(match));
    if (position >= 0 && created) *created = 1;
    return position;
}

template <class Match, FreePosition Rule>
int32_t find_rest(QuolanObject *store, MatchArg<Match> match, const void *key, int32_t kind, bool create,
                  int32_t *created);

// The store's index when it has one that describes it as it is, else NULL.
// A store has an index only once it has held enough positions, and it never
// holds fewer while it keeps its tables.
inline KeyIndex *current_index(ArrayInstance *a)
{
    if (storage::used(a) < kIndexThreshold) return nullptr;
    KeyIndex *x = index_of(a);
    return x && x->current(a) ? x : nullptr;
}

template <class Match, FreePosition Rule, bool Create>
[[gnu::noinline]] int32_t find_by_index(QuolanObject *store, KeyIndex *x, MatchArg<Match> match, const void *key,
                                        int32_t kind, int32_t *created)
{
    return find_indexed<Match, Rule>(store, x, match, key, kind, Create, created);
}

// The first search of a store without tables makes them first: the walk
// would fail its first step without them, and so would any put.
template <class Match, FreePosition Rule>
[[gnu::noinline]] int32_t find_after_tables(QuolanObject *store, MatchArg<Match> match, const void *key, int32_t kind,
                                            bool create, int32_t *created)
{
    if (storage::create_tables(as_array(store)) != StatusOk) return -1;
    return find_rest<Match, Rule>(store, match, key, kind, create, created);
}

// The whole search, for every store find_as does not finish itself.  An
// index is attached only to a plain store without a maximum size, and any
// change to the store since (sizes included) leaves it out of date: one that
// is up to date vouches for the store.  A plain store too small for an index
// is scanned; any other store is walked.
template <class Match, FreePosition Rule>
[[gnu::noinline]] int32_t find_rest(QuolanObject *store, MatchArg<Match> match, const void *key, int32_t kind,
                                    bool create, int32_t *created)
{
    ArrayInstance *a = as_array(store);
    if constexpr (Match::kIndexed && kKeyIndex) {
        if (KeyIndex *x = current_index(a)) return find_indexed<Match, Rule>(store, x, match, key, kind, create, created);
    }
    if (!a->dimensions) return find_after_tables<Match, Rule>(store, match, key, kind, create, created);
    const uint64_t own_slots = class_record(store).array_slots;
    const int32_t max_size = storage::record(a).max_size;
    // A negative maximum refuses the walk's very first step, and the walk
    // then leaves the cursor as it finds it: that walk is taken as it is.
    if ((own_slots & kIndexSlots) != kIndexSlots || max_size < 0)
        return find_by_walk<Match>(store, own_slots, key, kind, create, Rule, created);
    // The walk reads what Next reads: up to the used count, or a maximum
    // lowered below it.
    const int32_t extent = storage::walk_extent(a);
    if constexpr (Match::kIndexed && kKeyIndex) {
        if (extent >= kIndexThreshold && max_size == 0)
            if (KeyIndex *x = index_for_search_rest(a)) return find_indexed<Match, Rule>(store, x, match, key, kind, create, created);
        if (extent < kIndexThreshold && max_size == 0)
            return find_noted<Match, Rule>(store, extent, match, key, kind, create, created);
    }
    return scan_and_enter<Match, Rule>(store, match, extent, key, kind, create, created);
}

}  // namespace search

namespace search {

// One function per kind of key, free-position rule and whether a miss
// enters the key: each is small enough to keep its key and the storage in
// registers (one function for every kind would save and restore them all on
// every call), and lookups and entries each have a scan loop of their own,
// whose exits the branch predictor learns apart.  For a number key its
// calls are its last acts, so a lookup saves no registers and an entry two:
// a value kept across a call here costs every small search up to six
// register saves and restores (W6 at 16 members went from 225 to 270
// instructions per operation when the index was consulted before the scan).
// Measure with bench/count_instructions.py after any change.
template <class Match, FreePosition Rule, bool Create>
[[gnu::noinline]] int32_t find_as(QuolanObject *store, const void *key, int32_t kind, int32_t *created)
{
    QC_CHECK_STORAGE_ON_RETURN(store);
    if (created) *created = 0;
    kind = kind_sought<Match>(kind);
    const Match match(key, kind);
    // The commonest stores, a straight line: a plain one with its tables,
    // one dimension and no maximum size, through its index when it is large
    // enough to have one that is up to date, else (its class record vouching
    // that it walks, enters and clears as Array's own) by the scan find_rest
    // would make.  Every other store goes to find_rest.
    ArrayInstance *a = as_array(store);
    if (const DimensionRecord *rec = storage::single(a); rec && rec->max_size == 0) {
        const int32_t used = rec->used_count;
        bool small = true;
        if constexpr (Match::kIndexed && kKeyIndex) {
            if (used >= kIndexThreshold) {
                small = false;
                // As current_index, the used count known.
                KeyIndex *x = index_of(a);
                if (x && x->current(a)) return find_by_index<Match, Rule, Create>(store, x, match, key, kind, created);
            }
        }
        if (small && (class_record(store).array_slots & kIndexSlots) == kIndexSlots) {
            if constexpr (Match::kIndexed && kKeyIndex)
                return find_noted<Match, Rule>(store, used, match, key, kind, Create, created);
            return scan_and_enter<Match, Rule>(store, match, used, key, kind, Create, created);
        }
    }
    return find_rest<Match, Rule>(store, match, key, kind, Create, created);
}

template <class Match, FreePosition Rule>
inline int32_t find_as(QuolanObject *store, const void *key, int32_t kind, bool create, int32_t *created)
{
    return create ? find_as<Match, Rule, true>(store, key, kind, created)
                  : find_as<Match, Rule, false>(store, key, kind, created);
}

}  // namespace search

template <FreePosition Rule>
inline int32_t find_in_store(QuolanObject *store, const void *key, int32_t kind, bool create, int32_t *created)
{
    using namespace search;
    if (lacks_referent(key, kind)) return find_as<NothingMatches, Rule>(store, key, kind, create, created);
    switch (match_kind(kind)) {
    case Integer: return find_as<IntegerKey, Rule>(store, key, kind, create, created);
    case Double: return find_as<DoubleKey, Rule>(store, key, kind, create, created);
    case String: return find_as<TextKey, Rule>(store, key, kind, create, created);
    case Object:
    case Pointer:
    case OwnedPointer: return find_as<IdentityKey, Rule>(store, key, kind, create, created);
    default: return find_as<OddKey, Rule>(store, key, kind, create, created);
    }
}
}  // namespace qc
