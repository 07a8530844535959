// The runs, and the loop that drives them.  ContainerRun serves the six
// classes of the Array family (keys and the keyed walk for the dictionaries,
// type lists, access and lock for the typed ones, loaders for the deferred
// ones), SetRun serves GenSet.  Mixed in are the moves real clients make:
// owned objects whose Delete re-enters the container, values that alias what
// the call drops (a position's own text, a loader key read back), and client
// subclasses whose slots forward, so no fast path may take them for ours.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "quolan/testing.h"

namespace qm {

enum class Variant { Plain, Typed, Deferred };

inline int32_t save_to(QuolanObject *o, std::vector<unsigned char> *bytes)
{
    Owned s(quolan_memory_stream_new());
    int32_t status = quolan_base_methods(o)->Save(o, s.get(), 0);
    size_t n = 0;
    const unsigned char *p = quolan_memory_stream_data(s.get(), &n);
    bytes->assign(p, p + n);
    return status;
}

inline int32_t load_from(QuolanObject *o, const std::vector<unsigned char> &bytes)
{
    return quolan_base_methods(o)->Load(o, Owned(quolan_memory_stream_from(bytes.data(), bytes.size())).get(), 0);
}

// A key or member: half the time one the store holds, under a kind of its
// match family, else a new one.  A put (`owning`) gets fresh owned objects
// and blocks only, never one held already; lookups may name anything.  Some
// numbers come from a wider range, so stores grow past the size at which
// they get a key index.
inline Value pick_key(Source &s, Pools &pools, const ArrayModel &store, bool owning)
{
    if (store.used() > 0 && s.chance(50)) {
        Value k = store.cells[s.below(static_cast<uint32_t>(store.used()))];
        k.copied = false;
        if (family(k.tag) == String) k = pools.text_value(s, s.chance(50) ? String : OwnedString, k.text);
        else if (family(k.tag) == Object) k.tag = s.chance(50) ? Object : OwnedObject;
        else if (family(k.tag) == Pointer && !owning && s.chance(30)) k.tag = k.tag == Pointer ? OwnedPointer : Pointer;
        if (owning && is_owned(k.tag)) k.tag = family(k.tag);
        return k;
    }
    switch (s.below(12)) {
    case 0: case 1: case 2: case 3: return s.chance(40) ? integer(s.between(100, 180)) : pools.number(s);
    case 4: case 5: return pools.text_value(s, OwnedString);
    case 6: return pools.text_value(s, String);
    case 7: return pools.borrowed_object(s, owning || s.chance(50) ? Object : OwnedObject);
    case 8: return owning ? pools.fresh_object(s) : pools.borrowed_object(s, OwnedObject);
    case 9: return pools.pointer(s, owning || s.chance(50) ? Pointer : OwnedPointer);
    case 10: return owning ? pools.fresh_block() : pools.pointer(s, OwnedPointer);
    default: return s.chance(50) ? referring(Null, nullptr) : missing(String);
    }
}

// A text for the ...String... shortcuts: from the pool, now and then NULL.
inline Value pick_text(Source &s, Pools &p, int32_t tag) { return s.chance(4) ? missing(tag) : p.text_value(s, tag); }
inline int32_t echo(const Value &key, Value *out) { *out = key; return StatusOk; }

constexpr const char *kTypeLists[] = {"Integer", "Double", "String", "Integer,Double", "Double,Integer",
                                      "Object-Array", "Object-", "Object-Dict", "Object-QUOLAN,Null", "Pointer",
                                      "Boolean", "Null", ",", "", "Integer, Double", "integer,String"};

class ContainerRun : public Run {
public:
    ContainerRun(QuolanObject *cls, Pools &pools, bool keyed, Variant variant)
        : Run(cls, pools), keyed_(keyed), variant_(variant), plain_(&hooks), typed_(&hooks), deferred_(&hooks),
          values_(variant == Variant::Typed      ? static_cast<ArrayModel &>(typed_)
                  : variant == Variant::Deferred ? static_cast<ArrayModel &>(deferred_)
                                                 : plain_),
          dict_(values_, &hooks)
    {
        if (keyed) typed_.dict = &dict_;
        hooks.reenter = [this] { values_.put(integer(77), -2); };
    }

    void act(Source &s) override
    {
        uint32_t k = s.below(100);
        if (keyed_ && k < 40) {
            k = s.below(40);
            return k < 20 ? put(s) : k < 30 ? lookup(s) : k < 34 ? clear_key(s) : symbol(s);
        }
        k = keyed_ ? (k - 40) * 100 / 60 : k;
        if (k < 38) positional(s, values_);
        else if (k < 54) walk(s, &values_, keyed_ ? &dict_ : nullptr);
        else if (k < 57) set_sizes(s, values_);
        else if (k < 58) clear();
        else if (k < 65) round_trip();
        else if (k < 71) copy();
        else if (k < 79) own_text_again(s);
        else if (variant_ == Variant::Typed) typed_op(s);
        else if (variant_ == Variant::Deferred) deferred_op(s);
        else positional(s, values_);
    }

    void compare_state() override
    {
        compare_array(*this, obj_, values_, "values");
        if (keyed_) compare_store(*this, field_at(obj_, 64), dict_.has_keys, dict_.keys, "key store");
        const size_t own = keyed_ ? 72 : 64;  // where the variant's fields start
        if (variant_ == Variant::Typed) {
            compare_store(*this, field_at(obj_, own), typed_.has_types, typed_.types, "type store");
            same("lock", typed_.lock, field_at<int32_t>(obj_, own + 8));
            same("access", typed_.access, field_at<int32_t>(obj_, own + 12));
        } else if (variant_ == Variant::Deferred) {
            compare_store(*this, field_at(obj_, own + 8), deferred_.has_store, deferred_.store, "deferred store");
            same("loader calls", deferred_.asked, loader_calls - calls_before_);
            same("assertion reports", deferred_.reports, quolan_testing_assert_reports() - reports_before_);
        }
        sound(obj_, "container");
    }
    void clear_model() override { keyed_ ? dict_.clear() : values_.clear(); }

private:
    const DictMethods *d() const { return quolan_dict_methods(obj_); }

    void put(Source &s)
    {
        Value v = pools_.value(s);
        const uint32_t how = s.below(4);
        Value key = how == 0 ? pick_key(s, pools_, dict_.keys, true) : pick_text(s, pools_, OwnedString);
        const char *text = static_cast<const char *>(argument(key));
        note("Put%sKey(tag %d, key tag %d)", how == 0 ? "" : "String", v.tag, key.tag);
        int32_t got;
        if (how == 0) got = d()->PutKey(obj_, argument(v), v.tag, argument(key), key.tag);
        else if (how == 1 || v.missing || !holds_datum(v.tag) || v.tag == Boolean)
            got = d()->PutStringKey(obj_, argument(v), v.tag, text);
        else if (v.tag == Integer) got = d()->PutIntStringKey(obj_, v.number, text);
        else got = d()->PutDoubleStringKey(obj_, v.real, text);
        bool created = false;
        same("status", dict_.put_key(v, key, &created), got);
        pools_.settle(v, got == StatusOk);
        pools_.settle(key, created);
    }

    void lookup(Source &s)
    {
        const bool by_text = s.chance(40);
        Value key = by_text ? pick_text(s, pools_, String) : pick_key(s, pools_, dict_.keys, false);
        note("%s(key tag %d)", by_text ? "GetStringKey" : "GetKey", key.tag);
        void *value = &value;
        int32_t tag = -99;
        int32_t got = by_text ? d()->GetStringKey(obj_, &value, &tag, static_cast<const char *>(argument(key)))
                              : d()->GetKey(obj_, &value, &tag, argument(key), key.tag);
        Value v;
        bool absent = false;
        if (same("status", dict_.get_key(key, &v, &absent), got) && (got == StatusOk || absent))
            expect(agrees(v, tag, value), "read", v.tag, tag);
    }

    void clear_key(Source &s)
    {
        Value key = pick_key(s, pools_, dict_.keys, false);
        note("ClearKey(key tag %d)", key.tag);
        same("status", dict_.clear_key(key), d()->ClearKey(obj_, argument(key), key.tag));
    }

    void symbol(Source &s)
    {
        const int32_t position = pick_index(s, dict_.keys);
        Value v;
        if (s.chance(30)) {
            Value key = pick_key(s, pools_, dict_.keys, false);
            note("SymbolIndex(key tag %d)", key.tag);
            same("position", dict_.symbol_index(key), d()->SymbolIndex(obj_, argument(key), key.tag));
        } else if (s.chance(50)) {
            note("GetSymbol(%d)", position);
            void *key = nullptr;
            int32_t tag = -99;
            const int32_t got = d()->GetSymbol(obj_, &key, &tag, position);
            read("key", dict_.get_symbol(position, &v), v, got, tag, key);
        } else {
            note("GetStringSymbol(%d)", position);
            const bool text = dict_.get_symbol(position, &v) == 0 && family(v.tag) == String;
            const char *got = d()->GetStringSymbol(obj_, position);
            if (same("text given", text, got != nullptr) && text) expect(agrees(v, v.tag, got), "text", 1, 0);
        }
    }

    // A position's own text put back into it, or used as a key's value.
    void own_text_again(Source &s)
    {
        const int32_t p = s.between(0, std::max(values_.used() - 1, 0));
        if (p >= values_.used() || view(obj_)->elements[p].tag != OwnedString) return positional(s, values_);
        Value text = referring(OwnedString, view(obj_)->elements[p].value.pointer, values_.cells[size_t(p)].text.c_str());
        bool created = false;
        if (keyed_ && s.chance(50)) {
            note("PutStringKey(the text at %d, \"a\")", p);
            same("status", dict_.put_key(text, referring(OwnedString, "a", "a"), &created),
                 d()->PutStringKey(obj_, argument(text), OwnedString, "a"));
        } else {
            note("PutStringCopyAt(its own text, %d)", p);
            same("status", values_.put(text, p),
                 quolan_array_methods(obj_)->PutStringCopyAt(obj_, static_cast<const char *>(argument(text)), p));
        }
    }

    void typed_op(Source &s)
    {
        const int32_t index = pick_index(s, values_);
        const std::string list = kTypeLists[s.below(std::size(kTypeLists))];
        const ArrayTypedMethods *ta = quolan_array_typed_methods(obj_);
        const DictTypedMethods *td = quolan_dict_typed_methods(obj_);
        switch (s.below(5)) {
        case 0: case 1: {
            Value key = pick_key(s, pools_, dict_.keys, false);
            note("Set%sType(\"%s\", %d)", keyed_ ? "Key" : "Slot", list.c_str(), index);
            if (!keyed_) same("status", typed_.record(list, index), ta->SetSlotType(obj_, list.c_str(), index));
            else same("status", typed_.record_for_key(list, key), td->SetKeyType(obj_, list.c_str(), argument(key), key.tag));
            break;
        }
        case 2: {
            Value v = pools_.value(s, false), key = pick_text(s, pools_, String);
            note("Check%sType(tag %d, %d)", keyed_ ? "StringKey" : "Slot", v.tag, index);
            const int32_t p = !typed_.has_types || !keyed_ ? index : dict_.symbol_index(key);
            const int32_t want = !typed_.has_types  ? StatusNoMemory
                                 : keyed_ && p < 0 ? StatusOutOfRange
                                                   : typed_.check(v, p);
            same("verdict", want,
                 keyed_ ? td->CheckStringKeyType(obj_, argument(v), v.tag, static_cast<const char *>(argument(key)))
                        : ta->CheckSlotType(obj_, argument(v), v.tag, index));
            break;
        }
        case 3: {
            const int32_t mode = s.chance(70) ? 0 : s.between(1, 2);
            note("SetAccess(%d)", mode);
            same("status", typed_.lock ? StatusLocked : StatusOk, keyed_ ? td->SetAccess(obj_, mode) : ta->SetAccess(obj_, mode));
            if (!typed_.lock) typed_.access = mode;
            same("access", typed_.access, keyed_ ? td->GetAccess(obj_) : ta->GetAccess(obj_));
            break;
        }
        default:
            typed_.lock = s.chance(60) ? 0 : s.chance(50) ? 1 : 256;
            note("SetLock(%d)", typed_.lock);
            keyed_ ? td->SetLock(obj_, typed_.lock) : ta->SetLock(obj_, typed_.lock);
        }
    }

    // A loader key: known to the Dict loader or not, a text, a fresh object or
    // block (handed over), a Null key; or, aliasing what the call drops, the
    // position's own owned key or value read back.
    Value loader_key(Source &s, int32_t position)
    {
        if (position >= 0 && position < values_.used() && s.chance(20)) {
            QuolanObject *store = field_at(obj_, (keyed_ ? 72 : 64) + 8);
            for (auto [o, model] : {std::pair{store, &deferred_.store}, std::pair{obj_, &values_}}) {
                if (!o || position >= model->used() || !is_owned(view(o)->elements[position].tag)) continue;
                Value k = model->cells[size_t(position)];
                if (k.tag == OwnedString) k.ref = view(o)->elements[position].value.pointer;
                return k;
            }
        }
        switch (s.below(8)) {
        case 0: case 1: case 2: return integer(s.between(1, 4));
        case 3: return pools_.text_value(s, s.chance(50) ? OwnedString : String);
        case 4: return pools_.fresh_object(s);
        case 5: return real(3);
        case 6: return referring(Null, nullptr);
        default: return pools_.fresh_block();
        }
    }

    void deferred_op(Source &s)
    {
        const ArrayDeferMethods *da = quolan_array_defer_methods(obj_);
        const DictDeferMethods *dd = quolan_dict_defer_methods(obj_);
        const int32_t index = pick_index(s, values_);
        const uint32_t choice = s.below(5);
        if (choice < 2 && !keyed_) {
            Value k = loader_key(s, deferred_.keyed_position(index));
            note("PutDeferredAt(tag %d, %d)", k.tag, index);
            int32_t want = deferred_.record_key(k, [&] { return values_.put(Value{}, index); });
            int32_t got = da->PutDeferredAt(obj_, argument(k), k.tag, index);
            same("status", want, got);
            pools_.settle(k, got == StatusOk);
        } else if (choice < 2) {
            // Under a key the dictionary holds, its position known; or a new one.
            int32_t at = dict_.keys.used() > 0 ? s.between(0, dict_.keys.used() - 1) : -1;
            Value key = at >= 0 ? dict_.keys.cells[size_t(at)] : Value{};
            if (family(key.tag) == String) key.ref = Pools::literal(key.text);
            if (!key.ref || key.tag == Double || key.tag == Boolean) {  // free, or never found again
                at = -1;
                key = pick_text(s, pools_, OwnedString);
            }
            Value k = loader_key(s, at);
            note("PutDeferredKey(tag %d, key tag %d)", k.tag, key.tag);
            bool created = false;
            int32_t want = deferred_.record_key(k, [&] { return dict_.put_key(Value{}, key, &created); });
            int32_t got = dd->PutDeferredKey(obj_, argument(k), k.tag, argument(key), key.tag);
            same("status", want, got);
            pools_.settle(k, got == StatusOk);
            pools_.settle(key, created);
        } else if (choice == 2) {
            Value want_key, key = pick_key(s, pools_, dict_.keys, false);
            void *value = nullptr;
            int32_t tag = -99;
            note("GetDeferred%s(%d)", keyed_ ? "Key" : "At", index);
            const int32_t p = keyed_ ? dict_.symbol_index(key) : deferred_.keyed_position(index);
            const int32_t want = keyed_ && p < 0 ? StatusOutOfRange : deferred_.read_key(p, &want_key);
            const int32_t got = keyed_ ? dd->GetDeferredKey(obj_, &value, &tag, argument(key), key.tag)
                                       : da->GetDeferredAt(obj_, &value, &tag, index);
            read("loader key", want, want_key, got, tag, value);
        } else {
            const uint32_t which = s.below(3);
            note("SetLoader(%u)", which);
            QuolanObject *loader = which == 0 ? nullptr : which == 1 ? pools_.dict_loader : pools_.echo_loader;
            keyed_ ? dd->SetLoader(obj_, loader) : da->SetLoader(obj_, loader);
            deferred_.loader = which == 0 ? Loader() : which == 1 ? Loader(Pools::dict_answer) : Loader(echo);
            deferred_.echoes = which == 2;
            same("loader", 1, (keyed_ ? dd->GetLoader(obj_) : da->GetLoader(obj_)) == loader);
        }
    }

    void round_trip()
    {
        note("Save, then Load into a fresh object of the class");
        std::vector<unsigned char> bytes;
        const int32_t saved = save_to(obj_, &bytes);
        Owned back(quolan_base_methods(obj_)->New(obj_));
        if (variant_ == Variant::Deferred) {
            Owned in(quolan_memory_stream_from(bytes.data(), bytes.size()));
            same("Save refused", StatusFailed, saved);
            same("Load refused", StatusFailed, quolan_base_methods(back.get())->Load(back.get(), in.get(), 0));
            same("no object made", 0, quolan_base_methods(obj_)->NewFromStream(obj_, in.get(), 0) != nullptr);
            same("nothing read", 0, static_cast<long long>(quolan_stream_read_offset(in.get())));
            return;
        }
        const bool typed = variant_ == Variant::Typed;
        Hooks loaded_hooks;
        TypedModel loaded_typed(&loaded_hooks);
        ArrayModel loaded_plain(&loaded_hooks), &loaded = typed ? loaded_typed : loaded_plain;
        DictModel loaded_dict(loaded, &loaded_hooks);
        if (keyed_) loaded_typed.dict = &loaded_dict;
        std::vector<Value> types, keys, values;
        int32_t want = typed && !typed_.has_types ? StatusNoMemory : typed ? typed_.types.save(&types) : StatusOk;
        if (want == StatusOk) want = keyed_ ? dict_.save(&keys, &values) : values_.save(&values);
        if (!same("Save status", want, saved) || saved != StatusOk) return;
        want = typed ? loaded_typed.types.load(types) : StatusOk;
        if (want == StatusOk) want = keyed_ ? loaded_dict.load(keys, values) : loaded.load(values);
        if (want == StatusOk && typed) loaded_typed.lock = typed_.lock & 0xff, loaded_typed.access = typed_.access;
        if (!same("Load status", want, load_from(back.get(), bytes))) return;
        compare_array(*this, back.get(), loaded, "loaded");
        if (keyed_) compare_store(*this, field_at(back.get(), 64), loaded_dict.has_keys, loaded_dict.keys, "loaded keys");
        sound(back.get(), "loaded");
        if (keyed_) return;
        same("IsEqual", values_.is_equal(loaded), quolan_base_methods(obj_)->IsEqual(obj_, back.get()));
        same("IsEqual back", loaded.is_equal(values_), quolan_base_methods(back.get())->IsEqual(back.get(), obj_));
    }

    void copy()
    {
        note("Copy");
        Owned c(quolan_base_methods(obj_)->Copy(obj_, obj_));
        if (variant_ == Variant::Deferred) return void(same("copy made", 0, c.get() != nullptr));
        Hooks copy_hooks;
        TypedModel copied(&copy_hooks);
        DictModel copied_dict(copied, &copy_hooks);
        bool made = keyed_ ? dict_.copy_into(&copied_dict) : values_.copy_into(&copied);
        if (variant_ == Variant::Typed) typed_.copy_types_into(&copied);
        if (!same("copy made", made, c.get() != nullptr) || !c.get()) return;
        compare_array(*this, c.get(), copied, "copy");
        if (keyed_) compare_store(*this, field_at(c.get(), 64), copied_dict.has_keys, copied_dict.keys, "copied keys");
        if (variant_ == Variant::Typed) {  // a copy starts unlocked and ReadWrite
            compare_store(*this, field_at(c.get(), keyed_ ? 72 : 64), copied.has_types, copied.types, "copied types");
            same("copy's lock and access", 0, field_at<int64_t>(c.get(), keyed_ ? 80 : 72));
        }
        sound(c.get(), "copy");
        same("IsEqual", keyed_ ? 0 : values_.is_equal(copied), quolan_base_methods(obj_)->IsEqual(obj_, c.get()));
        // A number of the copy nudged within, just past, and well past the tolerance.
        const int32_t p = copied.used() - 1;
        if (keyed_ || variant_ != Variant::Plain || p < 0 || !holds_datum(copied.cells[size_t(p)].tag)) return;
        const Value &at = copied.cells[size_t(p)];
        static constexpr double kNudges[] = {5e-7, 2e-6, 0.5};
        const Value nudged = real((at.tag == Double ? at.real : at.number) + kNudges[step % 3]);
        copied.array_put(nudged, p);
        quolan_array_methods(c.get())->PutDoubleAt(c.get(), nudged.real, p);
        same("IsEqual after a nudge", values_.is_equal(copied), quolan_base_methods(obj_)->IsEqual(obj_, c.get()));
    }

    const int64_t calls_before_ = loader_calls;
    const int32_t reports_before_ = quolan_testing_assert_reports();
    bool keyed_;
    Variant variant_;
    ArrayModel plain_;
    TypedModel typed_;
    DeferredModel deferred_;
    ArrayModel &values_;
    DictModel dict_;
};

class SetRun : public Run {
public:
    SetRun(QuolanObject *cls, Pools &pools) : Run(cls, pools), model(&hooks)
    {
        hooks.reenter = [this] { bool added; model.add(integer(77), &added); };
    }
    SetModel model;

    void act(Source &s) override
    {
        const uint32_t k = s.below(100);
        if (k < 35) add(s);
        else if (k < 60) find(s);
        else if (k < 72) value_at(s);
        else if (k < 90) clear_element(s);
        else if (k < 91) clear();
        else round_trip();
    }
    void compare_state() override
    {
        compare_store(*this, field_at(obj_, 24), model.has_store, model.members, "member store");
        sound(obj_, "set");
    }
    void clear_model() override { model.clear(); }

private:
    const GenSetMethods *g() const { return quolan_genset_methods(obj_); }

    void add(Source &s)
    {
        const uint32_t how = s.below(4);
        Value v = how == 0 ? pick_text(s, pools_, OwnedString) : how == 1 ? integer(s.between(-2, 12))
                                                                          : pick_key(s, pools_, model.members, true);
        note("Add%s(tag %d)", how == 0 ? "String" : how == 1 ? "Int32" : "", v.tag);
        int32_t got = how == 0   ? g()->AddString(obj_, static_cast<const char *>(argument(v)))
                      : how == 1 ? g()->AddInt32(obj_, v.number)
                                 : g()->Add(obj_, argument(v), v.tag);
        bool added = false;
        same("status", model.add(v, &added), got);
        pools_.settle(v, added);
    }

    void find(Source &s)
    {
        const uint32_t how = s.below(6);
        Value v = how % 3 == 0 ? pick_text(s, pools_, String) : how % 3 == 1 ? integer(s.between(-2, 12))
                                                                              : pick_key(s, pools_, model.members, false);
        void *arg = argument(v);
        const char *text = static_cast<const char *>(arg);
        note("find %u (tag %d)", how, v.tag);
        if (how == 0) same("answer", model.contains(v), g()->ContainsString(obj_, text));
        else if (how == 1) same("answer", model.contains(v), g()->ContainsInt32(obj_, v.number));
        else if (how == 2) same("answer", model.contains(v), g()->Contains(obj_, arg, v.tag));
        else if (how == 3) same("position", model.index_of(v), g()->StringGetIndex(obj_, text));
        else same("position", model.index_of(v), g()->GetIndex(obj_, arg, v.tag));
    }

    void value_at(Source &s)
    {
        const int32_t position = pick_index(s, model.members);
        Value v;
        // GetStringValue shares its reading with Dict's GetStringSymbol.
        note("GetValue(%d)", position);
        void *value = nullptr;
        int32_t tag = -99;
        const int32_t got = g()->GetValue(obj_, &value, &tag, position);
        read("member", model.get_value(position, &v), v, got, tag, value);
    }

    void clear_element(Source &s)
    {
        Value v = pick_key(s, pools_, model.members, false);
        note("ClearElement(tag %d)", v.tag);
        same("status", model.clear_element(v), g()->ClearElement(obj_, argument(v), v.tag));
    }

    void round_trip()
    {
        note("Save, then Load into a fresh GenSet");
        std::vector<Value> record;
        std::vector<unsigned char> bytes;
        const int32_t saved = save_to(obj_, &bytes);
        if (!same("Save status", model.save(&record), saved) || saved != StatusOk) return;
        Owned back(quolan_base_methods(obj_)->New(obj_));
        Hooks loaded_hooks;
        SetModel loaded(&loaded_hooks);
        if (!same("Load status", loaded.load(record), load_from(back.get(), bytes))) return;
        compare_store(*this, field_at(back.get(), 24), loaded.has_store, loaded.members, "loaded member store");
        same("Copy gives nothing", 0, quolan_base_methods(obj_)->Copy(obj_, obj_) != nullptr);
    }
};

struct Family { const char *name; QuolanObject *(*init)(); bool keyed; Variant variant; bool set; };

inline const Family kFamilies[] = {
    {"Array", array_baseclass_init, false, Variant::Plain, false},
    {"Dict", dict_baseclass_init, true, Variant::Plain, false},
    {"ArrayTyped", array_typedclass_init, false, Variant::Typed, false},
    {"DictTyped", dict_typedclass_init, true, Variant::Typed, false},
    {"ArrayDefer", array_deferclass_init, false, Variant::Deferred, false},
    {"DictDefer", dict_deferclass_init, true, Variant::Deferred, false},
    {"GenSet", genset_baseclass_init, false, Variant::Plain, true},
};

// A client subclass of a family's class whose element slots forward to the
// class's own: it behaves exactly as the class, yet it is not the class.
inline std::map<const QuolanMethod *, QuolanObject *> forwarded_to;
template <auto Slot, class... Args>
int32_t forward(QuolanObject *o, Args... args)
{
    return (quolan_array_methods(forwarded_to[o->methods])->*Slot)(o, args...);
}

inline QuolanObject *forwarding_subclass(const Family &f)
{
    static std::map<const Family *, QuolanObject *> made;
    if (QuolanObject *cls = made[&f]) return cls;
    QuolanObject *parent = f.init(), *cls = nullptr;
    const size_t slots = f.set ? size_t{GenSetSlot_Count} : f.keyed ? size_t{DictTypedSlot_Count} : size_t{ArrayTypedSlot_Count};
    auto *t = subclass_of<ArrayMethods>(parent, slots, &cls);
    if (!f.set) {
        forwarded_to[cls->methods] = parent;
        t->GetSizes = forward<&ArrayMethods::GetSizes>, t->SetIndex = forward<&ArrayMethods::SetIndex>;
        t->PutAt = forward<&ArrayMethods::PutAt>, t->GetAt = forward<&ArrayMethods::GetAt>;
        t->Next = forward<&ArrayMethods::Next>, t->Previous = forward<&ArrayMethods::Previous>;
        t->ClearAt = forward<&ArrayMethods::ClearAt>;
    }
    return made[&f] = cls;
}

// Runs up to `steps` operations (fewer when the source runs dry) on a new
// object of `cls` and its model, then deletes the object; answers the first
// disagreement, or an empty text.
inline std::string run_sequence(const Family &f, QuolanObject *cls, Source &s, int64_t steps)
{
    Pools pools;
    const int64_t baseline = Counted::clears;
    std::unique_ptr<Run> run;
    if (f.set) run = std::make_unique<SetRun>(cls, pools);
    else run = std::make_unique<ContainerRun>(cls, pools, f.keyed, f.variant);
    for (run->step = 0; run->step < steps && !s.done() && run->ok(); ++run->step) {
        run->act(s);
        if (run->ok()) run->compare_state();
        if (run->ok()) run->compare_deletions(baseline);
    }
    if (run->ok()) run->finish(baseline);
    return run->failure;
}

}  // namespace qm
