// The host stand-ins on their own: classes, slots and lookups; streams and how
// they fail; class identities.  Byte order shows in the behaviour suites.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "quolan/stream.h"
#include "quolan/testing.h"

namespace {

using Bytes = std::vector<unsigned char>;
#define SLOT(fn) reinterpret_cast<QuolanMethod>(&(fn))
const QuolanBaseMethods *B(QuolanObject *o) { return quolan_base_methods(o); }
QuolanObject *root() { return quolan_class_init(), quolan_class; }
QuolanObject *subclass(QuolanObject *parent, size_t size, int slots = QuolanSlot_Count)
{
    return quolan_generic_subclass(parent, size, slots * sizeof(QuolanMethod));
}
std::string contents(QuolanObject *s)
{
    size_t size = 0;
    const unsigned char *data = quolan_memory_stream_data(s, &size);
    return std::string(data, data + size);
}

int deletes = 0;
int32_t failing_init(QuolanObject *) { return 7; }
int32_t loads_mode_5(QuolanObject *, QuolanObject *, int32_t mode) { return mode == 5 ? 0 : -1; }
int32_t counting_delete(QuolanObject *self) { return ++deletes, B(quolan_class)->Delete(self); }

// A class answering to its own name and the root's, as container classes do;
// a decoy answering to every name; one that cannot name its class.
template <const char *Own, bool Liar = false>
int32_t isa(QuolanObject *self, char *name)
{
    if (name && !*name) std::strcpy(name, Own);
    return name && (Liar || !std::strcmp(name, Own)) ? 1 : B(quolan_class)->IsA(self, name);
}
constexpr char kDecoy[] = "Decoy", kWidget[] = "PlatformWidget";
QuolanObject *with_isa(QuolanObject *parent, int32_t (*is_a)(QuolanObject *, char *))
{
    QuolanObject *cls = subclass(parent, 32);
    cls->methods[QuolanSlot_IsA] = SLOT(*is_a);
    return cls;
}

}  // namespace

// Slots past the parent's table refuse; so do subclasses with no parent, too
// small an instance, a table shorter than the parent's or one never made here.
// A failed Init or Load deletes through the object's own Delete.
TEST(ObjectSystem, ClassesObjectsAndTheRoot)
{
    int32_t calls = quolan_testing_subclass_calls();
    QuolanObject *r = root(), *cls = subclass(r, 48, 20);
    QuolanObject *child = subclass(cls, 64, 21), stranger = {24, 0, cls->methods + 1};
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(reinterpret_cast<int32_t (*)(QuolanObject *)>(child->methods[19])(child), -2);
    for (QuolanObject *refused :
         {subclass(nullptr, 48), subclass(r, 16), subclass(cls, 48, 19), subclass(&stranger, 48, 40)})
        EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(quolan_testing_subclass_calls(), calls + 6);

    QuolanObject *obj = B(child)->New(child);
    ASSERT_TRUE(obj && obj->size == 64 && obj->class_word == child->class_word && obj->methods == child->methods);
    EXPECT_EQ(B(child)->Delete(obj) + B(child)->Delete(nullptr), 0);
    EXPECT_EQ(B(child)->New(nullptr), nullptr);
    EXPECT_NE(B(child)->Delete(r), 0) << "classes are never deleted";
    EXPECT_EQ(B(child)->NewFromStream(child, nullptr, 0), nullptr) << "the root's Load answers -11";
    child->methods[QuolanSlot_Load] = SLOT(loads_mode_5);
    child->methods[QuolanSlot_Delete] = SLOT(counting_delete);
    obj = B(child)->NewFromStream(child, nullptr, 5);
    EXPECT_TRUE(obj && !B(child)->NewFromStream(child, nullptr, 4));
    B(child)->Delete(obj);
    child->methods[QuolanSlot_Init] = SLOT(failing_init);
    EXPECT_TRUE(!B(child)->New(child) && deletes == 3);

    char name[128] = "", same[] = "QUOLAN", longer[] = "QUOLANX", lower[] = "quolan";
    EXPECT_TRUE(B(r)->IsA(r, name) + B(r)->IsA(r, same) == 2 && !std::strcmp(name, "QUOLAN"));
    EXPECT_EQ(B(r)->IsA(r, longer) + B(r)->IsA(r, lower) + B(r)->IsA(r, nullptr), 0);
    EXPECT_EQ(B(r)->IsEqual(r, r) - B(r)->IsEqual(r, nullptr), 1);
    EXPECT_EQ(B(r)->GetMethod(child, "Load"), SLOT(loads_mode_5));
    for (const char *n : {"load", "Loa", "LoadX"}) EXPECT_EQ(B(r)->GetMethod(child, n), nullptr) << "whole names only";
}

// A short read sets the status for good: neither writing nor a read that
// succeeds clears it.  A write limit gives short writes, never half an int32,
// and leaves the status alone.  A file stream goes one way.
TEST(Streams, FailuresLimitsAndClassIdentities)
{
    const unsigned char wire[] = {1, 2, 3, 4, 5, 6};
    QuolanObject *s = quolan_memory_stream_from(wire, sizeof wire), *w = quolan_memory_stream_new();
    const StreamMethods *m = quolan_stream_methods(s);
    EXPECT_EQ(m->ReadInt32(s), 0x04030201);
    EXPECT_TRUE(m->ReadInt32(s) == 0 && quolan_stream_read_offset(s) == 6u) << "two bytes left: consumed, answered 0";
    m->WriteByte(s, 9);
    EXPECT_TRUE(m->ReadByte(s) == 9 && quolan_stream_status(s) != 0);
    B(s)->Delete(s);
    EXPECT_EQ(quolan_memory_stream_from(nullptr, 3), nullptr);
    ASSERT_EQ(quolan_memory_stream_set_write_limit(w, 7), 0);
    EXPECT_TRUE(m->WriteInt32(w, 1) == 0 && m->WriteByte(w, 'x') == 0);
    EXPECT_EQ(m->WriteBytes(w, "abcdef", 6), 2);
    ASSERT_EQ(quolan_memory_stream_set_write_limit(w, 3), 0);
    EXPECT_TRUE(m->WriteInt32(w, 5) == -2 && quolan_stream_status(w) == 0);
    EXPECT_EQ(contents(w), std::string("\1\0\0\0xab", 7));
    B(w)->Delete(w);

    std::string path = ::testing::TempDir() + "quolan_stream_XXXXXX";
    close(mkstemp(path.data()));
    QuolanObject *out = quolan_file_stream_open(path.c_str(), "wb");
    EXPECT_TRUE(m->WriteInt32(out, 0x01020304) == 0 && m->WriteBytes(out, "tail", 4) == 4);
    B(out)->Delete(out);  // closes the file
    QuolanObject *in = quolan_file_stream_open(path.c_str(), "rb");
    char tail[8];
    EXPECT_EQ(m->ReadInt32(in), 0x01020304);
    EXPECT_TRUE(m->ReadBytes(in, tail, 8) == 4 && std::string(tail, 4) == "tail") << "a short read";
    EXPECT_NE(quolan_stream_status(in), 0);
    B(in)->Delete(in);
    EXPECT_EQ(quolan_file_stream_open(path.c_str(), "r"), nullptr) << "text mode";
    EXPECT_FALSE(quolan_file_stream_open((path + ".missing").c_str(), "rb") || quolan_file_stream_open(nullptr, "rb"));
    std::remove(path.c_str());

    // A class identity: only the owner of a name comes back, though the decoy
    // answers to every name and every class to "QUOLAN".  A nameless object,
    // hostile records and a failed stream are refused.
    with_isa(root(), isa<kDecoy, true>);
    QuolanObject *widget = with_isa(root(), isa<kWidget>), *obj = B(widget)->New(widget);
    s = quolan_memory_stream_new();
    for (QuolanObject *o : {obj, root()}) ASSERT_EQ(registrar_save_quolan_class_type(o, s), 0);
    EXPECT_EQ(contents(s), std::string("\x0e\0\0\0PlatformWidget\x06\0\0\0QUOLAN", 28));
    for (QuolanObject *cls : {widget, root()}) EXPECT_EQ(reanimator_get_class_from_stream(s), cls);
    EXPECT_EQ(registrar_save_quolan_class_type(with_isa(root(), [](QuolanObject *, char *) { return 0; }), s), -2);
    EXPECT_EQ(registrar_save_quolan_class_type(nullptr, s) + registrar_save_quolan_class_type(widget, nullptr), -4);
    EXPECT_EQ(reanimator_get_class_from_stream(nullptr), nullptr);
    B(obj)->Delete(obj);
    B(s)->Delete(s);
    const Bytes hostile[] = {
        {6, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'N'},  // valid, but read from a stream that has failed
        {0, 0, 0, 0}, {128, 0, 0, 0}, {5, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A'},  // empty, too long, a prefix
        {7, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'N', 0}, {6, 0, 0, 0, 'Q', 'U', 'O'},  // inner NUL, cut short
    };
    for (const Bytes &record : hostile) {
        s = quolan_memory_stream_from(record.data(), record.size());
        if (&record == hostile) quolan_stream_methods(s)->ReadBytes(s, nullptr, 1);
        EXPECT_EQ(reanimator_get_class_from_stream(s), nullptr) << record.size();
        B(s)->Delete(s);
    }
}
