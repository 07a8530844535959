// Writing a record's class name and finding the class again from it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "quolan/stream.h"

namespace {

// Each test class answers to its own name and chains up for anything else,
// as container classes do.  The decoy answers to every name, so a lookup
// that trusted IsA alone would pick it.
int32_t (*root_isa)(QuolanObject *, char *) = nullptr;

int32_t name_or_chain(const char *own, char *name, int32_t (*parent)(QuolanObject *, char *),
                      QuolanObject *self)
{
    if (name && name[0] == '\0') {
        std::strcpy(name, own);
        return 1;
    }
    if (name && std::strcmp(name, own) == 0)
        return 1;
    return parent(self, name);
}

int32_t decoy_isa(QuolanObject *self, char *name)
{
    if (name && name[0] != '\0')
        return 1;
    return name_or_chain("PlatformDecoy", name, root_isa, self);
}

int32_t widget_isa(QuolanObject *self, char *name)
{
    return name_or_chain("PlatformWidget", name, root_isa, self);
}

int32_t gadget_isa(QuolanObject *self, char *name)
{
    return name_or_chain("PlatformGadget", name, widget_isa, self);
}

int32_t nameless_isa(QuolanObject *, char *)
{
    return 0;
}

QuolanObject *make_class(QuolanObject *parent, int32_t (*isa)(QuolanObject *, char *))
{
    QuolanObject *cls = quolan_generic_subclass(parent, 32, QuolanSlot_Count * sizeof(QuolanMethod));
    if (cls)
        cls->methods[QuolanSlot_IsA] = reinterpret_cast<QuolanMethod>(isa);
    return cls;
}

QuolanObject *reanimate(const std::vector<unsigned char> &wire)
{
    QuolanObject *s = quolan_memory_stream_from(wire.data(), wire.size());
    QuolanObject *cls = reanimator_get_class_from_stream(s);
    quolan_base_methods(s)->Delete(s);
    return cls;
}

class ClassIdentity : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        quolan_class_init();
        root_isa = quolan_base_methods(quolan_class)->IsA;
        decoy_ = make_class(quolan_class, decoy_isa);
        widget_ = make_class(quolan_class, widget_isa);
        gadget_ = make_class(widget_, gadget_isa);
    }
    static QuolanObject *decoy_, *widget_, *gadget_;
};
QuolanObject *ClassIdentity::decoy_ = nullptr;
QuolanObject *ClassIdentity::widget_ = nullptr;
QuolanObject *ClassIdentity::gadget_ = nullptr;

TEST_F(ClassIdentity, RegistrarWritesLengthThenNameAndReanimatorFindsTheClass)
{
    ASSERT_NE(gadget_, nullptr);
    QuolanObject *obj = quolan_base_methods(gadget_)->New(gadget_);
    QuolanObject *s = quolan_memory_stream_new();
    ASSERT_EQ(registrar_save_quolan_class_type(obj, s), 0);
    size_t size = 0;
    const unsigned char *data = quolan_memory_stream_data(s, &size);
    ASSERT_EQ(size, 4u + 14u);
    EXPECT_EQ(std::memcmp(data, "\x0e\0\0\0PlatformGadget", size), 0);
    EXPECT_EQ(reanimator_get_class_from_stream(s), gadget_);
    EXPECT_EQ(quolan_stream_read_offset(s), size);
    quolan_base_methods(obj)->Delete(obj);
    quolan_base_methods(s)->Delete(s);
}

TEST_F(ClassIdentity, ReanimatorMatchesTheClassesOwnNameNotAnAncestorsOrALiar)
{
    // Decoy comes first and says yes to everything; Gadget says yes to
    // "PlatformWidget" as its ancestor's name.  Only Widget owns the name.
    EXPECT_EQ(reanimate({14, 0, 0, 0, 'P', 'l', 'a', 't', 'f', 'o', 'r', 'm', 'W', 'i', 'd', 'g', 'e', 't'}),
              widget_);
    // Every class answers to "QUOLAN"; the root owns it.
    QuolanObject *plain = quolan_base_methods(quolan_class)->New(quolan_class);
    QuolanObject *s = quolan_memory_stream_new();
    ASSERT_EQ(registrar_save_quolan_class_type(plain, s), 0);
    EXPECT_EQ(reanimator_get_class_from_stream(s), quolan_class);
    quolan_base_methods(plain)->Delete(plain);
    quolan_base_methods(s)->Delete(s);
}

TEST_F(ClassIdentity, ReanimatorRefusesHostileRecords)
{
    EXPECT_EQ(reanimate({0, 0, 0, 0}), nullptr);
    EXPECT_EQ(reanimate({128, 0, 0, 0}), nullptr);
    EXPECT_EQ(reanimate({0xff, 0xff, 0xff, 0xff, 'Q'}), nullptr);
    EXPECT_EQ(reanimate({6, 0, 0}), nullptr);                       // truncated length
    EXPECT_EQ(reanimate({6, 0, 0, 0, 'Q', 'U', 'O'}), nullptr);     // truncated name
    EXPECT_EQ(reanimate({6, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'X'}), nullptr);  // unknown
    EXPECT_EQ(reanimate({7, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'N', 0}), nullptr);  // embedded NUL
    EXPECT_EQ(reanimate({5, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A'}), nullptr);  // a prefix is not a name
    EXPECT_EQ(reanimator_get_class_from_stream(nullptr), nullptr);

    // A stream already failed is not trusted for the length either.
    const unsigned char wire[] = {6, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'N'};
    QuolanObject *s = quolan_memory_stream_from(wire, sizeof wire);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(quolan_stream_methods(s)->ReadBytes(s, nullptr, 1), 0);
    EXPECT_EQ(reanimator_get_class_from_stream(s), nullptr);
    quolan_base_methods(s)->Delete(s);
}

TEST_F(ClassIdentity, RegistrarRefusesNamelessObjectsAndShortStreams)
{
    QuolanObject *nameless = make_class(quolan_class, nameless_isa);
    ASSERT_NE(nameless, nullptr);
    QuolanObject *s = quolan_memory_stream_new();
    EXPECT_EQ(registrar_save_quolan_class_type(nameless, s), -2);
    EXPECT_EQ(registrar_save_quolan_class_type(nullptr, s), -2);
    EXPECT_EQ(registrar_save_quolan_class_type(widget_, nullptr), -2);

    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 3), 0);
    EXPECT_EQ(registrar_save_quolan_class_type(widget_, s), -2);
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 10), 0);
    EXPECT_EQ(registrar_save_quolan_class_type(widget_, s), -2);
    quolan_base_methods(s)->Delete(s);
}

} // namespace
