// Models of the typed and deferred variants, over Array or Dict positions.
//
// Each overrides what its classes override (PutAt, GetAt, ClearAt, and
// what Clear drops first) and keeps its own store beside the positions: the
// type lists, or the loader keys.  A keyed variant reaches the keys of its
// positions through the DictModel it belongs to.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "reference.h"

namespace qm {

// The type name a binding records; every object the tests make is an Array,
// so both naming forms give "Object-Array".
inline std::string type_name(const Value &v)
{
    if (v.tag != Null && (v.missing || (!holds_datum(v.tag) && !v.ref))) return "";
    switch (family(v.tag)) {
    case Null: return "Null";
    case Integer: return "Integer";
    case Double: return "Double";
    case String: return "String";
    case Object: return "Object-Array";
    case Pointer: return "Pointer";
    case Boolean: return "Boolean";
    default: return "";
    }
}

// A token admits a value when it begins with the value's keyword; "Double"
// admits an Integer as a conversion; "Object-" is followed by a class name
// the object answers to.
inline int32_t token_matches(const std::string &token, const Value &v)
{
    const std::string keyword = family(v.tag) == Object && type_name(v) != "" ? "Object-" : type_name(v);
    if (keyword.empty() || token.rfind(keyword, 0) != 0)
        return v.tag == Integer && !v.missing && token.rfind("Double", 0) == 0 ? StatusNeedsDouble : StatusBadType;
    const std::string cls = keyword == "Object-" ? token.substr(7) : "";
    return cls.empty() || cls == "Array" || cls == "QUOLAN" ? StatusOk : StatusBadType;
}

// The first token that admits the value as it is wins; a conversion is
// remembered; an empty list, or empty tokens, admit nothing.
inline int32_t list_accepts(const std::string &list, const Value &v)
{
    bool needs_double = false;
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find(',', at);
        if (end == std::string::npos) end = list.size();
        int32_t verdict = token_matches(list.substr(at, end - at), v);
        if (verdict == StatusOk) return StatusOk;
        needs_double = needs_double || verdict == StatusNeedsDouble;
        at = end + 1;
    }
    return needs_double ? StatusNeedsDouble : StatusBadType;
}

class TypedModel : public ArrayModel {
public:
    ArrayModel types;         // the type store: a list per position, Null untyped
    bool has_types = true;    // false once Clear dropped it
    int32_t lock = 0, access = 0;
    DictModel *dict = nullptr;  // a typed dictionary binds through its keys

    explicit TypedModel(Hooks *h) : ArrayModel(h), types(h) {}

    int32_t check(const Value &v, int32_t index)
    {
        if (!has_types) return StatusNoMemory;
        Value list;
        int32_t status = types.get(index, &list);
        const bool untyped = status == StatusOutOfRange || (status == StatusOk && list.tag == Null);
        if (lock) {
            if (status != StatusOk) return status;
            if (untyped) return StatusBadType;
        } else if (status != StatusOk && status != StatusOutOfRange) {
            return status;
        }
        if (!untyped) return family(list.tag) == String ? list_accepts(list.text, v) : StatusBadType;
        const std::string name = type_name(v);
        status = bind(name, index);
        return status != StatusOk ? status : list_accepts(name, v);
    }

    // A binding: the array's own SetSlotType at the index; a dictionary's
    // GetSymbol of the position, then SetKeyType with that key (nothing is
    // recorded for a position without a key).
    int32_t bind(const std::string &name, int32_t index)
    {
        if (!dict) return record(name, index);
        Value key;
        if (dict->get_symbol(index, &key) != 0) return StatusFailedFlag;
        return key.tag == Null ? StatusOk : record_for_key(name, key);
    }

    // SetSlotType, or for a dictionary SetKeyType through the key it finds.
    int32_t record(const std::string &list, int32_t position)
    {
        if (!has_types) return StatusNoMemory;
        if (lock) return StatusLocked;
        return types.put(referring(OwnedString, list.c_str(), list.c_str()), position);  // the caller's text
    }
    int32_t record_for_key(const std::string &list, const Value &key)
    {
        if (!has_types) return StatusNoMemory;
        if (lock) return StatusLocked;
        int32_t p = dict->symbol_index(key);
        return p < 0 ? StatusOutOfRange : record(list, p);
    }

    int32_t put(Value v, int32_t index) override
    {
        if (v.tag == Null) v.ref = nullptr;
        int32_t verdict = check(v, index);
        if (verdict != StatusOk && verdict != StatusNeedsDouble) return verdict;
        if (access != 0) return StatusLocked;
        if (verdict == StatusNeedsDouble) v.tag = Double, v.real = v.number;
        Value old;
        int32_t status = get(index, &old);
        if (status == StatusOutOfRange) return array_put(v, index);
        if (status != StatusOk) return status;
        Value &slot = cells[static_cast<size_t>(cursor)];
        if (old.tag == OwnedObject && v.tag == Null) {
            slot.tag = Null;  // parked
            return StatusOk;
        }
        if (old.tag == Null && v.tag == Null) return StatusOk;
        if (old.tag == Null && old.ref) {
            if (family(v.tag) == Object && v.ref == old.ref) {
                slot.tag = v.tag;
                return StatusOk;
            }
            const size_t at = static_cast<size_t>(cursor);
            Value parked = slot;
            slot.ref = nullptr;
            status = array_put(v, index);
            if (status != StatusOk && cells[at].tag == Null && !cells[at].ref) {
                cells[at] = parked;
                return status;
            }
            release(parked, true);
            return status;
        }
        return array_put(v, index);
    }

    int32_t get(int32_t index, Value *out) override
    {
        int32_t status = array_get(index, out);
        if (status == StatusOk && out->tag == Null) *out = cells[static_cast<size_t>(cursor)];
        return status;
    }

    int32_t clear_at(int32_t index) override
    {
        int32_t status = set_index(index);
        if (status != StatusOk) return status;
        Value parked, *at = cursor < used() ? &cells[static_cast<size_t>(cursor)] : nullptr;
        if (at && at->tag == Null) parked = *at, at->ref = nullptr;
        if (has_types) status = types.clear_at(index);
        if (status == StatusOk) status = array_clear_at(index);
        release(parked, true);
        return status;
    }

    void drop_stores() override { has_types = false; types.array_clear(); }

    // Parked objects go with the positions.
    void clear() override
    {
        drop_stores();
        for (Value &v : cells)
            if (v.tag == Null && v.ref) v.tag = OwnedObject;  // released like owned ones
        array_clear();
    }

    // The parked object a Null position holds is no element: Copy and Save
    // leave it out.
    void copy_types_into(TypedModel *copy)
    {
        copy->has_types = has_types;
        if (has_types) types.copy_into(&copy->types);
    }
};

// What a loader answers for a key: its status, and the value it hands out.
using Loader = std::function<int32_t(const Value &key, Value *out)>;

class DeferredModel : public ArrayModel {
public:
    ArrayModel store;        // loader keys, Null where none
    bool has_store = true;   // false once Clear dropped it
    Loader loader;           // empty: no loader set
    bool echoes = false;     // the loader answers with the key itself
    int64_t asked = 0;       // calls that reached a loader
    int64_t reports = 0;     // reads with no loader set

    explicit DeferredModel(Hooks *h) : ArrayModel(h), store(h) {}

    // Special indexes name the container's positions.
    int32_t keyed_position(int32_t index) const { return index >= 0 ? index : index == -1 && used() > 0 ? used() - 1 : -1; }

    int32_t get(int32_t index, Value *out) override
    {
        const int32_t p = keyed_position(index);
        Value key;
        if (has_store && p >= 0 && p < store.used() && store.get(p, &key) == StatusOk && key.tag != Null)
            return load(key, p, out);
        return array_get(index, out);
    }

    int32_t put(Value v, int32_t index) override
    {
        Value key;
        int32_t p = take_key(index, &key);
        // Where the put lands, known before a Delete it runs writes elsewhere.
        const int32_t target = index == -2 ? used() : index == -1 ? std::max(used() - 1, 0) : index;
        if (v.tag == Null && null_put_ == -1) null_put_ = target;
        int32_t status = array_put(v, index);
        settle(key, p, target, status, v);
        return status;
    }

    int32_t clear_at(int32_t index) override
    {
        Value key;
        take_key(index, &key);
        int32_t status = array_clear_at(index);
        release(key);
        return status;
    }

    // PutDeferredAt, and the second half of PutDeferredKey: `write_null` is
    // the Null put through the object's own slots.
    int32_t record_key(const Value &key, const std::function<int32_t()> &write_null)
    {
        if (!has_store) return StatusFailed;
        hooks->spared = is_owned(key.tag) && key.tag != OwnedString ? key.ref : nullptr;
        hooks->spared_met = false;
        null_put_ = -1;
        int32_t status = write_null();
        const int32_t position = null_put_ >= 0 ? null_put_ : cursor;
        null_put_ = -2;
        hooks->spared = nullptr;
        if (status == StatusOk && !has_store) status = StatusFailed;
        if (status == StatusOk) status = store.put(key, position);
        if (status != StatusOk && hooks->spared_met) release(key);
        return status;
    }

    int32_t read_key(int32_t position, Value *out)
    {
        if (!has_store) return StatusFailed;
        if (position < 0) return StatusOutOfRange;
        int32_t status = store.get(position, out);
        if (status == StatusOk && holds_datum(out->tag)) out->in_store = store.cursor;
        return status;
    }

    void drop_stores() override { has_store = false; store.array_clear(); }
    void clear() override { drop_stores(), array_clear(); }

private:
    int32_t null_put_ = -2;  // -1 while a record_key waits for its Null put's position

    int32_t load(const Value &key, int32_t p, Value *out)
    {
        if (!loader) {  // told to the assertion service
            ++reports;
            *out = Value{};
            return StatusFailed;
        }
        ++asked;
        if (int32_t status = loader(key, out)) return status;
        const int32_t status = put(*out, p);
        if (status == StatusOk && echoes) array_get(p, out);  // the stored value, not the dropped key
        return status;
    }

    int32_t take_key(int32_t index, Value *key)
    {
        const int32_t p = keyed_position(index);
        if (!has_store || p < 0 || p >= store.used()) return -1;
        store.select(p, false);
        *key = store.cells[static_cast<size_t>(p)];
        store.cells[static_cast<size_t>(p)] = Value{};
        return p;
    }

    // The key goes once the put is done: not when the container now owns
    // its very block, and back into the store when the put of its own block
    // failed.
    void settle(const Value &key, int32_t p, int32_t target, int32_t status, const Value &v)
    {
        if (!is_owned(key.tag)) return;
        const Value *now = target >= 0 && target < used() ? &cells[static_cast<size_t>(target)] : nullptr;
        if (status == StatusOk && key.tag != OwnedString && now && is_owned(now->tag) && now->ref == key.ref)
            return;
        if (status != StatusOk && v.ref == key.ref && p < store.used() &&
            store.cells[static_cast<size_t>(p)].tag == Null) {
            store.cells[static_cast<size_t>(p)] = key;
            return;
        }
        release(key);
    }
};

}  // namespace qm
