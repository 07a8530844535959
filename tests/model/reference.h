// A reference model of what a client can observe of every container class,
// written from the rules the classes promise, not from their code: an Array
// is a vector of Values (its size is used_count) with a cursor, a capacity
// and the two sizes; a Dict is its values plus a key store; a GenSet its
// member store.  The typed and deferred models (variants.h) override what
// their classes override: PutAt, GetAt, ClearAt and what Clear drops first.
// Releasing an owned object is an event (Hooks): counted, and a re-entrant
// object's Delete puts into its container, at the point the library
// promises, after the position holds its new state.  Where the rules leave a
// choice, the model takes ours: indexes below -2 answer -6; GetAt(-1) and
// Previous on an empty array answer -6; a missing datum or text is refused
// with -3 and matches no key; the keyed walk tests the key of the position
// the step delivers; Clear forgets the sizes first and ends with nothing
// held, also when a Delete puts something back.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "quolan/containers.h"

namespace qm {

// Stands for a container's own copy of a text: never a pointer a caller passes.
inline const char kOwnCopy[] = "";

// One element: `ref` is the pointer it holds (texts, objects, pointers, a
// parked object, what a Null put stored), `number` the Integer or Boolean
// datum or the id an object holds.
struct Value {
    int32_t tag = Null;
    int32_t number = 0;
    double real = 0;
    std::string text;
    const void *ref = nullptr;
    bool missing = false;    // a datum or text given as NULL
    bool copied = false;     // an object made by Load or Copy: compared by id, not address
    bool reentrant = false;  // an object whose Delete puts into its container
    int32_t in_store = -1;   // a datum reference pointing into the store at this position
};

inline Value number_of(int32_t tag, int32_t n, double d = 0)
{
    Value v;
    v.tag = tag, v.number = n, v.real = d;
    return v;
}
inline Value integer(int32_t n) { return number_of(Integer, n); }
inline Value real(double d) { return number_of(Double, 0, d); }
// A text, object or pointer; `lacking` a datum or text given as NULL.
inline Value referring(int32_t tag, const void *ref, const char *text = nullptr, bool lacking = false)
{
    Value v;
    v.tag = tag, v.ref = ref, v.text = text ? text : "", v.missing = lacking;
    return v;
}
inline Value missing(int32_t tag) { return referring(tag, nullptr, nullptr, true); }

constexpr bool holds_datum(int32_t tag) { return tag == Integer || tag == Double || tag == Boolean; }
constexpr bool is_owned(int32_t tag) { return tag == OwnedString || tag == OwnedObject || tag == OwnedPointer; }
constexpr int32_t family(int32_t tag)
{
    return tag == OwnedString ? String : tag == OwnedObject ? Object : tag == OwnedPointer ? Pointer : tag;
}
// Pointer and OwnedPointer stay apart as keys; strings and objects join.
constexpr int32_t match_kind(int32_t tag) { return tag == OwnedPointer ? tag : family(tag); }

// A value given by a NULL reference where the kind needs one.
inline bool lacks_referent(const Value &v)
{
    return v.missing || ((v.tag == String || v.tag == OwnedString) && !v.ref);
}

// Key equality under the match kind, for the entry at store position `at`.
// A Boolean key matches only when given as the store's own pointer; a Null
// key given as NULL matches a free position.
inline bool same_key(const Value &stored, const Value &sought, int32_t at)
{
    if (match_kind(stored.tag) != match_kind(sought.tag) || lacks_referent(sought)) return false;
    switch (match_kind(sought.tag)) {
    case Integer: return stored.number == sought.number;
    case Double: return stored.real == sought.real;
    case String: return stored.ref && stored.text == sought.text;
    case Boolean: return sought.in_store == at;
    case Null: return sought.ref == nullptr;
    default: return stored.ref == sought.ref;
    }
}

// IsEqual's element equality: numbers within 1e-6 across Integer and Double
// (NaN counts as close), families alike, objects by id, Null by what a read
// hands out.
inline bool equal_elements(const Value &a, const Value &b)
{
    auto close = [](double x, double y) { return !(std::fabs(x - y) > 1e-6); };
    auto as_real = [](const Value &v) { return v.tag == Integer ? double(v.number) : v.real; };
    switch (family(a.tag)) {
    case Null: return b.tag == Null && a.ref == b.ref;
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

// What releasing owned objects sets off, shared by every model of one run.
struct Hooks {
    int64_t released = 0;          // owned objects released so far
    std::function<void()> reenter;  // what a re-entrant object's Delete does
    const void *spared = nullptr;   // a block changing hands: not released
    bool spared_met = false;

    void release(const Value &v, bool parked = false)
    {
        if (!(v.tag == OwnedObject || parked) || !v.ref) return;
        if (v.ref == spared) return void(spared_met = true);
        ++released;
        if (v.reentrant && reenter) reenter();
    }
};

class ArrayModel {
public:
    std::vector<Value> cells;  // one per position in use
    int64_t capacity = 0;
    int32_t cursor = 0, initial = 0, maximum = 0;
    Hooks *hooks = nullptr;

    explicit ArrayModel(Hooks *h = nullptr) : hooks(h) {}
    virtual ~ArrayModel() = default;

    int32_t used() const { return static_cast<int32_t>(cells.size()); }

    // The three slots a subclass overrides; the rest reaches them.
    virtual int32_t put(Value v, int32_t index) { return array_put(v, index); }
    virtual int32_t get(int32_t index, Value *out) { return array_get(index, out); }
    virtual int32_t clear_at(int32_t index) { return array_clear_at(index); }
    virtual void clear() { array_clear(); }
    virtual void drop_stores() {}  // what Clear drops before the positions

    int32_t select(int32_t index, bool grow)
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
        return StatusOk;
    }

    int32_t array_put(Value v, int32_t index)
    {
        if (v.missing && (holds_datum(v.tag) || v.tag == OwnedString)) return StatusBadType;
        if (int32_t status = select(index, true)) return status;
        Value &slot = cells[static_cast<size_t>(cursor)];
        if (is_owned(slot.tag) && family(v.tag) == family(slot.tag) && v.ref == slot.ref) {
            slot.tag = v.tag;  // the same block changes hands
            return StatusOk;
        }
        if (v.tag == OwnedString) v.ref = kOwnCopy;
        release(std::exchange(slot, v));
        return StatusOk;
    }

    int32_t array_get(int32_t index, Value *out)
    {
        if (index >= used()) {
            if (index > initial) return StatusOutOfRange;
            if (int32_t status = select(index, true)) return status;
        }
        if (index == -2 || (index == -1 && used() == 0)) return StatusOutOfRange;
        if (int32_t status = select(index, false)) return status;
        *out = cells[static_cast<size_t>(cursor)];
        if (out->tag == Null) out->ref = nullptr;  // a read of Null hands out NULL
        return StatusOk;
    }

    int32_t array_clear_at(int32_t index)
    {
        if (capacity == 0) return StatusOk;
        if (index == -2) return StatusOutOfRange;
        if (int32_t status = select(index, false)) return status;
        release(std::exchange(cells[static_cast<size_t>(cursor)], Value{}));
        return StatusOk;
    }

    // Released from storage already emptied; what a Delete puts back goes too.
    void array_clear()
    {
        std::vector<Value> old;
        do {
            old = std::move(cells);
            cells.clear();
            capacity = 0;
            cursor = initial = maximum = 0;
            for (const Value &v : old) release(v);
        } while (!old.empty());
    }

    int32_t next(Value *out)
    {
        if (cursor == -1) cursor = 0;
        if (cursor >= used()) return StatusOutOfRange;
        const int32_t status = get(cursor, out);
        if (status == StatusOk) cursor += 1;
        return status;
    }

    int32_t previous(Value *out)
    {
        if (used() == 0 || cursor == -1 || cursor > used()) return StatusOutOfRange;
        if (cursor == used()) cursor = used() - 1;
        int32_t status = get(cursor, out);
        if (status == StatusOk) cursor -= 1;
        return status;
    }

    int32_t set_index(int32_t index) { return select(index, false); }
    int32_t get_index(int32_t *out) const
    {
        if (cursor == -1) return StatusOutOfRange;
        *out = cursor;
        return StatusOk;
    }
    void set_sizes(int32_t init, int32_t max) { initial = std::min(init, max); maximum = max; }
    int32_t get_sizes() const { return std::max(used(), initial); }

    // The entries Save writes (borrowed kinds as owned), read with GetAt.
    int32_t save(std::vector<Value> *record)
    {
        int32_t count = get_sizes();
        for (int32_t p = 0; p < count; ++p) {
            Value v;
            if (int32_t status = get(p, &v)) return status;
            if (family(v.tag) == Object && !v.ref) v = Value{};
            if (family(v.tag) == Pointer || (family(v.tag) == String && !v.ref)) return StatusBadType;
            if (v.tag == Boolean) v.number &= 0xff;
            if (family(v.tag) == String || family(v.tag) == Object) v.tag = family(v.tag) + 1;
            v.copied = v.tag == OwnedObject;
            v.reentrant = false;
            record->push_back(v);
        }
        return StatusOk;
    }

    int32_t load(const std::vector<Value> &record)
    {
        for (size_t i = 0; i < record.size(); ++i) {
            if (record[i].tag == Null) continue;
            if (int32_t status = put(record[i], static_cast<int32_t>(i))) return status;
        }
        return StatusOk;
    }

    // Copy walks with Array's own methods whatever the class; an owned
    // pointer is borrowed by the copy.
    bool copy_into(ArrayModel *copy)
    {
        if (set_index(0) != StatusOk) return true;  // the walk ends at once
        for (int32_t p = cursor; p < used() && (maximum == 0 || p < maximum); p = ++cursor) {
            Value v;
            array_get(p, &v);
            if (v.tag == OwnedObject && v.ref) v.copied = true;
            if (v.tag == OwnedPointer) v.tag = Pointer;
            v.reentrant = false;
            if (copy->array_put(v, p) != StatusOk) return false;
        }
        return true;
    }

    int32_t is_equal(ArrayModel &other)
    {
        int32_t n = get_sizes();
        if (other.get_sizes() != n) return 0;
        for (int32_t i = 0; i < n; ++i) {
            Value a, b;
            if (get(i, &a) != StatusOk || other.get(i, &b) != StatusOk || !equal_elements(a, b)) return 0;
        }
        return 1;
    }

protected:
    void release(const Value &v, bool parked = false) { if (hooks) hooks->release(v, parked); }
};

enum class FreeRule { Last, First };

// The search of keys and members: a walk with Next from position 0; a miss
// with `create` puts the key at the chosen free position, else appends it.
inline int32_t find_entry(ArrayModel &store, const Value &key, bool create, FreeRule rule,
                          bool *created = nullptr)
{
    if (created) *created = false;
    store.set_index(0);
    int32_t free_position = -1;
    Value v;
    for (int32_t n = 0; store.next(&v) == StatusOk; ++n) {
        if (same_key(store.cells[static_cast<size_t>(n)], key, n)) return n;
        if (v.tag == Null && (rule == FreeRule::Last || free_position < 0)) free_position = n;
    }
    if (!create || lacks_referent(key)) return -1;
    if (store.put(key, free_position >= 0 ? free_position : -2) != StatusOk) return -1;
    if (created) *created = true;
    return store.cursor;
}

// A Dict over values of any variant, with its key store beside them.
class DictModel {
public:
    ArrayModel &values;
    ArrayModel keys;
    bool has_keys = false;

    DictModel(ArrayModel &v, Hooks *h) : values(v), keys(h) {}

    int32_t symbol_index(const Value &key) { return find_entry(store(), key, false, FreeRule::Last); }

    int32_t get_symbol(int32_t position, Value *out)
    {
        if (store().get(position, out) != StatusOk) return 1;
        if (holds_datum(out->tag)) out->in_store = keys.cursor;
        return 0;
    }

    int32_t put_key(const Value &value, const Value &key, bool *created)
    {
        *created = false;
        store();
        if (lacks_referent(key)) return StatusBadType;
        int32_t p = find_entry(keys, key, true, FreeRule::Last, created);
        if (p < 0) return StatusNoMemory;
        int32_t status = values.put(value, p);
        if (status != StatusOk && *created) values.clear_at(p), keys.clear_at(p);
        return status;
    }

    // An absent key answers -6 with an empty value (`absent` says which -6).
    int32_t get_key(const Value &key, Value *out, bool *absent)
    {
        const int32_t p = find_entry(store(), key, false, FreeRule::Last);
        *absent = p < 0;
        *out = Value{};
        return p < 0 ? StatusOutOfRange : values.get(p, out);
    }

    int32_t clear_key(const Value &key)
    {
        const int32_t p = find_entry(store(), key, false, FreeRule::Last);
        if (p < 0) return StatusOutOfRange;
        if (int32_t status = values.clear_at(p)) return status;
        return keys.clear_at(p);
    }

    int32_t next(Value *out) { return keyed_step(true, out); }
    int32_t previous(Value *out) { return keyed_step(false, out); }

    // The key store goes first; a key put back meanwhile goes as well.
    void clear()
    {
        values.drop_stores();
        do {
            has_keys = false;
            keys.array_clear();
            values.clear();
        } while (has_keys);
    }

    int32_t save(std::vector<Value> *keys_out, std::vector<Value> *values_out)
    {
        const int32_t status = store().save(keys_out);
        return status ? status : values.save(values_out);
    }
    int32_t load(const std::vector<Value> &keys_in, const std::vector<Value> &values_in)
    {
        const int32_t status = store().load(keys_in);
        return status ? status : values.load(values_in);
    }
    bool copy_into(DictModel *copy)
    {
        if (!values.copy_into(&copy->values)) return false;
        copy->has_keys = has_keys;
        return !has_keys || keys.copy_into(&copy->keys);
    }

    ArrayModel &store() { has_keys = true; return keys; }  // made on first use, even by a pure lookup

private:
    int32_t keyed_step(bool forward, Value *out)
    {
        if (!has_keys) return forward ? values.next(out) : values.previous(out);
        for (;;) {
            int32_t at = values.cursor;
            if (forward && at == -1) at = 0;
            if (!forward && at == values.used() && at > 0) at = at - 1;
            Value key;
            if (int32_t status = keys.get(at, &key)) return status;
            if (int32_t status = forward ? values.next(out) : values.previous(out)) return status;
            if (key.tag != Null) return StatusOk;
        }
    }
};

class SetModel {
public:
    ArrayModel members;
    bool has_store = false;

    explicit SetModel(Hooks *h) : members(h) {}

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
        do {
            has_store = false;
            members.array_clear();
        } while (has_store);
    }

    int32_t save(std::vector<Value> *record) { return store().save(record); }
    int32_t load(const std::vector<Value> &record) { return store().load(record); }

    ArrayModel &store() { has_store = true; return members; }  // made on first use, even by a pure lookup
};

}  // namespace qm
