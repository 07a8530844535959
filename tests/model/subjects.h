// The library side of the model test.  Choices come from a Source (a seeded
// generator, or the fuzzer's input bytes).  Values come from Pools: fixed
// texts, borrowed objects and pointer targets that outlive every container,
// and fresh owned objects and blocks, released by settle() when a call did
// not take them.  Every object is a Counted Array subclass holding its id
// and counting its deletions; a re-entrant one puts the Integer 77 into the
// container under test (or adds it, to a set) from its Delete.  State is
// read through the pinned layout, so looking moves no cursor.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "quolan/containers.h"
#include "quolan/stream.h"
#include "array/array.h"
#include "variants.h"

namespace qm {

class Source {
public:
    virtual ~Source() = default;
    virtual uint32_t below(uint32_t n) = 0;  // 0 .. n-1 (0 when n is 0)
    virtual bool done() const = 0;
    bool chance(uint32_t percent) { return below(100) < percent; }
    int32_t between(int32_t low, int32_t high)  // inclusive
    {
        return low + static_cast<int32_t>(below(static_cast<uint32_t>(high - low + 1)));
    }
};

class SeededSource : public Source {
public:
    explicit SeededSource(uint64_t seed) : state_(seed) {}
    uint32_t below(uint32_t n) override { return n ? static_cast<uint32_t>(next() % n) : 0; }
    bool done() const override { return false; }

private:
    uint64_t next()  // splitmix64
    {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    uint64_t state_;
};

class ByteSource : public Source {
public:
    ByteSource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint32_t below(uint32_t n) override
    {
        if (n <= 1) return 0;
        uint32_t v = take();
        if (n > 256) v = v << 8 | take();
        return v % n;
    }
    bool done() const override { return at_ >= size_; }

private:
    uint32_t take() { return at_ < size_ ? data_[at_++] : 0; }
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

// The pinned Array layout, read from outside.
using ArrayView = qc::ArrayInstance;
inline const ArrayView *view(const void *o) { return static_cast<const ArrayView *>(o); }

// A pointer field of an instance: a private store, the loader, the typed fields.
template <class T = QuolanObject *>
T field_at(QuolanObject *o, size_t offset)
{
    T value;
    std::memcpy(&value, reinterpret_cast<char *>(o) + offset, sizeof value);
    return value;
}

inline int32_t object_id(const void *object)
{
    const ArrayView *v = view(object);
    if (!v->elements || !v->dimensions || v->dimensions[0].used_count < 1) return INT_MIN;
    return v->elements[0].tag == Integer ? v->elements[0].value.integer : INT_MIN;
}

// A client subclass of `parent` with a table of `Table`, its slots as the parent's.
template <class Table>
Table *subclass_of(QuolanObject *parent, size_t slots, QuolanObject **made)
{
    *made = quolan_generic_subclass(parent, parent->size, slots * sizeof(QuolanMethod));
    return reinterpret_cast<Table *>((*made)->methods);
}

struct Counted {
    static inline int64_t clears = 0;
    static inline std::map<const void *, QuolanObject *> targets;  // re-entrant object -> container

    static QuolanObject *make(int32_t id, QuolanObject *reenters = nullptr)
    {
        static QuolanObject *cls = nullptr;
        if (!cls) subclass_of<ArrayMethods>(array_baseclass_init(), ArraySlot_Count, &cls)->Clear = counting_clear;
        QuolanObject *o = quolan_base_methods(cls)->New(cls);
        if (o) quolan_array_methods(o)->PutIntAt(o, id, 0);
        if (o && reenters) targets[o] = reenters;
        return o;
    }
    static void forget(const void *o) { targets.erase(o); }

private:
    static void counting_clear(QuolanObject *self)
    {
        ++clears;
        auto at = targets.find(self);
        if (at != targets.end()) {
            QuolanObject *target = at->second;
            targets.erase(at);
            if (quolan_base_methods(target)->IsA(target, std::string("Array").data()))
                quolan_array_methods(target)->PutIntAt(target, 77, -2);
            else
                quolan_genset_methods(target)->AddInt32(target, 77);
        }
        quolan_base_methods(array_baseclass)->Clear(self);
    }
};

// The argument a call passes for `v`: a pointer to the datum, or the pointer.
inline void *argument(Value &v)
{
    if (v.missing) return nullptr;
    if (v.tag == Integer || v.tag == Boolean) return &v.number;
    if (v.tag == Double) return &v.real;
    return const_cast<void *>(v.ref);
}

// Loaders count the calls that reach them: a Dict, and one that answers
// every key with the key itself.
inline int64_t loader_calls = 0;
inline int32_t counted_get_key(QuolanObject *self, void **value, int32_t *tag, void *key, int32_t key_tag)
{
    ++loader_calls;
    return quolan_dict_methods(dict_baseclass)->GetKey(self, value, tag, key, key_tag);
}
inline int32_t echo_key(QuolanObject *, void **value, int32_t *tag, void *key, int32_t key_tag)
{
    ++loader_calls;
    *value = key;
    *tag = key_tag;
    return StatusOk;
}
inline QuolanObject *loader_of(int32_t (*get_key)(QuolanObject *, void **, int32_t *, void *, int32_t))
{
    QuolanObject *cls = nullptr;
    subclass_of<DictMethods>(dict_baseclass_init(), DictSlot_Count, &cls)->GetKey = get_key;
    return quolan_base_methods(cls)->New(cls);
}

class Pools {
public:
    static constexpr const char *kTexts[] = {"a", "b", "c", "Key", "key", "", "7", "two words",
                                             "a text long enough to need a real allocation"};
    static constexpr int kTextCount = sizeof kTexts / sizeof kTexts[0];
    static constexpr int kObjects = 3;

    Pools()
    {
        for (int i = 0; i < kObjects; ++i) objects_[i] = Counted::make(100 + i);
        // The Dict loader knows the Integer keys 1 to 3 and the text "7".
        dict_loader = loader_of(counted_get_key);
        const DictMethods *d = quolan_dict_methods(dict_loader);
        int32_t keys[] = {1, 2, 3}, forty_two = 42, seven = 7;
        double half = 3.5;
        d->PutKey(dict_loader, const_cast<char *>("one"), OwnedString, &keys[0], Integer);
        d->PutKey(dict_loader, &forty_two, Integer, &keys[1], Integer);
        d->PutKey(dict_loader, &half, Double, &keys[2], Integer);
        d->PutIntStringKey(dict_loader, seven, "7");
        echo_loader = loader_of(echo_key);
    }
    ~Pools()
    {
        for (QuolanObject *o : objects_)
            if (o) quolan_base_methods(o)->Delete(o);
        quolan_base_methods(dict_loader)->Delete(dict_loader);
        quolan_base_methods(echo_loader)->Delete(echo_loader);
    }
    Pools(const Pools &) = delete;
    Pools &operator=(const Pools &) = delete;

    int64_t self_deleted = 0;          // fresh objects the checks deleted themselves
    QuolanObject *target = nullptr;    // what re-entrant objects put into
    QuolanObject *dict_loader = nullptr;
    QuolanObject *echo_loader = nullptr;

    // What the Dict loader answers, in the model.
    static int32_t dict_answer(const Value &key, Value *out)
    {
        *out = Value{};
        if (key.tag == Integer && key.number == 1) *out = referring(OwnedString, kOwnCopy, "one");
        else if (key.tag == Integer && key.number == 2) *out = integer(42);
        else if (key.tag == Integer && key.number == 3) *out = real(3.5);
        else if (family(key.tag) == String && key.ref && key.text == "7") *out = integer(7);
        else return StatusOutOfRange;
        return StatusOk;
    }

    const char *text(Source &s) { return kTexts[s.below(kTextCount)]; }
    static const char *literal(const std::string &t)  // the pool's own pointer for a text
    {
        for (const char *p : kTexts)
            if (t == p) return p;
        return nullptr;
    }

    Value text_value(Source &s, int32_t tag) { return text_value(s, tag, text(s)); }
    Value text_value(Source &, int32_t tag, const std::string &t) { return referring(tag, literal(t), literal(t)); }
    Value borrowed_object(Source &s, int32_t tag = Object)
    {
        QuolanObject *o = objects_[s.below(kObjects)];
        Value v = referring(tag, o);
        v.number = object_id(o);
        return v;
    }
    Value fresh_object(Source &s)
    {
        const bool reentrant = target && s.chance(30);
        QuolanObject *o = Counted::make(next_id_, reentrant ? target : nullptr);
        pending_.push_back(o);
        Value v = referring(OwnedObject, o);
        v.number = next_id_++;
        v.reentrant = reentrant;
        return v;
    }
    Value fresh_block()
    {
        void *block = std::malloc(8);
        pending_.push_back(block);
        return referring(OwnedPointer, block);
    }
    Value pointer(Source &s, int32_t tag) { return referring(tag, &targets_[s.below(4)]); }

    Value number(Source &s)
    {
        static constexpr double kReals[] = {0.0, -0.0, 1.5, 7.0, 2.0000005, 1e300, -3.25};
        switch (s.below(6)) {
        case 0: return integer(s.chance(10) ? (s.chance(50) ? INT32_MIN : INT32_MAX) : s.between(-3, 12));
        case 1: return integer(s.between(0, 9));
        case 2: return real(s.chance(10) ? std::nan("") : kReals[s.below(7)]);
        case 3: return real(s.between(0, 9));
        case 4: return number_of(Boolean, s.chance(20) ? 256 : s.between(-1, 1));
        default: return real(s.between(-2, 2) * 0.5);
        }
    }

    // Any value a put may carry; fresh owned ones (only when `owning`) are
    // the callee's to take.
    Value value(Source &s, bool owning = true)
    {
        switch (s.below(20)) {
        case 0: case 1: case 2: case 3: case 4: case 5: return number(s);
        case 6: case 7: case 8: return text_value(s, OwnedString);
        case 9: case 10: return text_value(s, String);
        case 11: return borrowed_object(s);
        case 12: return owning ? fresh_object(s) : borrowed_object(s);
        case 13: return pointer(s, Pointer);
        case 14: return owning ? fresh_block() : pointer(s, Pointer);
        case 15: return referring(Null, s.chance(50) ? nullptr : &targets_[0]);
        case 16: {  // a datum or text given as NULL
            Value v = s.chance(50) ? number(s) : missing(OwnedString);
            v.missing = true;
            return v;
        }
        default: return integer(s.between(0, 99));
        }
    }

    // Releases a fresh owned value that the call did not take; values that
    // were not made fresh for the call are left alone.
    void settle(const Value &v, bool taken)
    {
        auto at = std::find(pending_.begin(), pending_.end(), v.ref);
        if (!v.ref || at == pending_.end()) return;
        pending_.erase(at);
        if (taken) return;
        Counted::forget(v.ref);
        auto *o = static_cast<QuolanObject *>(const_cast<void *>(v.ref));
        if (v.tag != OwnedObject) return std::free(o);
        quolan_base_methods(o)->Delete(o);
        ++self_deleted;
    }

private:
    std::vector<const void *> pending_;  // fresh values not yet settled
    QuolanObject *objects_[kObjects] = {};
    char targets_[4] = {};
    int32_t next_id_ = 1000;
};

// Does an element the library holds or hands out agree with the model's?
// A Null element compares its value word, which a plain read hands out as
// NULL and a typed read as the parked object: the model's read says which.
inline bool agrees(const Value &m, int32_t tag, const void *value)
{
    if (tag != m.tag) return false;
    switch (tag) {
    case Null: return value == m.ref;
    case Integer:
    case Boolean: return value && std::memcmp(value, &m.number, 4) == 0;
    case Double: return value && std::memcmp(value, &m.real, 8) == 0;
    case OwnedString: return value && m.text == static_cast<const char *>(value);
    case Object:
    case OwnedObject:
        if (!m.copied) return value == m.ref;
        return value && value != m.ref && object_id(value) == m.number;
    default: return value == m.ref;
    }
}

inline bool agrees(const Value &m, const Element &e)
{
    const void *value = holds_datum(e.tag) ? static_cast<const void *>(&e.value) : e.value.pointer;
    return agrees(m, e.tag, value);
}

}  // namespace qm
