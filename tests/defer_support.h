// Fixture and loader for the deferred containers' suites.  The loader is a
// real Dict whose GetKey counts its calls, so a test sees exactly when a read
// loads.
#pragma once

#include "support.h"

namespace qt {

inline const ArrayDeferMethods *AD(QuolanObject *o) { return quolan_array_defer_methods(o); }
inline const DictDeferMethods *DD(QuolanObject *o) { return quolan_dict_defer_methods(o); }

inline int32_t loader_calls = 0;

inline int32_t counting_get_key(QuolanObject *self, void **value, int32_t *tag, void *key,
                                int32_t key_tag)
{
    ++loader_calls;
    return D(dict_baseclass)->GetKey(self, value, tag, key, key_tag);
}
inline QuolanObject *counting_dict_class()
{
    static QuolanObject *cls = subclass_of(dict_baseclass_init(), DictSlot_Count);
    table_of<DictMethods>(cls)->GetKey = counting_get_key;
    return cls;
}

// Maps Integer loader key `key` to `value` of `tag` in a Dict loader.
inline void map_key(QuolanObject *dict, int32_t key, void *value, int32_t tag)
{
    ASSERT_EQ(D(dict)->PutKey(dict, value, tag, &key, Integer), 0);
}

// Loader keys 1, 2, 3 stand for an owned text "one", the integer 42 and the
// double 3.5; 9 is unknown to the loader.
struct WithLoader : ::testing::Test {
    Obj loader = make(counting_dict_class());
    int32_t one = 1, two = 2, nine = 9;

    void SetUp() override
    {
        map_key(loader.get(), 1, const_cast<char *>("one"), OwnedString);
        int32_t forty_two = 42;
        map_key(loader.get(), 2, &forty_two, Integer);
        double three = 3.5;
        map_key(loader.get(), 3, &three, Double);
        loader_calls = 0;
    }
    // A read into a fresh Read: `read([&](void **v, int32_t *t) { return ...; })`.
    template <class F>
    static Read read(F call)
    {
        Read r{0, -99, nullptr};
        r.status = call(&r.value, &r.tag);
        return r;
    }
};

}  // namespace qt
