// Runs one container and its model side by side: each step makes a call on
// both and compares what it answers and hands out, then the whole state
// (sizes, capacity, cursor, every element and the zero storage beyond, the
// private stores, the typed fields, the deletions of owned objects) and the
// library's invariant checks.  The first disagreement, naming the step and
// the operation, ends the run; nothing is left allocated, so leak checkers
// see the library's leaks only.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "debug/invariants.h"
#include "subjects.h"

namespace qm {

class Check {
public:
    std::string failure;  // the first disagreement; empty while none
    int64_t step = 0;
    char op[96] = "";

    bool ok() const { return failure.empty(); }

    void note(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        std::vsnprintf(op, sizeof op, format, args);
        va_end(args);
    }
    bool expect(bool agreed, const char *what, long long model, long long library)
    {
        if (!agreed && failure.empty()) {
            char line[320];
            std::snprintf(line, sizeof line, "step %lld, %s: %s: model %lld, library %lld",
                          static_cast<long long>(step), op, what, model, library);
            failure = line;
        }
        return agreed;
    }
    bool same(const char *what, long long model, long long library)
    {
        return expect(model == library, what, model, library);
    }
    // A read's status, then, when it succeeded, what it handed out.
    void read(const char *what, int32_t want, const Value &m, int32_t got, int32_t tag, const void *value)
    {
        if (same("status", want, got) && got == StatusOk) expect(agrees(m, tag, value), what, m.tag, tag);
    }
    void sound(QuolanObject *o, const char *which)
    {
        if (const char *broken = qc::check_invariants(o)) expect(false, (std::string(which) + ": " + broken).c_str(), 0, 1);
    }
};

// Deletes a library object when the scope ends.
struct Deleter {
    void operator()(QuolanObject *o) const { quolan_base_methods(o)->Delete(o); }
};
using Owned = std::unique_ptr<QuolanObject, Deleter>;

inline void compare_array(Check &c, QuolanObject *o, const ArrayModel &m, const char *which)
{
    const ArrayView *v = view(o);
    const DimensionRecord none{0, 0, 0};
    const DimensionRecord &rec = v->dimensions ? v->dimensions[v->dimension_count - 1] : none;
    char what[64];
    auto label = [&](const char *field) { return std::snprintf(what, sizeof what, "%s %s", which, field), what; };
    c.same(label("used_count"), m.used(), rec.used_count);
    c.same(label("capacity"), m.capacity, v->capacity);
    c.same(label("cursor"), m.cursor, v->cursors ? v->cursors[v->dimension_count - 1] : 0);
    c.same(label("initial size"), m.initial, rec.initial_size);
    c.same(label("maximum size"), m.maximum, rec.max_size);
    if (!c.ok() || (v->capacity > 0) != (v->elements != nullptr)) return;
    for (int32_t p = 0; p < m.used() && c.ok(); ++p) {
        std::snprintf(what, sizeof what, "%s element %d, by tag", which, p);
        c.expect(agrees(m.cells[static_cast<size_t>(p)], v->elements[p]), what,
                 m.cells[static_cast<size_t>(p)].tag, v->elements[p].tag);
    }
}

// A private store exists exactly when the model made it.
inline void compare_store(Check &c, QuolanObject *store, bool exists, const ArrayModel &m, const char *which)
{
    if (c.same(which, exists, store != nullptr) && store) compare_array(c, store, m, which);
}

class Run : public Check {
public:
    Run(QuolanObject *cls, Pools &pools) : obj_(quolan_base_methods(cls)->New(cls)), pools_(pools) { pools_.target = obj_; }
    virtual ~Run()
    {
        if (obj_) quolan_base_methods(obj_)->Delete(obj_);
        pools_.target = nullptr;
    }
    Run(const Run &) = delete;
    Run &operator=(const Run &) = delete;

    virtual void act(Source &s) = 0;
    virtual void compare_state() = 0;
    virtual void clear_model() = 0;

    void compare_deletions(int64_t baseline)
    {
        same("owned objects deleted", hooks.released + pools_.self_deleted, Counted::clears - baseline);
    }

    void finish(int64_t baseline)
    {
        note("Delete");
        clear_model();
        quolan_base_methods(obj_)->Delete(std::exchange(obj_, nullptr));
        compare_deletions(baseline);
    }

    void clear()
    {
        note("Clear");
        clear_model();
        quolan_base_methods(obj_)->Clear(obj_);
    }

    Hooks hooks;

protected:
    int32_t pick_index(Source &s, const ArrayModel &m)
    {
        switch (s.below(20)) {
        case 0: case 1: case 2: return -2;
        case 3: case 4: return -1;
        case 5: return s.between(m.used(), m.used() + 3);
        case 6: return s.chance(70) ? s.between(m.used(), m.used() + 40) : s.between(0, 1200);
        case 7: return s.chance(50) ? m.initial + s.between(-1, 1) : m.maximum + s.between(-1, 1);
        case 8: return s.chance(80) ? s.between(-5, -3) : INT32_MIN;
        default: return s.between(0, std::max(m.used(), 1));
        }
    }

    // Sizes of every shape, a maximum below used_count included: Clear forgets
    // it before it releases anything.
    void set_sizes(Source &s, ArrayModel &m)
    {
        int32_t maximum = 0;
        uint32_t shape = s.below(10);
        if (shape >= 4) maximum = m.used() + s.between(0, 64);
        if (shape == 3) maximum = s.between(-2, m.used());
        int32_t initial = s.between(-2, m.used() + 40);
        note("SetSizes(%d, %d)", initial, maximum);
        quolan_array_methods(obj_)->SetSizes(obj_, initial, maximum);
        m.set_sizes(initial, maximum);
    }

    void positional(Source &s, ArrayModel &m)
    {
        const ArrayMethods *a = quolan_array_methods(obj_);
        const int32_t index = pick_index(s, m);
        switch (s.below(9)) {
        case 0: case 1: case 2: {
            Value v = pools_.value(s);
            const bool shortcut = s.chance(50);
            note("%s(tag %d, %d)", shortcut ? "Put shortcut" : "PutAt", v.tag, index);
            void *arg = argument(v);
            int32_t got;
            if (!shortcut || v.tag == Null) got = a->PutAt(obj_, arg, v.tag, index);
            else if (v.missing) got = a->PutStringCopyAt(obj_, nullptr, index);
            else if (v.tag == Integer) got = a->PutIntAt(obj_, v.number, index);
            else if (v.tag == Boolean) got = a->PutBooleanAt(obj_, v.number, index);
            else if (v.tag == Double) got = a->PutDoubleAt(obj_, v.real, index);
            else if (v.tag == String) got = a->PutStringAt(obj_, static_cast<const char *>(arg), index);
            else if (v.tag == OwnedString) got = a->PutStringCopyAt(obj_, static_cast<const char *>(arg), index);
            else if (v.tag == Object) got = a->PutObjectAt(obj_, static_cast<QuolanObject *>(arg), index);
            else if (v.tag == OwnedObject) got = a->PutObjectCopyAt(obj_, static_cast<QuolanObject *>(arg), index);
            else if (v.tag == Pointer) got = a->PutPtrAt(obj_, arg, index);
            else got = a->PutPtrCopyAt(obj_, arg, index);
            if (v.missing && shortcut) v.tag = OwnedString;
            same("status", m.put(v, index), got);
            pools_.settle(v, got == StatusOk);
            break;
        }
        case 3: case 4: {
            note("GetAt(%d)", index);
            void *value = nullptr;
            int32_t tag = -99;
            const int32_t got = a->GetAt(obj_, &value, &tag, index);
            Value v;
            read("read", m.get(index, &v), v, got, tag, value);
            break;
        }
        case 5: note("ClearAt(%d)", index); same("status", m.clear_at(index), a->ClearAt(obj_, index)); break;
        case 6: note("SetIndex(%d)", index); same("status", m.set_index(index), a->SetIndex(obj_, index)); break;
        case 7: {
            note("GetSizes");
            int32_t initial = -7, maximum = -7;
            same("size", m.get_sizes(), a->GetSizes(obj_, &initial, &maximum));
            same("initial size", m.initial, initial);
            same("maximum size", m.maximum, maximum);
            break;
        }
        default: {
            note("GetIndex");
            int32_t want = -7, got = -7;
            same("status", m.get_index(&want), a->GetIndex(obj_, &got));
            same("index", want, got);
        }
        }
    }

    void walk(Source &s, ArrayModel *array_model, DictModel *dict_model)
    {
        const bool forward = s.chance(55);
        note(forward ? "Next" : "Previous");
        const ArrayMethods *a = quolan_array_methods(obj_);
        void *value = nullptr;
        int32_t tag = -99;
        int32_t got = (forward ? a->Next : a->Previous)(obj_, &value, &tag);
        Value v;
        int32_t want = dict_model ? (forward ? dict_model->next(&v) : dict_model->previous(&v))
                                  : (forward ? array_model->next(&v) : array_model->previous(&v));
        read("read", want, v, got, tag, value);
    }

    QuolanObject *obj_;
    Pools &pools_;
};

}  // namespace qm
