// Writing a record's class name and finding the class again from it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "quolan/stream.h"

namespace {

// Test classes answer to their own name and chain up otherwise, as container
// classes do.  The decoy says yes to every name, so a lookup that trusted
// IsA alone would pick it; Gadget says yes to its parent Widget's name.
int32_t root_isa(QuolanObject *self, char *name)
{
    return quolan_base_methods(quolan_class)->IsA(self, name);
}
template <const char *Own, int32_t (*Parent)(QuolanObject *, char *), bool Liar = false>
int32_t isa(QuolanObject *self, char *name)
{
    if (name && name[0] == '\0')
        std::strcpy(name, Own);
    if (name && (Liar || std::strcmp(name, Own) == 0))
        return 1;
    return Parent(self, name);
}
int32_t nameless_isa(QuolanObject *, char *) { return 0; }
constexpr char kDecoy[] = "Decoy", kWidget[] = "PlatformWidget", kGadget[] = "PlatformGadget";

QuolanObject *make_class(QuolanObject *parent, int32_t (*is_a)(QuolanObject *, char *))
{
    QuolanObject *cls = quolan_generic_subclass(parent, 32, QuolanSlot_Count * sizeof(QuolanMethod));
    if (cls)
        cls->methods[QuolanSlot_IsA] = reinterpret_cast<QuolanMethod>(is_a);
    return cls;
}

QuolanObject *reanimate(const std::vector<unsigned char> &wire)
{
    QuolanObject *s = quolan_memory_stream_from(wire.data(), wire.size());
    QuolanObject *cls = reanimator_get_class_from_stream(s);
    quolan_base_methods(s)->Delete(s);
    return cls;
}

struct ClassIdentity : ::testing::Test {
    static void SetUpTestSuite()
    {
        quolan_class_init();
        make_class(quolan_class, isa<kDecoy, root_isa, true>);
        widget = make_class(quolan_class, isa<kWidget, root_isa>);
        gadget = make_class(widget, isa<kGadget, isa<kWidget, root_isa>>);
    }
    static inline QuolanObject *widget = nullptr, *gadget = nullptr;
};

TEST_F(ClassIdentity, RoundTripFindsEachClassByItsOwnName)
{
    ASSERT_NE(gadget, nullptr);
    QuolanObject *obj = quolan_base_methods(gadget)->New(gadget);
    QuolanObject *s = quolan_memory_stream_new();
    ASSERT_EQ(registrar_save_quolan_class_type(obj, s), 0);
    ASSERT_EQ(registrar_save_quolan_class_type(widget, s), 0);
    ASSERT_EQ(registrar_save_quolan_class_type(quolan_class, s), 0);
    size_t size = 0;
    const unsigned char *data = quolan_memory_stream_data(s, &size);
    ASSERT_EQ(size, 18u + 18u + 10u);
    EXPECT_EQ(std::memcmp(data, "\x0e\0\0\0PlatformGadget", 18), 0);
    // Gadget and the decoy also answer to "PlatformWidget"; every class
    // answers to "QUOLAN".  Only the owner of the name may come back.
    EXPECT_EQ(reanimator_get_class_from_stream(s), gadget);
    EXPECT_EQ(reanimator_get_class_from_stream(s), widget);
    EXPECT_EQ(reanimator_get_class_from_stream(s), quolan_class);
    EXPECT_EQ(quolan_stream_status(s), 0);
    quolan_base_methods(obj)->Delete(obj);
    quolan_base_methods(s)->Delete(s);
}

TEST_F(ClassIdentity, ReanimatorRefusesHostileRecords)
{
    const std::vector<unsigned char> hostile[] = {
        {0, 0, 0, 0}, {128, 0, 0, 0}, {0xff, 0xff, 0xff, 0xff, 'Q'},
        {6, 0, 0},                                    // short length
        {6, 0, 0, 0, 'Q', 'U', 'O'},                  // short name
        {6, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'X'},   // unknown
        {5, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A'},        // a prefix
        {7, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'N', 0}, // inner NUL
    };
    for (const auto &wire : hostile) EXPECT_EQ(reanimate(wire), nullptr) << wire.size();
    EXPECT_EQ(reanimator_get_class_from_stream(nullptr), nullptr);

    // A stream that has already failed is not trusted for the length either.
    const unsigned char wire[] = {6, 0, 0, 0, 'Q', 'U', 'O', 'L', 'A', 'N'};
    QuolanObject *s = quolan_memory_stream_from(wire, sizeof wire);
    quolan_stream_methods(s)->ReadBytes(s, nullptr, 1);
    EXPECT_EQ(reanimator_get_class_from_stream(s), nullptr);
    quolan_base_methods(s)->Delete(s);
}

TEST_F(ClassIdentity, RegistrarRefusesNamelessObjectsAndShortStreams)
{
    QuolanObject *s = quolan_memory_stream_new();
    EXPECT_EQ(registrar_save_quolan_class_type(make_class(quolan_class, nameless_isa), s), -2);
    EXPECT_EQ(registrar_save_quolan_class_type(nullptr, s), -2);
    EXPECT_EQ(registrar_save_quolan_class_type(widget, nullptr), -2);
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 3), 0);
    EXPECT_EQ(registrar_save_quolan_class_type(widget, s), -2);
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 10), 0);
    EXPECT_EQ(registrar_save_quolan_class_type(widget, s), -2);
    quolan_base_methods(s)->Delete(s);
}

} // namespace
