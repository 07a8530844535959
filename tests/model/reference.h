// A reference model of what a client can observe of Array, Dict and GenSet.
//
// Each model is plain C++ over standard containers and is written from the
// rules the classes promise, step by step, not from their code: an Array is
// a vector of Values (its size is used_count) with a cursor, a capacity and
// the two sizes; a Dict is two such arrays, its values and its key store; a
// GenSet is one, its member store.  The key/member search walks the model
// store with set_index(0) and next() exactly as the rules say the real store
// is walked, so the store cursors come out right for free.
//
// Where the rules leave a choice, the model takes ours:
//   - indexes below -2 are refused with -6;
//   - GetAt(-1) and Previous on an empty array answer -6 and move nothing;
//   - a missing datum or text (NULL for Integer, Double, Boolean or
//     OwnedString) is refused by PutAt with -3, and a missing text or number
//     key or member matches nothing and is refused by PutKey and Add with -3;
//   - the keyed walk tests the key of the position the step delivers, so at
//     cursor -1 Next tests position 0 and at used_count Previous tests the
//     last position.
//
// Nothing here calls the library; tests/model/subjects.h compares the two.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quolan/containers.h"

namespace qm {

// Stands for the pointer of a container's own copy of a text, which the
// model cannot know: non-null, and never a pointer a caller passes.
inline const char kOwnCopy[] = "";

// One element.  `ref` is the pointer the element holds (String, the object
// and pointer kinds, and the argument a Null put stored); `number` is the
// Integer or Boolean datum, or the id an object holds at its position 0.
struct Value {
    int32_t tag = Null;
    int32_t number = 0;
    double real = 0;
    std::string text;
    const void *ref = nullptr;
    bool missing = false;  // a datum or text given as NULL
    bool copied = false;   // an object made by Load or Copy: compare by id, not by address
};

constexpr bool holds_datum(int32_t tag) { return tag == Integer || tag == Double || tag == Boolean; }
constexpr bool is_owned(int32_t tag) { return tag == OwnedString || tag == OwnedObject || tag == OwnedPointer; }
constexpr int32_t family(int32_t tag)
{
    return tag == OwnedString ? String : tag == OwnedObject ? Object : tag == OwnedPointer ? Pointer : tag;
}
// Pointer and OwnedPointer stay apart as keys; strings and objects join.
constexpr int32_t match_kind(int32_t tag) { return tag == OwnedPointer ? tag : family(tag); }

inline bool lacks_referent(const Value &v)
{
    return v.missing || ((v.tag == String || v.tag == OwnedString) && !v.ref);
}

// Key and member equality under the match kind.  Boolean keys compare the
// pointer given with the one a read of the store hands out (a pointer into
// the store), so they never match; a Null key matches a free position only
// when given as NULL.
inline bool same_key(const Value &stored, const Value &sought)
{
    if (match_kind(stored.tag) != match_kind(sought.tag) || lacks_referent(sought)) return false;
    switch (match_kind(sought.tag)) {
    case Integer: return stored.number == sought.number;
    case Double: return stored.real == sought.real;
    case String: return stored.ref && stored.text == sought.text;
    case Boolean: return false;
    case Null: return sought.ref == nullptr;
    default: return stored.ref == sought.ref;
    }
}

// Element equality of IsEqual: numbers within 1e-6 across Integer and Double
// (a NaN difference counts as close), families alike, objects by the id they
// hold (every object the tests make is an Array holding its id).
inline bool equal_elements(const Value &a, const Value &b)
{
    auto close = [](double x, double y) { return !(std::fabs(x - y) > 1e-6); };
    auto as_real = [](const Value &v) { return v.tag == Integer ? double(v.number) : v.real; };
    switch (family(a.tag)) {
    case Null: return b.tag == Null;
    case Integer:
        return (b.tag == Integer && a.number == b.number) || (b.tag == Double && close(a.number, b.real));
    case Double: return (b.tag == Double || b.tag == Integer) && close(a.real, as_real(b));
    case String: return family(b.tag) == String && (a.ref && b.ref ? a.text == b.text : a.ref == b.ref);
    case Object:
        return family(b.tag) == Object && (a.ref && b.ref ? a.number == b.number : a.ref == b.ref);
    case Pointer: return family(b.tag) == Pointer && a.ref == b.ref;
    case Boolean: return b.tag == Boolean && a.number == b.number;
    default: return false;
    }
}

class ArrayModel {
public:
    std::vector<Value> cells;  // one per position in use
    int64_t capacity = 0;
    int32_t cursor = 0;
    int32_t initial = 0;
    int32_t maximum = 0;
    int64_t released_objects = 0;  // OwnedObjects released so far

    int32_t used() const { return static_cast<int32_t>(cells.size()); }

    int32_t select(int32_t index, bool grow, int32_t *position = nullptr)
    {
        int64_t p = index;
        if (index == -2) p = used();
        else if (index == -1) p = used() > 0 ? used() - 1 : 0;
        else if (index < -2) return StatusOutOfRange;
        else if (!grow && index > 0 && index >= used()) return StatusOutOfRange;
        if (maximum != 0 && p >= maximum) return StatusOutOfRange;
        if (grow) {
            int64_t needed = std::max<int64_t>(used(), p + 1);
            int64_t room = (needed + 31) / 32 * 32;
            if (maximum != 0) room = std::max<int64_t>(std::min<int64_t>(room, maximum), initial);
            if (room > INT32_MAX) return StatusNoMemory;
            capacity = std::max(capacity, room);
            cells.resize(static_cast<size_t>(needed));
        }
        cursor = static_cast<int32_t>(p);
        if (position) *position = cursor;
        return StatusOk;
    }

    int32_t put(const Value &v, int32_t index)
    {
        if (v.missing && (holds_datum(v.tag) || v.tag == OwnedString)) return StatusBadType;
        int32_t p = 0;
        int32_t status = select(index, true, &p);
        if (status != StatusOk) return status;
        Value &old = cells[p];
        if (is_owned(old.tag) && family(v.tag) == family(old.tag) && v.ref == old.ref) {
            old.tag = v.tag;  // the same block changes hands
            return StatusOk;
        }
        release(old);
        old = v;
        if (v.tag == OwnedString) old.ref = kOwnCopy;
        return StatusOk;
    }

    int32_t get(int32_t index, Value *out)
    {
        if (index >= used()) {
            if (index > initial) return StatusOutOfRange;
            int32_t status = select(index, true);
            if (status != StatusOk) return status;
        }
        if (index == -2 || (index == -1 && used() == 0)) return StatusOutOfRange;
        int32_t p = 0;
        int32_t status = select(index, false, &p);
        if (status != StatusOk) return status;
        *out = cells[p];
        if (out->tag == Null) out->ref = nullptr;  // a read of Null hands out NULL
        return StatusOk;
    }

    int32_t next(Value *out)
    {
        if (cursor == -1) cursor = 0;
        if (cursor >= used()) return StatusOutOfRange;
        int32_t status = get(cursor, out);
        if (status == StatusOk) ++cursor;
        return status;
    }

    int32_t previous(Value *out)
    {
        if (used() == 0 || cursor == -1 || cursor > used()) return StatusOutOfRange;
        if (cursor == used()) cursor = used() - 1;
        int32_t status = get(cursor, out);
        if (status == StatusOk) --cursor;
        return status;
    }

    int32_t clear_at(int32_t index)
    {
        if (capacity == 0) return StatusOk;
        if (index == -2) return StatusOutOfRange;
        int32_t p = 0;
        int32_t status = select(index, false, &p);
        if (status != StatusOk) return status;
        release(cells[p]);
        cells[p] = Value{};
        return StatusOk;
    }

    int32_t set_index(int32_t index) { return select(index, false); }
    int32_t get_index(int32_t *out) const
    {
        if (cursor == -1) return StatusOutOfRange;
        *out = cursor;
        return StatusOk;
    }
    void set_sizes(int32_t init, int32_t max)
    {
        initial = std::min(init, max);
        maximum = max;
    }
    int32_t get_sizes() const { return std::max(used(), initial); }

    // Clear releases every position in use, then forgets storage and sizes.
    void clear()
    {
        for (Value &v : cells) release(v);
        const int64_t released = released_objects;
        *this = ArrayModel{};
        released_objects = released;
    }

    // Save reads every position up to the size with GetAt; `record` receives
    // the entries as written (borrowed kinds as owned ones).
    int32_t save(std::vector<Value> *record)
    {
        int32_t count = get_sizes();
        for (int32_t p = 0; p < count; ++p) {
            Value v;
            int32_t status = get(p, &v);
            if (status != StatusOk) return status;
            if (family(v.tag) == Object && !v.ref) v = Value{};
            if (family(v.tag) == Pointer || (family(v.tag) == String && !v.ref)) return StatusBadType;
            if (v.tag == Boolean) v.number &= 0xff;
            if (family(v.tag) == String || family(v.tag) == Object) v.tag = family(v.tag) + 1;
            v.copied = v.tag == OwnedObject;
            record->push_back(v);
        }
        return StatusOk;
    }

    // Load puts every non-Null entry at its position, over what is there.
    int32_t load(const std::vector<Value> &record)
    {
        for (size_t i = 0; i < record.size(); ++i) {
            if (record[i].tag == Null) continue;
            int32_t status = put(record[i], static_cast<int32_t>(i));
            if (status != StatusOk) return status;
        }
        return StatusOk;
    }

    // Copy walks with Array's own SetIndex(0), GetIndex and Next, and puts
    // each element into a fresh array at the position it came from; an
    // owned pointer is borrowed by the copy.  False when the copy fails.
    bool copy_into(ArrayModel *copy)
    {
        set_index(0);
        for (;;) {
            int32_t p = 0;
            get_index(&p);
            Value v;
            int32_t status = next(&v);
            if (status != StatusOk) return status == StatusOutOfRange;
            if (v.tag == OwnedObject && v.ref) v.copied = true;
            if (v.tag == OwnedPointer) v.tag = Pointer;
            if (copy->put(v, p) != StatusOk) return false;
        }
    }

    // IsEqual against a plain array (never a Dict): sizes, then every
    // position read with GetAt on both sides.
    int32_t is_equal(ArrayModel &other)
    {
        int32_t n = get_sizes();
        if (other.get_sizes() != n) return 0;
        for (int32_t i = 0; i < n; ++i) {
            Value a, b;
            if (get(i, &a) != StatusOk || other.get(i, &b) != StatusOk) return 0;
            if (!equal_elements(a, b)) return 0;
        }
        return 1;
    }

    // True when a position at or beyond `from` holds something owned, which
    // Clear could not reach once the maximum is lowered to `from`.
    bool owns_from(int32_t from) const
    {
        for (size_t p = std::max(from, 0); p < cells.size(); ++p)
            if (is_owned(cells[p].tag)) return true;
        return false;
    }

private:
    void release(Value &v)
    {
        if (v.tag == OwnedObject && v.ref) ++released_objects;
    }
};

enum class FreeRule { Last, First };

// The search shared by keys and members: a walk of the store from position
// 0 with Next; a miss with `create` puts the key at the chosen free position,
// else appends it, and answers where GetIndex says it went.
inline int32_t find_entry(ArrayModel &store, const Value &key, bool create, FreeRule rule,
                          bool *created = nullptr)
{
    if (created) *created = false;
    store.set_index(0);
    int32_t free_position = -1;
    Value v;
    for (int32_t n = 0; store.next(&v) == StatusOk; ++n) {
        if (same_key(v, key)) return n;
        if (v.tag == Null && (rule == FreeRule::Last || free_position < 0)) free_position = n;
    }
    if (!create || lacks_referent(key)) return -1;
    if (store.put(key, free_position >= 0 ? free_position : -2) != StatusOk) return -1;
    int32_t position = -1;
    if (store.get_index(&position) != StatusOk) return -1;
    if (created) *created = true;
    return position;
}

class DictModel {
public:
    ArrayModel values;
    ArrayModel keys;
    bool has_keys = false;

    int32_t symbol_index(const Value &key) { return find_entry(store(), key, false, FreeRule::Last); }

    int32_t get_symbol(int32_t position, Value *out) { return store().get(position, out) == StatusOk ? 0 : 1; }

    int32_t put_key(const Value &value, const Value &key, bool *created)
    {
        *created = false;
        store();
        if (lacks_referent(key)) return StatusBadType;
        int32_t p = find_entry(keys, key, true, FreeRule::Last, created);
        if (p < 0) return StatusNoMemory;
        int32_t status = values.put(value, p);
        if (status != StatusOk && *created) {
            values.clear_at(p);
            keys.clear_at(p);
        }
        return status;
    }

    // An absent key answers -6 with an empty value; `absent` tells it apart
    // from a -6 of the read itself.
    int32_t get_key(const Value &key, Value *out, bool *absent)
    {
        int32_t p = find_entry(store(), key, false, FreeRule::Last);
        *absent = p < 0;
        if (p < 0) {
            *out = Value{};
            return StatusOutOfRange;
        }
        return values.get(p, out);
    }

    int32_t clear_key(const Value &key)
    {
        int32_t p = find_entry(store(), key, false, FreeRule::Last);
        if (p < 0) return StatusOutOfRange;
        int32_t status = values.clear_at(p);
        return status != StatusOk ? status : keys.clear_at(p);
    }

    int32_t next(Value *out) { return keyed_step(true, out); }
    int32_t previous(Value *out) { return keyed_step(false, out); }

    void clear()
    {
        keys.clear();
        has_keys = false;
        values.clear();
    }

    int64_t released_objects() const { return values.released_objects + keys.released_objects; }

    // On a stream: the key store's record, then the values' record.
    int32_t save(std::vector<Value> *key_record, std::vector<Value> *value_record)
    {
        int32_t status = store().save(key_record);
        return status != StatusOk ? status : values.save(value_record);
    }
    int32_t load(const std::vector<Value> &key_record, const std::vector<Value> &value_record)
    {
        int32_t status = store().load(key_record);
        return status != StatusOk ? status : values.load(value_record);
    }
    // The values are copied first, then the key store if there is one.
    bool copy_into(DictModel *copy)
    {
        if (!values.copy_into(&copy->values)) return false;
        copy->has_keys = has_keys;
        return !has_keys || keys.copy_into(&copy->keys);
    }

private:
    ArrayModel &store()  // made on first use, even by a pure lookup
    {
        has_keys = true;
        return keys;
    }

    int32_t keyed_step(bool forward, Value *out)
    {
        if (!has_keys) return forward ? values.next(out) : values.previous(out);
        for (;;) {
            int32_t at = values.cursor;
            if (forward && at == -1) at = 0;
            if (!forward && at == values.used() && at > 0) at = at - 1;
            Value key;
            int32_t status = keys.get(at, &key);
            if (status != StatusOk) return status;
            status = forward ? values.next(out) : values.previous(out);
            if (status != StatusOk) return status;
            if (key.tag != Null) return StatusOk;
        }
    }
};

class SetModel {
public:
    ArrayModel members;
    bool has_store = false;

    int32_t index_of(const Value &v) { return find_entry(store(), v, false, FreeRule::First); }
    int32_t get_value(int32_t position, Value *out) { return store().get(position, out) == StatusOk ? 0 : 1; }
    int32_t contains(const Value &v) { return index_of(v) >= 0 ? 1 : 0; }

    int32_t add(const Value &v, bool *added)
    {
        *added = false;
        store();
        if (lacks_referent(v)) return StatusBadType;
        return find_entry(members, v, true, FreeRule::First, added) >= 0 ? StatusOk : StatusNoMemory;
    }

    int32_t clear_element(const Value &v)
    {
        int32_t p = index_of(v);
        return p < 0 ? StatusOutOfRange : members.clear_at(p);
    }

    void clear()
    {
        members.clear();
        has_store = false;
    }

    // On a stream a set is its member store's record.
    int32_t save(std::vector<Value> *record) { return store().save(record); }
    int32_t load(const std::vector<Value> &record) { return store().load(record); }

private:
    ArrayModel &store()  // made on first use, even by a pure lookup
    {
        has_store = true;
        return members;
    }
};

}  // namespace qm
