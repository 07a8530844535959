#include "demo_document.h"

#include <initializer_list>

namespace qctool {

namespace {

QuolanObject *make(QuolanObject *cls) { return cls ? quolan_base_methods(cls)->New(cls) : nullptr; }
void drop(QuolanObject *o)
{
    if (o) quolan_base_methods(o)->Delete(o);
}

QuolanObject *readings()
{
    QuolanObject *a = make(array_baseclass);
    const ArrayMethods *m = quolan_array_methods(a);
    for (double v : {20.5, 21.0, 21.25}) m->PutDoubleAt(a, v, -2);
    m->PutAt(a, nullptr, Null, -2);  // a missed reading keeps its place
    m->PutDoubleAt(a, 22.0, -2);
    return a;
}

QuolanObject *station(const char *name, int id, bool indoor)
{
    QuolanObject *d = make(dict_baseclass);
    const DictMethods *m = quolan_dict_methods(d);
    m->PutStringKey(d, const_cast<char *>(name), String, "name");
    m->PutIntStringKey(d, id, "id");
    int32_t flag = indoor ? 1 : 0;
    m->PutKey(d, &flag, Boolean, const_cast<char *>("indoor"), OwnedString);
    return d;
}

QuolanObject *schema()
{
    QuolanObject *t = make(dict_typedclass);
    const DictTypedMethods *m = quolan_dict_typed_methods(t);
    m->PutIntStringKey(t, 12, "count");
    m->PutDoubleStringKey(t, 0.0, "mean");
    m->SetStringKeyType(t, "Double", "mean");
    m->PutIntStringKey(t, 21, "mean");  // admitted as a Double: stored as 21.0
    m->PutStringKey(t, const_cast<char *>("celsius"), OwnedString, "unit");
    m->SetStringKeyType(t, "String,Null", "unit");
    m->SetAccess(t, ReadOnly);
    return t;
}

QuolanObject *tags()
{
    QuolanObject *s = make(genset_baseclass);
    const GenSetMethods *m = quolan_genset_methods(s);
    m->AddString(s, "calibrated");
    m->AddString(s, "outdoor");
    m->AddInt32(s, 2024);
    m->AddString(s, "calibrated");  // already there: still three members
    return s;
}

// Calibration notes live elsewhere; the deferred dictionary records only a
// loader key and asks the loader on first read.
int32_t put_calibration(QuolanObject *document)
{
    QuolanObject *notes = make(dict_baseclass);
    QuolanObject *lazy = make(dict_deferclass);
    int32_t status = StatusNoMemory;
    if (notes && lazy) {
        quolan_dict_methods(notes)->PutStringKey(notes, const_cast<char *>("offset +0.25 K"),
                                                 OwnedString, "cal-7");
        const DictDeferMethods *m = quolan_dict_defer_methods(lazy);
        m->SetLoader(lazy, notes);
        m->PutDeferredStringKey(lazy, const_cast<char *>("cal-7"), String, "calibration");
        void *value = nullptr;
        int32_t tag = Null;
        status = m->GetStringKey(lazy, &value, &tag, "calibration");
        if (status == StatusOk)
            status = quolan_dict_methods(document)->PutStringKey(document, value, tag, "calibration");
    }
    drop(lazy);
    drop(notes);
    return status;
}

}  // namespace

QuolanObject *build_demo_document()
{
    QuolanObject *doc = make(dict_baseclass);
    if (!doc) return nullptr;
    const DictMethods *m = quolan_dict_methods(doc);
    m->PutStringKey(doc, const_cast<char *>("Weekly sensor report"), OwnedString, "title");
    m->PutIntStringKey(doc, 3, "revision");
    m->PutDoubleStringKey(doc, 0.75, "threshold");
    int32_t yes = 1;
    m->PutKey(doc, &yes, Boolean, const_cast<char *>("published"), OwnedString);
    m->PutStringKey(doc, readings(), OwnedObject, "readings");

    QuolanObject *stations = make(array_baseclass);
    quolan_array_methods(stations)->PutObjectCopyAt(stations, station("north", 1, false), -2);
    quolan_array_methods(stations)->PutObjectCopyAt(stations, station("cellar", 2, true), -2);
    m->PutStringKey(doc, stations, OwnedObject, "stations");
    m->PutStringKey(doc, schema(), OwnedObject, "summary");
    m->PutStringKey(doc, tags(), OwnedObject, "tags");
    if (put_calibration(doc) != StatusOk) {
        drop(doc);
        return nullptr;
    }
    return doc;
}

}  // namespace qctool
