// Interprets the input as a program of method calls on one container.
//
// The first byte picks the class, the rest drives the choices.  Array, Dict
// and GenSet run the checked sequences of the model-based tests: every call
// is made on the library and on the reference model, and any disagreement
// in a status, a value read back, a position, a walk, the sizes, the storage,
// the private stores, the deletions of owned objects, or what Save/Load and
// Copy produce traps.  ArrayTyped, DictTyped, ArrayDefer and DictDefer have
// no model: they run a free mix of their own and inherited operations, with
// a Dict as loader, round trips, copies and comparisons, and must answer
// every call with a status, never crash or leak, and keep their storage and
// that of every inner store sound (used_count within capacity, zero beyond).
#include <cstdio>
#include <vector>

#include "../tests/model/runs.h"

namespace {

constexpr int64_t kSteps = 1500;

void trap_on(const std::string &failure)
{
    if (failure.empty()) return;
    std::fprintf(stderr, "model disagreement: %s\n", failure.c_str());
    __builtin_trap();
}

// used_count within capacity, storage present exactly when there is some,
// and nothing but zeros beyond used_count.
void expect_sound(QuolanObject *o)
{
    if (!o) return;
    const qm::ArrayView *v = qm::view(o);
    const int32_t used = v->dimensions ? v->dimensions[v->dimension_count - 1].used_count : 0;
    if (used > v->capacity || (v->capacity > 0) != (v->elements != nullptr)) __builtin_trap();
    for (int32_t p = used; p < v->capacity; ++p)
        if (v->elements[p].tag != Null || v->elements[p].value.pointer) __builtin_trap();
}

struct Variant {
    QuolanObject *(*init)();
    bool dict, typed;
};
constexpr Variant kVariants[] = {{array_typedclass_init, false, true},
                                 {dict_typedclass_init, true, true},
                                 {array_deferclass_init, false, false},
                                 {dict_deferclass_init, true, false}};

constexpr const char *kTypeLists[] = {"Integer", "Double", "String", "Integer,Double", "Double,Integer",
                                      "Object-Array", "Object-", "Object-QUOLAN,Null", "Pointer", "Boolean",
                                      "Null", ",", "", "Integer, Double",
                                      "Integer-with-a-token-longer-than-sixty-three-characters-of-text-here"};

// One unmodelled container and the loader its deferred positions read from.
class Session {
public:
    Session(const Variant &variant, qm::Source &s)
        : v_(variant), s_(s), obj_(qm::fresh(variant.init())), loader_(qm::fresh(dict_baseclass_init()))
    {
        const DictMethods *d = quolan_dict_methods(loader_);
        for (int32_t k = 0; k < 8; ++k) {
            qm::Value value = pools_.value(s_, false);
            d->PutKey(loader_, qm::argument(value), value.tag, &k, Integer);
        }
        quolan_dict_methods(loader_)->PutIntStringKey(loader_, 7, "a");
        set_loader(loader_);
    }
    ~Session()
    {
        quolan_base_methods(obj_)->Delete(obj_);
        quolan_base_methods(loader_)->Delete(loader_);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    void step()
    {
        switch (s_.below(24)) {
        case 0: case 1: case 2: case 3: case 4: case 5: put(); break;
        case 6: case 7: case 8: read(); break;
        case 9: case 10: case 11: v_.typed ? typed() : deferred(); break;
        case 12: case 13: case 14: case 15: v_.dict ? keyed() : put(); break;
        case 16: shape(); break;
        case 17: round_trip(); break;
        case 18: copy(); break;
        case 19: if (s_.chance(20)) quolan_base_methods(obj_)->Clear(obj_); break;
        default: read();
        }
        check();
    }

private:
    const ArrayMethods *a() const { return quolan_array_methods(obj_); }
    const DictMethods *d() const { return quolan_dict_methods(obj_); }
    int32_t index() { return s_.chance(30) ? s_.between(-3, -1) : s_.between(0, 80); }
    qm::Value plain_key()  // a key whose put hands nothing over
    {
        qm::Value k = qm::pick_key(s_, pools_, none_, false);
        if (qm::is_owned(k.tag) && k.tag != OwnedString) k.tag = qm::family(k.tag);
        return k;
    }
    const char *text() { return s_.chance(5) ? nullptr : pools_.text(s_); }
    void set_loader(QuolanObject *loader)
    {
        if (v_.typed) return;
        if (v_.dict) quolan_dict_defer_methods(obj_)->SetLoader(obj_, loader);
        else quolan_array_defer_methods(obj_)->SetLoader(obj_, loader);
    }

    void put()
    {
        qm::Value v = pools_.value(s_);
        if (v.tag == Null) v.ref = nullptr;
        int32_t status = a()->PutAt(obj_, qm::argument(v), v.tag, index());
        pools_.settle(v, status == StatusOk);
    }

    void read()
    {
        void *value = nullptr;
        int32_t tag = Null;
        switch (s_.below(5)) {
        case 0: a()->Next(obj_, &value, &tag); break;
        case 1: a()->Previous(obj_, &value, &tag); break;
        case 2: a()->SetIndex(obj_, index()); break;
        case 3: a()->ClearAt(obj_, index()); break;
        default: a()->GetAt(obj_, s_.chance(10) ? nullptr : &value, &tag, index());
        }
    }

    // Sizes never bring the maximum below used_count: a Clear that walks
    // with these classes' own methods stops at the maximum.
    void shape()
    {
        int32_t used = a()->GetSizes(obj_, nullptr, nullptr);
        int32_t maximum = s_.chance(50) ? 0 : used + s_.between(0, 40);
        a()->SetSizes(obj_, s_.between(-1, used + 20), maximum);
    }

    void typed()
    {
        qm::Value v = pools_.value(s_, false);
        const char *types = s_.chance(5) ? nullptr : kTypeLists[s_.below(sizeof kTypeLists / sizeof *kTypeLists)];
        if (!v_.dict) {
            const ArrayTypedMethods *t = quolan_array_typed_methods(obj_);
            switch (s_.below(5)) {
            case 0: t->SetSlotType(obj_, types, index()); break;
            case 1: t->CheckSlotType(obj_, qm::argument(v), v.tag, index()); break;
            case 2: t->SetAccess(obj_, s_.between(-1, 2)); break;
            case 3: t->SetLock(obj_, s_.chance(20)); break;
            default: t->GetAccess(obj_);
            }
            return;
        }
        const DictTypedMethods *t = quolan_dict_typed_methods(obj_);
        qm::Value k = plain_key();
        switch (s_.below(6)) {
        case 0: t->SetStringKeyType(obj_, types, text()); break;
        case 1: t->SetKeyType(obj_, types, qm::argument(k), k.tag); break;
        case 2: t->CheckStringKeyType(obj_, qm::argument(v), v.tag, text()); break;
        case 3: t->CheckKeyType(obj_, qm::argument(v), v.tag, qm::argument(k), k.tag); break;
        case 4: t->SetAccess(obj_, s_.between(-1, 2)); break;
        default: t->SetLock(obj_, s_.chance(20));
        }
    }

    void deferred()
    {
        int32_t loader_key = s_.between(0, 9);  // 8 and 9 are unknown to the loader
        void *value = nullptr;
        int32_t tag = Null;
        if (!v_.dict) {
            const ArrayDeferMethods *m = quolan_array_defer_methods(obj_);
            switch (s_.below(4)) {
            case 0: m->PutDeferredAt(obj_, &loader_key, Integer, index()); break;
            case 1: m->GetDeferredAt(obj_, &value, &tag, index()); break;
            case 2: set_loader(s_.chance(90) ? loader_ : nullptr); break;
            default: m->PutDeferredAt(obj_, const_cast<char *>("a"), s_.chance(50) ? String : OwnedString, index());
            }
            return;
        }
        const DictDeferMethods *m = quolan_dict_defer_methods(obj_);
        qm::Value k = plain_key();
        switch (s_.below(5)) {
        case 0: m->PutDeferredKey(obj_, &loader_key, Integer, qm::argument(k), k.tag); break;
        case 1: m->PutDeferredStringKey(obj_, &loader_key, Integer, text()); break;
        case 2: m->GetDeferredKey(obj_, &value, &tag, qm::argument(k), k.tag); break;
        case 3: m->GetDeferredStringKey(obj_, &value, &tag, text()); break;
        default: set_loader(s_.chance(90) ? loader_ : nullptr);
        }
    }

    void keyed()
    {
        void *value = nullptr;
        int32_t tag = Null;
        qm::Value k = plain_key();
        switch (s_.below(7)) {
        case 0: case 1: {
            qm::Value v = pools_.value(s_);
            if (v.tag == Null) v.ref = nullptr;
            int32_t status = d()->PutKey(obj_, qm::argument(v), v.tag, qm::argument(k), k.tag);
            pools_.settle(v, status == StatusOk);
            break;
        }
        case 2: d()->PutIntStringKey(obj_, s_.between(0, 9), text()); break;
        case 3: d()->GetKey(obj_, &value, &tag, qm::argument(k), k.tag); break;
        case 4: d()->GetStringKey(obj_, &value, &tag, text()); break;
        case 5: d()->ClearKey(obj_, qm::argument(k), k.tag); break;
        default: d()->GetSymbol(obj_, &value, &tag, index());
        }
    }

    // A record may be refused on load (a type list changed after its value
    // was put), but whatever did load must save again.
    void round_trip()
    {
        std::vector<unsigned char> bytes;
        if (qm::save_to(obj_, &bytes) != StatusOk) return;
        qm::Owned back(qm::fresh(v_.init()));
        if (qm::load_from(back.o, bytes) == StatusOk && qm::save_to(back.o, &bytes) != StatusOk)
            __builtin_trap();
        inner_stores(back.o);
    }

    void copy()
    {
        qm::Owned c(quolan_base_methods(obj_)->Copy(obj_, obj_));
        if (!c.o) return;
        quolan_base_methods(obj_)->IsEqual(obj_, c.o);
        quolan_base_methods(c.o)->IsEqual(c.o, obj_);
        inner_stores(c.o);
    }

    void check() { inner_stores(obj_); }

    // The object itself, its key store (dictionaries), and its type or
    // deferred store, which follows the fields of its parent.
    void inner_stores(QuolanObject *o)
    {
        expect_sound(o);
        const size_t own = v_.dict ? 72 : 64;
        if (v_.dict) expect_sound(qm::store_at(o, 64));
        expect_sound(qm::store_at(o, v_.typed ? own : own + 8));
    }

    const Variant &v_;
    qm::Source &s_;
    qm::Pools pools_;
    qm::ArrayModel none_;  // keys are drawn fresh: there is no model to draw from
    QuolanObject *obj_;
    QuolanObject *loader_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    qm::ByteSource source(data + 1, size - 1);
    switch (data[0] % 7) {
    case 0: trap_on(qm::run_sequence<qm::ArrayRun>(array_baseclass_init(), source, kSteps)); break;
    case 1: trap_on(qm::run_sequence<qm::DictRun>(dict_baseclass_init(), source, kSteps)); break;
    case 2: trap_on(qm::run_sequence<qm::SetRun>(genset_baseclass_init(), source, kSteps)); break;
    default: {
        Session session(kVariants[data[0] % 7 - 3], source);
        for (int64_t n = 0; n < kSteps && !source.done(); ++n) session.step();
    }
    }
    return 0;
}
