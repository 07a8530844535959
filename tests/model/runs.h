// The three runs, one per modelled class, and the loop that drives them.
//
// ArrayRun exercises positions, walks, sizes and Clear; DictRun adds keys,
// symbols and the keyed walk over the same positional operations; SetRun
// adds, looks up and removes members.  All three save and reload, and the
// arrays and dictionaries also copy, against the model's prediction.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace qm {

inline int32_t save_to(QuolanObject *o, std::vector<unsigned char> *bytes)
{
    Owned s(quolan_memory_stream_new());
    int32_t status = quolan_base_methods(o)->Save(o, s.o, 0);
    size_t n = 0;
    const unsigned char *p = quolan_memory_stream_data(s.o, &n);
    bytes->assign(p, p + n);
    return status;
}

inline int32_t load_from(QuolanObject *o, const std::vector<unsigned char> &bytes)
{
    Owned s(quolan_memory_stream_from(bytes.data(), bytes.size()));
    return quolan_base_methods(o)->Load(o, s.o, 0);
}

inline QuolanObject *fresh(QuolanObject *cls) { return quolan_base_methods(cls)->New(cls); }

// A key or member to look for or to put: half the time one the store holds,
// under a kind of its match family, else a new one.  A put (`owning`) hands
// over what it gives under an owned kind, so it gets fresh owned objects and
// blocks only, and never a held block under the other pointer kind (which
// would not be found, and would be taken over a second time); lookups may
// name anything under any kind.
inline Value pick_key(Source &s, Pools &pools, const ArrayModel &store, bool owning)
{
    if (store.used() > 0 && s.chance(50)) {
        const Value &held = store.cells[s.below(static_cast<uint32_t>(store.used()))];
        Value k = held;
        k.copied = false;
        if (family(held.tag) == String) {
            const char *text = Pools::literal(held.text);
            k = referring(s.chance(50) ? String : OwnedString, text, text);
        } else if (family(held.tag) == Object) {
            k.tag = s.chance(50) ? Object : OwnedObject;
        } else if (family(held.tag) == Pointer && !owning && s.chance(30)) {
            k.tag = held.tag == Pointer ? OwnedPointer : Pointer;
        }
        return k;
    }
    switch (s.below(12)) {
    case 0: case 1: case 2: case 3: return pools.number(s);
    case 4: case 5: return pools.text_value(s, OwnedString);
    case 6: return pools.text_value(s, String);
    case 7: return pools.borrowed_object(s, owning || s.chance(50) ? Object : OwnedObject);
    case 8: return owning ? pools.fresh_object() : pools.borrowed_object(s, OwnedObject);
    case 9: return pools.pointer(s, owning || s.chance(50) ? Pointer : OwnedPointer);
    case 10: return owning ? pools.fresh_block() : pools.pointer(s, OwnedPointer);
    default: {
        Value k = s.chance(50) ? referring(Null, nullptr) : referring(String, nullptr);
        k.missing = k.tag == String;
        return k;
    }
    }
}

// A text for the ...String... shortcuts: from the pool, now and then NULL.
inline Value pick_text(Source &s, Pools &pools, int32_t tag)
{
    Value k = pools.text_value(s, tag);
    if (s.chance(4)) k = referring(tag, nullptr);
    k.missing = !k.ref;
    return k;
}

// ---- Array -----------------------------------------------------------------------

class ArrayRun : public Run {
public:
    ArrayRun(QuolanObject *cls, Pools &pools) : Run(cls, pools) {}
    ArrayModel model;

    void act(Source &s) override
    {
        uint32_t k = s.below(100);
        if (k < 62) positional(s, model);
        else if (k < 82) walk(s, &model, nullptr);
        else if (k < 86) set_sizes(s, model);
        else if (k < 87) clear();
        else if (k < 94) round_trip();
        else copy();
    }
    void compare_state() override { compare_array(*this, obj_, model, "array"); }
    int64_t released() const override { return model.released_objects; }
    void clear_model() override { model.clear(); }

private:
    void clear()
    {
        note("Clear");
        model.clear();
        quolan_base_methods(obj_)->Clear(obj_);
    }
    void round_trip()
    {
        note("Save, then Load into a fresh Array");
        std::vector<Value> record;
        std::vector<unsigned char> bytes;
        const int32_t saved = save_to(obj_, &bytes);
        if (!same("Save status", model.save(&record), saved) || saved != StatusOk) return;
        Owned back(fresh(array_baseclass));
        ArrayModel loaded;
        if (!same("Load status", loaded.load(record), load_from(back.o, bytes))) return;
        compare_array(*this, back.o, loaded, "loaded");
        same("IsEqual", model.is_equal(loaded), quolan_base_methods(obj_)->IsEqual(obj_, back.o));
        same("IsEqual back", loaded.is_equal(model), quolan_base_methods(back.o)->IsEqual(back.o, obj_));
        compare_array(*this, back.o, loaded, "loaded after IsEqual");
    }
    void copy()
    {
        note("Copy");
        ArrayModel copied;
        bool made = model.copy_into(&copied);
        Owned c(quolan_base_methods(obj_)->Copy(obj_, obj_));
        if (!same("copy made", made, c.o != nullptr) || !c.o) return;
        compare_array(*this, c.o, copied, "copy");
        same("IsEqual", model.is_equal(copied), quolan_base_methods(obj_)->IsEqual(obj_, c.o));
    }
};

// ---- Dict ------------------------------------------------------------------------

class DictRun : public Run {
public:
    DictRun(QuolanObject *cls, Pools &pools) : Run(cls, pools) {}
    DictModel model;

    void act(Source &s) override
    {
        uint32_t k = s.below(100);
        if (k < 24) put(s);
        else if (k < 36) lookup(s);
        else if (k < 42) clear_key(s);
        else if (k < 50) symbol(s);
        else if (k < 68) walk(s, nullptr, &model);
        else if (k < 84) positional(s, model.values);
        else if (k < 86) set_sizes(s, model.values);
        else if (k < 87) clear();
        else if (k < 94) round_trip();
        else copy();
    }
    void compare_state() override
    {
        compare_array(*this, obj_, model.values, "values");
        compare_store(*this, store_at(obj_, 64), model.has_keys, model.keys, "key store");
    }
    int64_t released() const override { return model.released_objects(); }
    void clear_model() override { model.clear(); }

private:
    const DictMethods *d() const { return quolan_dict_methods(obj_); }

    void put(Source &s)
    {
        Value v = pools_.value(s);
        uint32_t how = s.below(4);
        Value key = how == 0 ? pick_key(s, pools_, model.keys, true) : pick_text(s, pools_, OwnedString);
        const char *text = static_cast<const char *>(argument(key));
        int32_t got;
        if (how == 0) {
            note("PutKey(tag %d, key tag %d)", v.tag, key.tag);
            got = d()->PutKey(obj_, argument(v), v.tag, argument(key), key.tag);
        } else if (how == 1 || v.missing || !holds_datum(v.tag) || v.tag == Boolean) {
            note("PutStringKey(tag %d, \"%s\")", v.tag, text ? text : "(null)");
            got = d()->PutStringKey(obj_, argument(v), v.tag, text);
        } else if (v.tag == Integer) {
            note("PutIntStringKey(%d, \"%s\")", v.number, text ? text : "(null)");
            got = d()->PutIntStringKey(obj_, v.number, text);
        } else {
            note("PutDoubleStringKey(%g, \"%s\")", v.real, text ? text : "(null)");
            got = d()->PutDoubleStringKey(obj_, v.real, text);
        }
        bool created = false;
        same("status", model.put_key(v, key, &created), got);
        pools_.settle(v, got == StatusOk);
        pools_.settle(key, created);
    }

    void lookup(Source &s)
    {
        const bool by_text = s.chance(40);
        Value key = by_text ? pick_text(s, pools_, String) : pick_key(s, pools_, model.keys, false);
        note("%s(key tag %d)", by_text ? "GetStringKey" : "GetKey", key.tag);
        void *value = &value;
        int32_t tag = -99;
        int32_t got = by_text ? d()->GetStringKey(obj_, &value, &tag, static_cast<const char *>(argument(key)))
                              : d()->GetKey(obj_, &value, &tag, argument(key), key.tag);
        Value v;
        bool absent = false;
        if (!same("status", model.get_key(key, &v, &absent), got)) return;
        if (got == StatusOk || absent) expect(agrees(v, tag, value), "read", v.tag, tag);
    }

    void clear_key(Source &s)
    {
        Value key = pick_key(s, pools_, model.keys, false);
        note("ClearKey(key tag %d)", key.tag);
        same("status", model.clear_key(key), d()->ClearKey(obj_, argument(key), key.tag));
    }

    void symbol(Source &s)
    {
        const int32_t position = pick_index(s, model.keys);
        switch (s.below(4)) {
        case 0: {
            Value key = pick_key(s, pools_, model.keys, false);
            note("SymbolIndex(key tag %d)", key.tag);
            same("position", model.symbol_index(key), d()->SymbolIndex(obj_, argument(key), key.tag));
            break;
        }
        case 1: {
            Value key = pick_text(s, pools_, String);
            note("StringSymbolIndex");
            same("position", model.symbol_index(key),
                 d()->StringSymbolIndex(obj_, static_cast<const char *>(argument(key))));
            break;
        }
        case 2: {
            note("GetSymbol(%d)", position);
            void *key = nullptr;
            int32_t tag = -99;
            Value v;
            int32_t got = d()->GetSymbol(obj_, &key, &tag, position);
            if (same("status", model.get_symbol(position, &v), got)) same_read("key", got, v, tag, key);
            break;
        }
        default: {
            note("GetStringSymbol(%d)", position);
            Value v;
            const bool text = model.get_symbol(position, &v) == 0 && family(v.tag) == String;
            const char *got = d()->GetStringSymbol(obj_, position);
            if (same("text given", text, got != nullptr) && text) expect(agrees(v, v.tag, got), "text", 1, 0);
        }
        }
    }

    void clear()
    {
        note("Clear");
        model.clear();
        quolan_base_methods(obj_)->Clear(obj_);
    }

    void round_trip()
    {
        note("Save, then Load into a fresh Dict");
        std::vector<Value> keys, values;
        std::vector<unsigned char> bytes;
        const int32_t saved = save_to(obj_, &bytes);
        if (!same("Save status", model.save(&keys, &values), saved) || saved != StatusOk) return;
        Owned back(fresh(dict_baseclass));
        DictModel loaded;
        if (!same("Load status", loaded.load(keys, values), load_from(back.o, bytes))) return;
        compare_array(*this, back.o, loaded.values, "loaded values");
        compare_store(*this, store_at(back.o, 64), loaded.has_keys, loaded.keys, "loaded key store");
    }

    void copy()
    {
        note("Copy");
        DictModel copied;
        bool made = model.copy_into(&copied);
        Owned c(quolan_base_methods(obj_)->Copy(obj_, obj_));
        if (!same("copy made", made, c.o != nullptr) || !c.o) return;
        same("copy is a plain Dict", 1, c.o->methods == dict_baseclass->methods);
        compare_array(*this, c.o, copied.values, "copied values");
        compare_store(*this, store_at(c.o, 64), copied.has_keys, copied.keys, "copied key store");
        same("IsEqual", 0, quolan_base_methods(obj_)->IsEqual(obj_, c.o));
    }
};

// ---- GenSet ----------------------------------------------------------------------

class SetRun : public Run {
public:
    SetRun(QuolanObject *cls, Pools &pools) : Run(cls, pools) {}
    SetModel model;

    void act(Source &s) override
    {
        uint32_t k = s.below(100);
        if (k < 35) add(s);
        else if (k < 60) find(s);
        else if (k < 72) value_at(s);
        else if (k < 90) clear_element(s);
        else if (k < 91) clear();
        else round_trip();
    }
    void compare_state() override
    {
        compare_store(*this, store_at(obj_, 24), model.has_store, model.members, "member store");
    }
    int64_t released() const override { return model.members.released_objects; }
    void clear_model() override { model.clear(); }

private:
    const GenSetMethods *g() const { return quolan_genset_methods(obj_); }

    void add(Source &s)
    {
        uint32_t how = s.below(4);
        Value v = how == 0 ? pick_text(s, pools_, OwnedString)
                  : how == 1 ? integer(s.between(-2, 12))
                             : pick_key(s, pools_, model.members, true);
        note("%s(tag %d)", how == 0 ? "AddString" : how == 1 ? "AddInt32" : "Add", v.tag);
        int32_t got = how == 0   ? g()->AddString(obj_, static_cast<const char *>(argument(v)))
                      : how == 1 ? g()->AddInt32(obj_, v.number)
                                 : g()->Add(obj_, argument(v), v.tag);
        bool added = false;
        same("status", model.add(v, &added), got);
        pools_.settle(v, added);
    }

    void find(Source &s)
    {
        uint32_t how = s.below(6);
        Value v = how % 3 == 0 ? pick_text(s, pools_, String)
                  : how % 3 == 1 ? integer(s.between(-2, 12))
                                 : pick_key(s, pools_, model.members, false);
        void *arg = argument(v);
        const char *text = static_cast<const char *>(arg);
        const char *names[] = {"ContainsString", "ContainsInt32", "Contains",
                               "StringGetIndex", "GetIndex(Integer)", "GetIndex"};
        note("%s(tag %d)", names[how], v.tag);
        if (how < 3) {
            int32_t got = how == 0 ? g()->ContainsString(obj_, text)
                          : how == 1 ? g()->ContainsInt32(obj_, v.number)
                                     : g()->Contains(obj_, arg, v.tag);
            same("answer", model.contains(v), got);
        } else {
            int32_t got = how == 3 ? g()->StringGetIndex(obj_, text) : g()->GetIndex(obj_, arg, v.tag);
            same("position", model.index_of(v), got);
        }
    }

    void value_at(Source &s)
    {
        const int32_t position = pick_index(s, model.members);
        Value v;
        if (s.chance(50)) {
            note("GetValue(%d)", position);
            void *value = nullptr;
            int32_t tag = -99;
            int32_t got = g()->GetValue(obj_, &value, &tag, position);
            if (same("status", model.get_value(position, &v), got)) same_read("member", got, v, tag, value);
        } else {
            note("GetStringValue(%d)", position);
            const bool text = model.get_value(position, &v) == 0 && family(v.tag) == String;
            const char *got = g()->GetStringValue(obj_, position);
            if (same("text given", text, got != nullptr) && text) expect(agrees(v, v.tag, got), "text", 1, 0);
        }
    }

    void clear_element(Source &s)
    {
        Value v = pick_key(s, pools_, model.members, false);
        note("ClearElement(tag %d)", v.tag);
        same("status", model.clear_element(v), g()->ClearElement(obj_, argument(v), v.tag));
    }

    void clear()
    {
        note("Clear");
        model.clear();
        quolan_base_methods(obj_)->Clear(obj_);
    }

    void round_trip()
    {
        note("Save, then Load into a fresh GenSet");
        std::vector<Value> record;
        std::vector<unsigned char> bytes;
        const int32_t saved = save_to(obj_, &bytes);
        if (!same("Save status", model.save(&record), saved) || saved != StatusOk) return;
        Owned back(fresh(genset_baseclass));
        SetModel loaded;
        if (!same("Load status", loaded.load(record), load_from(back.o, bytes))) return;
        compare_store(*this, store_at(back.o, 24), loaded.has_store, loaded.members, "loaded member store");
        same("Copy gives nothing", 0, quolan_base_methods(obj_)->Copy(obj_, obj_) != nullptr);
    }
};

// Runs up to `steps` operations (fewer when the source runs dry) on a new
// object of `cls` and its model, then deletes the object; answers the first
// disagreement, or an empty text.
template <class R>
std::string run_sequence(QuolanObject *cls, Source &s, int64_t steps, bool lower_maximum = false)
{
    Pools pools;
    const int64_t baseline = Counted::clears;
    R run(cls, pools);
    run.lower_maximum = lower_maximum;
    for (run.step = 0; run.step < steps && !s.done() && run.ok(); ++run.step) {
        run.act(s);
        if (run.ok()) run.compare_state();
        if (run.ok()) run.compare_deletions(baseline);
    }
    if (run.ok()) run.finish(baseline);
    return run.failure;
}

}  // namespace qm
