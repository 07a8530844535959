// Memory and file streams, driven through their method tables as the
// containers drive them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "quolan/stream.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes contents(QuolanObject *s)
{
    size_t size = 0;
    const unsigned char *data = quolan_memory_stream_data(s, &size);
    return data ? Bytes(data, data + size) : Bytes{0xde, 0xad};
}

void drop(QuolanObject *s)
{
    quolan_base_methods(s)->Delete(s);
}

TEST(MemoryStream, RoundTripsLittleEndianIntsBytesAndRuns)
{
    QuolanObject *s = quolan_memory_stream_new();
    const StreamMethods *m = quolan_stream_methods(s);
    EXPECT_EQ(contents(s), Bytes{});
    const int32_t ints[] = {0x01020304, -2, INT32_MIN, INT32_MAX};
    for (int32_t v : ints)
        EXPECT_EQ(m->WriteInt32(s, v), 0);
    EXPECT_EQ(m->WriteByte(s, 0x1ab), 0);  // low 8 bits only
    EXPECT_EQ(m->WriteBytes(s, "hi", 2), 2);
    EXPECT_EQ(m->WriteBytes(s, nullptr, 4), 0);
    EXPECT_EQ(contents(s), (Bytes{4, 3, 2, 1, 0xfe, 0xff, 0xff, 0xff, 0, 0, 0, 0x80,
                                  0xff, 0xff, 0xff, 0x7f, 0xab, 'h', 'i'}));
    for (int32_t v : ints)
        EXPECT_EQ(m->ReadInt32(s), v);
    char run[2];
    EXPECT_EQ(m->ReadByte(s), 0xab);
    EXPECT_EQ(m->ReadBytes(s, run, 2), 2);
    EXPECT_EQ(std::memcmp(run, "hi", 2), 0);
    EXPECT_EQ(quolan_stream_status(s), 0);
    EXPECT_EQ(quolan_stream_read_offset(s), 19u);
    drop(s);
}

TEST(MemoryStream, ShortReadSetsStatusForGood)
{
    const unsigned char wire[] = {1, 2, 3, 4, 5, 6};
    QuolanObject *s = quolan_memory_stream_from(wire, sizeof wire);
    const StreamMethods *m = quolan_stream_methods(s);
    unsigned char buf[8];
    EXPECT_EQ(m->ReadBytes(s, buf, -3) + m->ReadBytes(s, nullptr, 0), 0);
    EXPECT_EQ(quolan_stream_status(s), 0);
    EXPECT_EQ(m->ReadInt32(s), 0x04030201);
    EXPECT_EQ(m->ReadInt32(s), 0);  // two bytes left: consumed, answered 0
    EXPECT_NE(quolan_stream_status(s), 0);
    EXPECT_EQ(quolan_stream_read_offset(s), 6u);
    // Neither writing more nor a read that now succeeds clears it.
    m->WriteByte(s, 9);
    EXPECT_EQ(m->ReadByte(s), 9);
    EXPECT_NE(quolan_stream_status(s), 0);
    drop(s);

    s = quolan_memory_stream_from(wire, sizeof wire);
    EXPECT_EQ(m->ReadBytes(s, nullptr, 1), 0);
    EXPECT_NE(quolan_stream_status(s), 0);
    drop(s);
    EXPECT_EQ(quolan_memory_stream_from(nullptr, 3), nullptr);
}

TEST(MemoryStream, WriteLimitGivesShortWritesWithoutTouchingStatus)
{
    QuolanObject *s = quolan_memory_stream_new();
    const StreamMethods *m = quolan_stream_methods(s);
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 7), 0);
    EXPECT_EQ(m->WriteInt32(s, 1), 0);
    EXPECT_EQ(m->WriteByte(s, 'x'), 0);
    EXPECT_EQ(m->WriteBytes(s, "abcdef", 6), 2);
    EXPECT_EQ(m->WriteByte(s, 'y'), -2);
    EXPECT_EQ(quolan_stream_status(s), 0);
    // An int32 that does not fit whole leaves nothing half-written.
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 3), 0);
    EXPECT_EQ(m->WriteInt32(s, 5), -2);
    EXPECT_EQ(contents(s), (Bytes{1, 0, 0, 0, 'x', 'a', 'b'}));
    drop(s);
}

TEST(MemoryStream, GrowsAcrossManyWrites)
{
    QuolanObject *s = quolan_memory_stream_new();
    Bytes expected;
    for (int i = 0; i < 20000; ++i) {
        unsigned char chunk[37];
        for (size_t j = 0; j < sizeof chunk; ++j)
            chunk[j] = static_cast<unsigned char>(i * 31 + j);
        ASSERT_EQ(quolan_stream_methods(s)->WriteBytes(s, chunk, sizeof chunk), 37);
        expected.insert(expected.end(), chunk, chunk + sizeof chunk);
    }
    EXPECT_EQ(contents(s), expected);
    drop(s);
}

TEST(FileStream, RoundTripsThroughADiskFileOneDirectionEach)
{
    std::string path = ::testing::TempDir() + "quolan_stream_XXXXXX";
    int fd = mkstemp(path.data());
    ASSERT_GE(fd, 0);
    close(fd);
    QuolanObject *out = quolan_file_stream_open(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    const StreamMethods *m = quolan_stream_methods(out);
    EXPECT_EQ(m->WriteInt32(out, 0x01020304), 0);
    EXPECT_EQ(m->WriteBytes(out, "tail", 4), 4);
    EXPECT_EQ(m->ReadByte(out), 0);
    EXPECT_NE(quolan_stream_status(out), 0);
    EXPECT_EQ(quolan_memory_stream_data(out, nullptr), nullptr);
    EXPECT_EQ(quolan_memory_stream_set_write_limit(out, 1), -2);
    drop(out);  // closes the file

    QuolanObject *in = quolan_file_stream_open(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(m->WriteByte(in, 1), -2);
    EXPECT_EQ(m->ReadInt32(in), 0x01020304);
    char tail[8];
    EXPECT_EQ(m->ReadBytes(in, tail, 8), 4);
    EXPECT_EQ(std::memcmp(tail, "tail", 4), 0);
    EXPECT_NE(quolan_stream_status(in), 0);
    EXPECT_EQ(quolan_stream_read_offset(in), 8u);
    drop(in);

    EXPECT_EQ(quolan_file_stream_open(path.c_str(), "r"), nullptr);
    EXPECT_EQ(quolan_file_stream_open(nullptr, "rb"), nullptr);
    EXPECT_EQ(quolan_file_stream_open((path + ".missing").c_str(), "rb"), nullptr);
    std::remove(path.c_str());
}

} // namespace
