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

struct Owned {
    QuolanObject *s;
    explicit Owned(QuolanObject *stream) : s(stream) {}
    ~Owned()
    {
        if (s)
            quolan_base_methods(s)->Delete(s);
    }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    const StreamMethods *operator->() const { return quolan_stream_methods(s); }
};

std::vector<unsigned char> contents(QuolanObject *s)
{
    size_t size = 0;
    const unsigned char *data = quolan_memory_stream_data(s, &size);
    return data ? std::vector<unsigned char>(data, data + size) : std::vector<unsigned char>();
}

TEST(MemoryStream, RoundTripsIntsBytesAndRunsInOrder)
{
    Owned st(quolan_memory_stream_new());
    ASSERT_NE(st.s, nullptr);
    QuolanObject *s = st.s;
    const int32_t ints[] = {0, 1, -1, INT32_MIN, INT32_MAX, 0x01020304};
    for (int32_t v : ints)
        EXPECT_EQ(st->WriteInt32(s, v), 0);
    EXPECT_EQ(st->WriteByte(s, 0x1ff), 0);  // low 8 bits only
    EXPECT_EQ(st->WriteBytes(s, "hello", 5), 5);
    EXPECT_EQ(st->WriteBytes(s, "ignored", 0), 0);
    EXPECT_EQ(st->WriteBytes(s, nullptr, 4), 0);

    for (int32_t v : ints)
        EXPECT_EQ(st->ReadInt32(s), v);
    EXPECT_EQ(st->ReadByte(s), 0xff);
    char run[5];
    EXPECT_EQ(st->ReadBytes(s, run, 5), 5);
    EXPECT_EQ(std::memcmp(run, "hello", 5), 0);
    EXPECT_EQ(quolan_stream_status(s), 0);
    EXPECT_EQ(quolan_stream_read_offset(s), 6 * 4 + 1 + 5u);
}

TEST(MemoryStream, Int32IsLittleEndianOnTheWire)
{
    Owned st(quolan_memory_stream_new());
    st->WriteInt32(st.s, 0x01020304);
    st->WriteInt32(st.s, -2);
    const std::vector<unsigned char> expected = {4, 3, 2, 1, 0xfe, 0xff, 0xff, 0xff};
    EXPECT_EQ(contents(st.s), expected);

    const unsigned char wire[] = {0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x80};
    Owned in(quolan_memory_stream_from(wire, sizeof wire));
    EXPECT_EQ(in->ReadInt32(in.s), 0x12345678);
    EXPECT_EQ(in->ReadInt32(in.s), INT32_MIN);
}

TEST(MemoryStream, ShortReadSetsStatusForGood)
{
    const unsigned char wire[] = {1, 2, 3, 4, 5, 6};
    Owned st(quolan_memory_stream_from(wire, sizeof wire));
    QuolanObject *s = st.s;
    EXPECT_EQ(st->ReadBytes(s, nullptr, 0), 0);
    unsigned char buf[8];
    EXPECT_EQ(st->ReadBytes(s, buf, -3), 0);
    EXPECT_EQ(quolan_stream_status(s), 0);
    EXPECT_EQ(st->ReadInt32(s), 0x04030201);
    EXPECT_EQ(st->ReadInt32(s), 0);  // only two bytes left: consumed, answered 0
    EXPECT_NE(quolan_stream_status(s), 0);
    EXPECT_EQ(quolan_stream_read_offset(s), 6u);

    // Writing more does not clear it, nor does a read that now succeeds.
    st->WriteByte(s, 9);
    EXPECT_EQ(st->ReadByte(s), 9);
    EXPECT_NE(quolan_stream_status(s), 0);

    Owned eof(quolan_memory_stream_from(wire, 2));
    EXPECT_EQ(eof->ReadBytes(eof.s, buf, 8), 2);
    EXPECT_NE(quolan_stream_status(eof.s), 0);
    Owned empty(quolan_memory_stream_from(nullptr, 0));
    EXPECT_EQ(empty->ReadByte(empty.s), 0);
    EXPECT_NE(quolan_stream_status(empty.s), 0);
    Owned null_buffer(quolan_memory_stream_from(wire, sizeof wire));
    EXPECT_EQ(null_buffer->ReadBytes(null_buffer.s, nullptr, 1), 0);
    EXPECT_NE(quolan_stream_status(null_buffer.s), 0);
}

TEST(MemoryStream, WriteLimitGivesShortWritesWithoutTouchingStatus)
{
    Owned st(quolan_memory_stream_new());
    QuolanObject *s = st.s;
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 7), 0);
    EXPECT_EQ(st->WriteInt32(s, 1), 0);
    EXPECT_EQ(st->WriteByte(s, 'x'), 0);
    EXPECT_EQ(st->WriteBytes(s, "abcdef", 6), 2);
    EXPECT_EQ(st->WriteByte(s, 'y'), -2);
    EXPECT_EQ(st->WriteInt32(s, 2), -2);
    EXPECT_EQ(st->WriteBytes(s, "z", 1), 0);
    EXPECT_EQ(quolan_stream_status(s), 0);
    const std::vector<unsigned char> expected = {1, 0, 0, 0, 'x', 'a', 'b'};
    EXPECT_EQ(contents(s), expected);

    // An int32 that does not fit whole leaves nothing half-written.
    ASSERT_EQ(quolan_memory_stream_set_write_limit(s, 3), 0);
    EXPECT_EQ(st->WriteInt32(s, 5), -2);
    EXPECT_EQ(contents(s).size(), 7u);
}

TEST(MemoryStream, GrowsAcrossManyWritesAndCopiesItsSource)
{
    Owned st(quolan_memory_stream_new());
    std::vector<unsigned char> expected;
    for (int i = 0; i < 20000; ++i) {
        unsigned char chunk[37];
        for (size_t j = 0; j < sizeof chunk; ++j)
            chunk[j] = static_cast<unsigned char>(i * 31 + j);
        ASSERT_EQ(st->WriteBytes(st.s, chunk, sizeof chunk), 37);
        expected.insert(expected.end(), chunk, chunk + sizeof chunk);
    }
    EXPECT_EQ(contents(st.s), expected);

    char source[] = "abc";
    Owned copy(quolan_memory_stream_from(source, 3));
    source[0] = 'X';
    EXPECT_EQ(copy->ReadByte(copy.s), 'a');
    EXPECT_EQ(quolan_memory_stream_from(nullptr, 3), nullptr);

    size_t size = 99;
    Owned fresh(quolan_memory_stream_new());
    EXPECT_NE(quolan_memory_stream_data(fresh.s, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(quolan_memory_stream_data(nullptr, &size), nullptr);
}

class FileStream : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "quolan_stream_XXXXXX";
        int fd = mkstemp(path_.data());
        ASSERT_GE(fd, 0);
        close(fd);
    }
    void TearDown() override { std::remove(path_.c_str()); }
    std::string path_;
};

TEST_F(FileStream, RoundTripsThroughADiskFile)
{
    {
        Owned out(quolan_file_stream_open(path_.c_str(), "wb"));
        ASSERT_NE(out.s, nullptr);
        EXPECT_EQ(out->WriteInt32(out.s, 0x01020304), 0);
        EXPECT_EQ(out->WriteByte(out.s, 0xab), 0);
        EXPECT_EQ(out->WriteBytes(out.s, "tail", 4), 4);
        // Reading a write-only stream fails like any failed read.
        EXPECT_EQ(out->ReadByte(out.s), 0);
        EXPECT_NE(quolan_stream_status(out.s), 0);
        EXPECT_EQ(quolan_memory_stream_data(out.s, nullptr), nullptr);
        EXPECT_EQ(quolan_memory_stream_set_write_limit(out.s, 1), -2);
    }  // Delete closes and flushes

    std::FILE *raw = std::fopen(path_.c_str(), "rb");
    ASSERT_NE(raw, nullptr);
    unsigned char bytes[16];
    size_t n = std::fread(bytes, 1, sizeof bytes, raw);
    std::fclose(raw);
    const unsigned char expected[] = {4, 3, 2, 1, 0xab, 't', 'a', 'i', 'l'};
    ASSERT_EQ(n, sizeof expected);
    EXPECT_EQ(std::memcmp(bytes, expected, n), 0);

    Owned in(quolan_file_stream_open(path_.c_str(), "rb"));
    ASSERT_NE(in.s, nullptr);
    EXPECT_EQ(in->WriteByte(in.s, 1), -2);
    EXPECT_EQ(in->WriteBytes(in.s, "x", 1), 0);
    EXPECT_EQ(in->ReadInt32(in.s), 0x01020304);
    EXPECT_EQ(in->ReadByte(in.s), 0xab);
    char tail[8];
    EXPECT_EQ(in->ReadBytes(in.s, tail, 8), 4);
    EXPECT_NE(quolan_stream_status(in.s), 0);
    EXPECT_EQ(quolan_stream_read_offset(in.s), 9u);
}

TEST_F(FileStream, OpenRefusesBadModesAndMissingFiles)
{
    EXPECT_EQ(quolan_file_stream_open(path_.c_str(), "r"), nullptr);
    EXPECT_EQ(quolan_file_stream_open(path_.c_str(), "w+b"), nullptr);
    EXPECT_EQ(quolan_file_stream_open(path_.c_str(), nullptr), nullptr);
    EXPECT_EQ(quolan_file_stream_open(nullptr, "rb"), nullptr);
    EXPECT_EQ(quolan_file_stream_open((path_ + ".missing").c_str(), "rb"), nullptr);
}

} // namespace
