// The element rules every container shares.
//
// An Element is a tag and an 8-byte value.  Integer, Double and Boolean hold
// their datum in the element; the other tags hold a pointer.  Three families
// pair a borrowed kind with an owned one: strings (String, OwnedString),
// objects (Object, OwnedObject) and pointers (Pointer, OwnedPointer).  Owned
// content is released by tag: free for OwnedString and OwnedPointer, the
// object's own Delete for OwnedObject.  Borrowed content is never released.
//
// Values cross element operations as one pointer, the "value reference": a
// pointer to the datum for Integer, Double and Boolean, the pointer itself
// for every other tag.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "framework/memory.h"
#include "framework/methods.h"

namespace qc {

constexpr bool is_owned(int32_t tag)
{
    return tag == OwnedString || tag == OwnedObject || tag == OwnedPointer;
}

constexpr bool holds_datum(int32_t tag)
{
    return tag == Integer || tag == Double || tag == Boolean;
}

// Tags 0..9 are the element types; anything else is out of range.
constexpr bool is_known_tag(int32_t tag) { return static_cast<uint32_t>(tag) <= Boolean; }

// Borrowed and owned kinds of a family share one family tag.
constexpr int32_t family(int32_t tag)
{
    switch (tag) {
    case OwnedString: return String;
    case OwnedObject: return Object;
    case OwnedPointer: return Pointer;
    default: return tag;
    }
}

// How keys and members compare: strings and objects join their families,
// while Pointer and OwnedPointer stay apart.
constexpr int32_t match_kind(int32_t tag)
{
    switch (tag) {
    case OwnedString: return String;
    case OwnedObject: return Object;
    default: return tag;
    }
}

// The value reference that reads of `e` hand out.
inline void *value_ref(Element &e)
{
    if (e.tag == Null) return nullptr;
    if (holds_datum(e.tag)) return &e.value;
    return e.value.pointer;
}

// What a read of `e` hands out: its tag, and its value reference (see
// value_ref), each only when asked for.
inline void read_out(const Element &e, void **value, int32_t *tag)
{
    const int32_t t = e.tag;
    if (tag) *tag = t;
    if (!value) return;
    if (holds_datum(t))
        *value = const_cast<void *>(static_cast<const void *>(&e.value));
    else
        *value = t == Null ? nullptr : e.value.pointer;
}

// Moves the content out of a storage slot: the slot becomes an empty Null
// element and the answer holds what it held.  Storage reaches its final
// state this way first; what the answer owns is released afterwards with
// release(), when the code that runs (an owned object's Delete) may reach
// back into the container and must find it consistent.
inline Element take(Element &slot)
{
    Element old = slot;
    slot.tag = Null;
    slot.value.pointer = nullptr;
    return old;
}

// Names one owned block that changes hands inside an operation that also
// drops what a position held (an owned object re-recorded as the loader key
// of its own position, say): while the scope lives, release() leaves that
// block alone and notes that it met it, so the new owner can take it.
//
// Every release asks; while no scope is open in any thread (nearly always)
// the answer comes from one shared count, without reaching the scope's
// thread-local state, which in a shared library costs a call.
class HandOver {
public:
    explicit HandOver(const void *block) : outer_(block_)
    {
        open_.fetch_add(1, std::memory_order_relaxed);
        block_ = block;
        met_ = false;
    }
    ~HandOver()
    {
        block_ = outer_;
        open_.fetch_sub(1, std::memory_order_relaxed);
    }
    HandOver(const HandOver &) = delete;
    HandOver &operator=(const HandOver &) = delete;
    bool met() const { return met_; }
    static bool spares(const void *block)
    {
        // A scope this thread opened is counted before it names its block.
        if (!block || open_.load(std::memory_order_relaxed) == 0 || block != block_) return false;
        met_ = true;
        return true;
    }

private:
    static inline std::atomic<int> open_{0};  // scopes open in all threads
    static inline thread_local const void *block_ = nullptr;
    static inline thread_local bool met_ = false;
    const void *outer_;
};

// Releases what a detached element owns, by its tag: free for OwnedString
// and OwnedPointer, the object's own Delete for OwnedObject.
inline void release(const Element &detached)
{
    if (!is_owned(detached.tag)) return;
    void *owned = detached.value.pointer;
    if (!owned || HandOver::spares(owned)) return;
    if (detached.tag == OwnedObject) {
        auto *object = static_cast<QuolanObject *>(owned);
        base_of(object)->Delete(object);
    } else {
        mem::release(owned);
    }
}

// The library's own copy of a text, for an OwnedString element; NULL when
// memory runs out.  Every OwnedString block an element holds is made here
// (puts and copies alike), rounded up to whole 8-byte words with zeros after
// the NUL, so a search may compare such a text a word at a time without
// reading outside its block (mechanisms/key_search.h).  It stays one block that
// free releases.
constexpr size_t kTextWord = 8;

// A block for a text of `length` bytes and its NUL, padded as copy_text
// pads it: the caller writes the text and its NUL, the zeros after it are
// there already.  NULL when memory runs out.
inline char *alloc_text(size_t length)
{
    const size_t size = (length + 1 + kTextWord - 1) & ~(kTextWord - 1);
    char *block = static_cast<char *>(mem::alloc(size));
    if (block) std::memset(block + size - kTextWord, 0, kTextWord);
    return block;
}

// The words of a text of `n` bytes, its NUL included, as a padded block
// holds them, read without touching a byte past the NUL: whole words, then
// the last bytes from a read that ends at the NUL, moved down.  The words
// come straight into registers, where a copy into a zeroed buffer would
// stall the first word read of it.
inline void load_text_words(const char *text, size_t n, uint64_t *words)
{
    const size_t whole = n / kTextWord, rest = n % kTextWord;
    if constexpr (std::endian::native != std::endian::little) {
        if (rest) words[whole] = 0;
        std::memcpy(words, text, n);
        return;
    }
    const auto load = [](const char *p, auto word) {
        std::memcpy(&word, p, sizeof word);
        return static_cast<uint64_t>(word);
    };
    for (size_t i = 0; i < whole; ++i) {
        uint64_t w = load(text + i * kTextWord, uint64_t{});
        // Opaque to the optimiser, so the loop stays a few moves and does not
        // become a string-move instruction, whose start-up costs more than
        // copying a short key takes.
        __asm__("" : "+r"(w));
        words[i] = w;
    }
    if (rest == 0) return;
    if (whole > 0) {
        words[whole] = load(text + n - kTextWord, uint64_t{}) >> (8 * (kTextWord - rest));
    } else if (rest >= 4) {  // two reads of four bytes that overlap by 8 - rest
        words[0] = load(text, uint32_t{}) | load(text + rest - 4, uint32_t{}) << (8 * (rest - 4));
    } else {
        words[0] = load(text, uint8_t{}) | load(text + rest / 2, uint8_t{}) << (8 * (rest / 2)) |
                   load(text + rest - 1, uint8_t{}) << (8 * (rest - 1));
    }
}

inline char *copy_text(const char *text)
{
    const size_t length = std::strlen(text);
    char *copy = alloc_text(length);
    if (copy) std::memcpy(copy, text, length + 1);
    return copy;
}

// Elements made from a datum, a double or the library's own text copy (an
// empty Null element when the copy could not be made, so that an OwnedString
// element always holds its block: the key search reads it unchecked), the
// value word cleared first as element_from leaves it.
inline Element int_element(int32_t tag, int32_t datum)
{
    Element e;
    e.tag = tag;
    e.value.pointer = nullptr;
    e.value.integer = datum;
    return e;
}
inline Element double_element(double v)
{
    Element e;
    e.tag = Double;
    e.value.real = v;
    return e;
}
inline Element text_element(char *copy)
{
    Element e;
    e.tag = copy ? OwnedString : Null;
    e.value.pointer = copy;
    return e;
}

// Reads the datum a value reference points at (Integer, Double, Boolean), or
// takes the reference itself.  Reading first keeps a put correct even when
// the reference points into the storage that the put is about to grow.
inline Element element_from(const void *value, int32_t tag)
{
    Element e;
    e.tag = tag;
    e.value.pointer = nullptr;
    if (tag == Integer || tag == Boolean)
        std::memcpy(&e.value.integer, value, sizeof(int32_t));
    else if (tag == Double)
        std::memcpy(&e.value.real, value, sizeof(double));
    else
        e.value.pointer = const_cast<void *>(value);
    return e;
}

}  // namespace qc
