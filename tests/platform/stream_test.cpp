// Memory and file streams, driven through their method tables as the
// containers drive them.  Their byte order and growth show in the exact
// records of the behaviour suites; here are their failure modes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "quolan/stream.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes contents(QuolanObject *s)
{
    size_t size = 0;
    const unsigned char *data = quolan_memory_stream_data(s, &size);
    return data ? Bytes(data, data + size) : Bytes{0xde, 0xad};
}

void drop(QuolanObject *s) { quolan_base_methods(s)->Delete(s); }

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
    EXPECT_EQ(quolan_file_stream_open((path + ".missing").c_str(), "rb"), nullptr);
    EXPECT_EQ(quolan_file_stream_open(nullptr, "rb"), nullptr);
    std::remove(path.c_str());
}

}  // namespace
