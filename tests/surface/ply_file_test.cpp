#include "surface/ply_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// The messages the layer reported, gathered through the handle's user pointer.
void collect_error(const t_ply_* ply, const char* message)
{
    if (ply != nullptr)
        static_cast<std::vector<std::string>*>(ply->pdata)->push_back(message);
}

// A stream over bytes in memory.
struct MemoryStream {
    explicit MemoryStream(const std::string& bytes) : data(bytes)
    {
        file = fmemopen(data.empty() ? nullptr : data.data(), data.size(), "rb");
        if (data.empty())
            file = std::tmpfile();
    }
    ~MemoryStream() { std::fclose(file); }
    std::string data;
    std::FILE* file;
};

// Where a read stands after the header: the handle, its messages and the stream under it.
struct Reading {
    explicit Reading(const std::string& bytes) : stream(bytes)
    {
        ply = ply_open_from_file(stream.file, collect_error, 0, &errors);
    }
    std::string last_error() const { return errors.empty() ? "" : errors.back(); }
    MemoryStream stream;
    std::vector<std::string> errors;
    p_ply ply;
};

// Everything a read callback saw, one entry per call.
struct Call {
    std::string element;
    std::string property;
    std::int64_t instance;
    std::int64_t length;
    std::int64_t value_index;
    double value;
};

int record_call(p_ply_argument argument)
{
    void* pdata = nullptr;
    ply_get_argument_user_data(argument, &pdata, nullptr);
    p_ply_element element = nullptr;
    p_ply_property property = nullptr;
    Call call{};
    ply_get_argument_element(argument, &element, &call.instance);
    ply_get_argument_property(argument, &property, &call.length, &call.value_index);
    call.element = element->name;
    call.property = property->name;
    call.value = ply_get_argument_value(argument);
    static_cast<std::vector<Call>*>(pdata)->push_back(call);
    return 1;
}

// Registers record_call for every property of every element and reads.
std::vector<Call> read_all(Reading& reading, bool& ok)
{
    std::vector<Call> calls;
    for (const t_ply_element_& element : reading.ply->elements)
        for (const t_ply_property_& property : element.properties)
            ply_set_read_cb(reading.ply.get(), element.name.c_str(), property.name.c_str(),
                            record_call, &calls, 0);
    ok = ply_read(reading.ply.get()) != 0;
    return calls;
}

// A stream that gathers the bytes written to it.
struct WrittenBytes {
    WrittenBytes() { file = open_memstream(&buffer, &size); }
    ~WrittenBytes()
    {
        if (file != nullptr)
            std::fclose(file);
        std::free(buffer);
    }
    std::string bytes()
    {
        std::fflush(file);
        return std::string(buffer, size);
    }
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file = nullptr;
};

// Three vertices (float x, uchar flag), an element without instances and two faces (list
// uchar int), the second an empty list.
bool write_sample(std::FILE* file, e_ply_storage_mode mode, std::vector<std::string>& errors)
{
    p_ply ply = ply_create_to_file(file, mode, collect_error, 0, &errors);
    if (!ply || !ply_add_comment(ply.get(), "made by a test") ||
        !ply_add_obj_info(ply.get(), "info line") || !ply_add_element(ply.get(), "vertex", 3) ||
        !ply_add_scalar_property(ply.get(), "x", PLY_FLOAT) ||
        !ply_add_scalar_property(ply.get(), "flag", PLY_UCHAR) ||
        !ply_add_element(ply.get(), "empty", 0) ||
        !ply_add_scalar_property(ply.get(), "never", PLY_INT) ||
        !ply_add_element(ply.get(), "face", 2) ||
        !ply_add_list_property(ply.get(), "vertex_indices", PLY_UCHAR, PLY_INT) ||
        !ply_write_header(ply.get()))
        return false;
    // vertex 0, 1, 2: (x, flag); face 0: 3 entries; face 1: empty list.
    for (const double value : {1.5, 7.0, -2.25, 0.0, 1e6, 255.0, 3.0, 0.0, 1.0, -7.0, 0.0})
        if (!ply_write(ply.get(), value))
            return false;
    return ply_close(std::move(ply)) != 0;
}

// A whole file, whether the step under test succeeds on it, and the last message reported.
struct FileCase {
    const char* why;
    std::string file;
    bool ok;
    std::string message;
};

} // namespace

// Header grammar, limits and messages. Each case is a whole file (header and, where it
// matters, data) with the result of ply_read_header and the last message reported.
TEST(PlyFile, HeaderCases)
{
    const std::string comment_4095(4095, 'c');
    const std::string comment_4096(4096, 'c');
    const std::string word_255(255, 'w');
    const std::string word_256(256, 'w');
    const FileCase cases[] = {
        {"the smallest header", "ply\nformat ascii 1.0\nend_header\n", true, ""},
        {"CR LF line ends are accepted", "ply\r\nformat ascii 1.0\r\nend_header\r\n", true, ""},
        {"an empty stream has no magic number", "", false, "Unable to read magic number from file"},
        {"the magic word must be followed by white space", "plyx\nformat ascii 1.0\n", false,
         "Wrong magic number. Expected 'ply'"},
        {"three bytes are not a magic line", "ply", false, "Wrong magic number. Expected 'ply'"},
        {"only version 1.0 exists", "ply\nformat ascii 1.1\nend_header\n", false,
         "Invalid file format"},
        {"storage words are exact", "ply\nformat binary 1.0\nend_header\n", false,
         "Invalid file format"},
        {"a missing format word is a bad format, not an end of file", "ply\nformat", false,
         "Invalid file format"},
        {"the count is the number at the start of the word",
         "ply\nformat ascii 1.0\nelement vertex 12abc\nend_header\n", true, ""},
        {"a count needs a number", "ply\nformat ascii 1.0\nelement vertex many\nend_header\n",
         false, "Expected number got 'many'"},
        {"a negative count is no count",
         "ply\nformat ascii 1.0\nelement vertex -3\nproperty float x\nend_header\n", false,
         "Expected number got '-3'"},
        {"a count beyond 64 bits is no count",
         "ply\nformat ascii 1.0\nelement vertex 99999999999999999999\nend_header\n", false,
         "Expected number got '99999999999999999999'"},
        {"unknown header keywords fail", "ply\nformat ascii 1.0\nelements vertex 1\nend_header\n",
         false, "Unexpected token 'elements'"},
        {"unknown type words fail",
         "ply\nformat ascii 1.0\nelement vertex 1\nproperty flaot x\nend_header\n", false,
         "Unexpected token 'flaot'"},
        {"a list cannot be a list's length type",
         "ply\nformat ascii 1.0\nelement f 1\nproperty list list int v\nend_header\n", false,
         "Unexpected token 'list'"},
        {"a list cannot be a list's value type",
         "ply\nformat ascii 1.0\nelement f 1\nproperty list uchar list v\nend_header\n", false,
         "Unexpected token 'list'"},
        {"a header without end_header ends early", "ply\nformat ascii 1.0\nelement vertex 1\n",
         false, "Unexpected end of file"},
        {"a comment line of 4,095 characters fits",
         "ply\nformat ascii 1.0\ncomment " + comment_4095 + "\nend_header\n", true, ""},
        {"a comment line of 4,096 characters does not",
         "ply\nformat ascii 1.0\ncomment " + comment_4096 + "\nend_header\n", false,
         "Line too long"},
        {"a comment line without its line feed ends early",
         "ply\nformat ascii 1.0\ncomment dangling", false, "Unexpected end of file"},
        {"a word of 255 characters fits",
         "ply\nformat ascii 1.0\nelement " + word_255 + " 1\nend_header\n", true, ""},
        {"a word of 256 characters does not",
         "ply\nformat ascii 1.0\nelement " + word_256 + " 1\nend_header\n", false, "Word too long"},
        {"a word longer than the buffer", "ply\nformat ascii 1.0\n" + std::string(70000, 'w'),
         false, "Token too large"},
    };
    for (const FileCase& c : cases) {
        Reading reading(c.file);
        ASSERT_TRUE(reading.ply) << c.why;
        EXPECT_EQ(ply_read_header(reading.ply.get()) != 0, c.ok) << c.why;
        EXPECT_EQ(reading.last_error(), c.message) << c.why;
        EXPECT_EQ(ply_close(std::move(reading.ply)), 1) << c.why;
    }
}

TEST(PlyFile, HeaderDescribesElementsAndKeepsCommentsInOrder)
{
    Reading reading("ply\nformat binary_big_endian 1.0\ncomment first one\nobj_info made here\n"
                    "element vertex 12abc\nproperty float x\ncomment inside\n"
                    "property list uchar uint vertex_indices\ncomment\nnext line text\n"
                    "end_header\n");
    ASSERT_EQ(ply_read_header(reading.ply.get()), 1);
    EXPECT_EQ(reading.ply->storage_mode, PLY_BIG_ENDIAN);
    ASSERT_EQ(reading.ply->elements.size(), 1u);
    const t_ply_element_& vertex = reading.ply->elements[0];
    EXPECT_EQ(vertex.name, "vertex");
    EXPECT_EQ(vertex.ninstances, 12);
    ASSERT_EQ(vertex.properties.size(), 2u);
    EXPECT_EQ(vertex.properties[0].type, PLY_FLOAT);
    EXPECT_EQ(vertex.properties[1].type, PLY_LIST);
    EXPECT_EQ(vertex.properties[1].length_type, PLY_UCHAR);
    EXPECT_EQ(vertex.properties[1].value_type, PLY_UINT);
    // A line holding only the word "comment" takes the following line as its text.
    std::vector<std::string> comments;
    for (const char* c = ply_get_next_comment(reading.ply.get(), nullptr); c != nullptr;
         c = ply_get_next_comment(reading.ply.get(), c))
        comments.push_back(c);
    EXPECT_EQ(comments, (std::vector<std::string>{"first one", "inside", "next line text"}));
    EXPECT_EQ(reading.ply->obj_infos, std::vector<std::string>{"made here"});
}

// The same values written in each storage mode read back identically, with the callback
// protocol of scalars and lists (length call with index -1, then one call per entry) and the
// element without instances skipped.
TEST(PlyFile, EveryStorageModeRoundTrips)
{
    for (const e_ply_storage_mode mode : {PLY_ASCII, PLY_LITTLE_ENDIAN, PLY_BIG_ENDIAN}) {
        SCOPED_TRACE(ply_storage_word(mode));
        WrittenBytes written;
        std::vector<std::string> errors;
        ASSERT_TRUE(write_sample(written.file, mode, errors));
        EXPECT_TRUE(errors.empty());
        Reading reading(written.bytes());
        ASSERT_EQ(ply_read_header(reading.ply.get()), 1);
        EXPECT_EQ(reading.ply->storage_mode, mode);
        EXPECT_EQ(reading.ply->comments, std::vector<std::string>{"made by a test"});
        bool ok = false;
        const std::vector<Call> calls = read_all(reading, ok);
        ASSERT_TRUE(ok) << reading.last_error();
        const std::vector<Call> expected = {
            {"vertex", "x", 0, 1, 0, 1.5},           {"vertex", "flag", 0, 1, 0, 7},
            {"vertex", "x", 1, 1, 0, -2.25},         {"vertex", "flag", 1, 1, 0, 0},
            {"vertex", "x", 2, 1, 0, 1e6},           {"vertex", "flag", 2, 1, 0, 255},
            {"face", "vertex_indices", 0, 3, -1, 3}, {"face", "vertex_indices", 0, 3, 0, 0},
            {"face", "vertex_indices", 0, 3, 1, 1},  {"face", "vertex_indices", 0, 3, 2, -7},
            {"face", "vertex_indices", 1, 0, -1, 0}};
        ASSERT_EQ(calls.size(), expected.size());
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].element, expected[i].element) << i;
            EXPECT_EQ(calls[i].property, expected[i].property) << i;
            EXPECT_EQ(calls[i].instance, expected[i].instance) << i;
            EXPECT_EQ(calls[i].length, expected[i].length) << i;
            EXPECT_EQ(calls[i].value_index, expected[i].value_index) << i;
            EXPECT_EQ(calls[i].value, expected[i].value) << i;
        }
    }
}

// Binary values of 2, 4 and 8 bytes over several buffer fills, so that values of each size
// straddle a refill: every value reads back as written in both byte orders, and a file cut
// inside its last value fails on that value.
TEST(PlyFile, BinaryValuesAcrossBufferRefillsReadBack)
{
    constexpr std::int64_t count = 12000; // 14 bytes each: about 2.6 buffers
    const auto value_of = [](std::int64_t i, int property) {
        return property == 0   ? 0.5 * static_cast<double>(i) - 1000.25
               : property == 1 ? static_cast<double>(i * 7919 % 65536)
                               : static_cast<double>(-i);
    };
    for (const e_ply_storage_mode mode : {PLY_LITTLE_ENDIAN, PLY_BIG_ENDIAN}) {
        SCOPED_TRACE(ply_storage_word(mode));
        WrittenBytes written;
        p_ply ply = ply_create_to_file(written.file, mode, nullptr, 0, nullptr);
        ASSERT_TRUE(ply_add_element(ply.get(), "v", count));
        ASSERT_TRUE(ply_add_scalar_property(ply.get(), "a", PLY_DOUBLE));
        ASSERT_TRUE(ply_add_scalar_property(ply.get(), "b", PLY_USHORT));
        ASSERT_TRUE(ply_add_scalar_property(ply.get(), "c", PLY_INT));
        ASSERT_TRUE(ply_write_header(ply.get()));
        for (std::int64_t i = 0; i < count; ++i)
            for (int property = 0; property < 3; ++property)
                ASSERT_TRUE(ply_write(ply.get(), value_of(i, property)));
        ASSERT_EQ(ply_close(std::move(ply)), 1);
        const std::string bytes = written.bytes();

        Reading reading(bytes);
        ASSERT_EQ(ply_read_header(reading.ply.get()), 1);
        bool ok = false;
        const std::vector<Call> calls = read_all(reading, ok);
        ASSERT_TRUE(ok) << reading.last_error();
        ASSERT_EQ(calls.size(), static_cast<std::size_t>(3 * count));
        for (std::size_t k = 0; k < calls.size(); ++k)
            ASSERT_EQ(calls[k].value, value_of(calls[k].instance, static_cast<int>(k % 3))) << k;

        Reading cut(bytes.substr(0, bytes.size() - 2));
        ASSERT_EQ(ply_read_header(cut.ply.get()), 1);
        read_all(cut, ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(cut.last_error(), "Error reading 'c' of 'v' number 11999");
    }
}

TEST(PlyFile, WrittenBytesFollowTheStorageMode)
{
    const std::string header_end = "end_header\n";
    for (const e_ply_storage_mode mode : {PLY_LITTLE_ENDIAN, PLY_BIG_ENDIAN, PLY_ASCII}) {
        WrittenBytes written;
        p_ply ply = ply_create_to_file(written.file, mode, nullptr, 0, nullptr);
        ASSERT_TRUE(ply_add_element(ply.get(), "v", 2));
        ASSERT_TRUE(ply_add_scalar_property(ply.get(), "a", PLY_USHORT));
        ASSERT_TRUE(ply_add_scalar_property(ply.get(), "b", PLY_UINT));
        ASSERT_TRUE(ply_write_header(ply.get()));
        const double value = 258.0;
        for (const double v : {value, 3.0e9, 1.0, 2.0})
            ASSERT_TRUE(ply_write(ply.get(), v));
        EXPECT_EQ(value, 258.0); // the caller's value is not reversed in place
        // Every declared value is written: one more is refused.
        EXPECT_EQ(ply_write(ply.get(), 5.0), 0);
        ASSERT_EQ(ply_close(std::move(ply)), 1);
        const std::string bytes = written.bytes();
        const std::string header = std::string("ply\nformat ") + ply_storage_word(mode) +
                                   " 1.0\nelement v 2\nproperty ushort a\nproperty uint b\n" +
                                   header_end;
        ASSERT_EQ(bytes.substr(0, header.size()), header);
        const std::string data = bytes.substr(header.size());
        if (mode == PLY_ASCII) {
            // uint32 values are unsigned decimals; the last value of an instance ends its line.
            EXPECT_EQ(data, "258 3000000000\n1 2\n");
        } else if (mode == PLY_LITTLE_ENDIAN) {
            EXPECT_EQ(data, std::string("\x02\x01\x00\x5e\xd0\xb2\x01\x00\x02\x00\x00\x00", 12));
        } else {
            EXPECT_EQ(data, std::string("\x01\x02\xb2\xd0\x5e\x00\x00\x01\x00\x00\x00\x02", 12));
        }
    }
}

// Values outside their type are refused, in every mode, with the message that names them.
TEST(PlyFile, WritingRefusesValuesOutsideTheirType)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        e_ply_type type;
        double value;
        bool ok;
    };
    const Case cases[] = {
        {PLY_UCHAR, 300.0, false},  {PLY_UCHAR, 255.0, true},       {PLY_UCHAR, -1.0, false},
        {PLY_CHAR, -128.0, true},   {PLY_CHAR, 127.5, false},       {PLY_INT, 3.0e9, false},
        {PLY_INT, nan, false},      {PLY_UINT, 4294967295.0, true}, {PLY_UINT, 1e300, false},
        {PLY_FLOAT, 3.5e38, false}, {PLY_FLOAT, 3.4e38, true},      {PLY_DOUBLE, 1e308, true},
    };
    for (const e_ply_storage_mode mode : {PLY_LITTLE_ENDIAN, PLY_ASCII}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(ply_storage_word(mode)) + " " + ply_type_word(c.type) + " " +
                         std::to_string(c.value));
            WrittenBytes written;
            std::vector<std::string> errors;
            p_ply ply = ply_create_to_file(written.file, mode, collect_error, 0, &errors);
            ASSERT_TRUE(ply_add_element(ply.get(), "vertex", 1));
            ASSERT_TRUE(ply_add_scalar_property(ply.get(), "x", c.type));
            ASSERT_TRUE(ply_write_header(ply.get()));
            EXPECT_EQ(ply_write(ply.get(), c.value) != 0, c.ok);
            if (!c.ok) {
                const std::string driver = mode == PLY_ASCII ? "ascii output" : "binary output";
                EXPECT_EQ(errors,
                          std::vector<std::string>{"Failed writing x of vertex 0 (" + driver +
                                                   ": " + ply_type_word(c.type) + ")"});
            }
        }
    }
}

TEST(PlyFile, DeclarationsAreChecked)
{
    WrittenBytes written;
    p_ply ply = ply_create_to_file(written.file, PLY_DEFAULT, nullptr, 0, nullptr);
    ASSERT_TRUE(ply);
    EXPECT_EQ(ply->storage_mode, PLY_LITTLE_ENDIAN);
    // Comments: up to 4,095 characters, and never a line feed that would split the header line.
    EXPECT_EQ(ply_add_comment(ply.get(), std::string(4095, 'c').c_str()), 1);
    EXPECT_EQ(ply_add_comment(ply.get(), std::string(4096, 'c').c_str()), 0);
    EXPECT_EQ(ply_add_comment(ply.get(), "two\nlines"), 0);
    EXPECT_EQ(ply->comments.size(), 1u);
    // A property needs an element; names fit a header word; counts are not negative.
    EXPECT_EQ(ply_add_scalar_property(ply.get(), "x", PLY_FLOAT), 0);
    EXPECT_EQ(ply_add_element(ply.get(), std::string(256, 'n').c_str(), 1), 0);
    EXPECT_EQ(ply_add_element(ply.get(), "vertex", -1), 0);
    ASSERT_EQ(ply_add_element(ply.get(), "vertex", 1), 1);
    EXPECT_EQ(ply_add_scalar_property(ply.get(), "x", PLY_LIST), 0);
    EXPECT_EQ(ply_add_list_property(ply.get(), "l", PLY_LIST, PLY_INT), 0);
    // A reading handle takes no declarations.
    Reading reading("ply\nformat ascii 1.0\nend_header\n");
    EXPECT_EQ(ply_add_element(reading.ply.get(), "vertex", 1), 0);
    EXPECT_EQ(ply_write(reading.ply.get(), 1.0), 0);
}

TEST(PlyFile, ClosingReportsAFailedFlush)
{
    WrittenBytes written;
    std::vector<std::string> errors;
    p_ply ply = ply_create_to_file(written.file, PLY_LITTLE_ENDIAN, collect_error, 0, &errors);
    ASSERT_TRUE(ply_add_element(ply.get(), "v", 1));
    ASSERT_TRUE(ply_add_scalar_property(ply.get(), "a", PLY_INT));
    ASSERT_TRUE(ply_write_header(ply.get()));
    ASSERT_TRUE(ply_write(ply.get(), 1.0)); // buffered, not yet on the stream
    MemoryStream read_only("read only");
    ply->fp = read_only.file; // the stream refuses the flush
    EXPECT_EQ(ply_close(std::move(ply)), 0);
    EXPECT_EQ(errors, std::vector<std::string>{"Error closing up"});
}

// Binary data that follow "end_header" and CR LF start at the right byte, in a buffer refill.
TEST(PlyFile, BinaryDataAfterCrLfHeader)
{
    std::string file = "ply\r\nformat binary_little_endian 1.0\r\ncomment " +
                       std::string(4000, 'x') +
                       "\r\nelement v 20000\r\nproperty int a\r\n"
                       "end_header\r\n";
    for (std::int32_t i = 0; i < 20000; ++i) {
        const std::int32_t value = i * 7 - 5;
        file.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    Reading reading(file);
    ASSERT_EQ(ply_read_header(reading.ply.get()), 1);
    EXPECT_EQ(reading.ply->comments[0].back(), '\r'); // the layer keeps the carriage return
    bool ok = false;
    const std::vector<Call> calls = read_all(reading, ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(calls.size(), 20000u);
    for (std::int32_t i = 0; i < 20000; ++i)
        ASSERT_EQ(calls[static_cast<std::size_t>(i)].value, i * 7 - 5) << i;
}

// Data failures name the value; hostile lengths and counts end the read without allocating or
// looping over them.
TEST(PlyFile, DataCases)
{
    const std::string face_header = "ply\nformat ascii 1.0\nelement face 2\n";
    const FileCase cases[] = {
        {"ASCII data may be laid out freely",
         face_header + "property list uchar int v\nend_header\n3 1\n2\n3 2 4 5 6\n", true, ""},
        {"a truncated scalar", "ply\nformat ascii 1.0\nelement v 2\nproperty int a\nend_header\n1",
         false, "Error reading 'a' of 'v' number 1"},
        {"a word that is not a number",
         "ply\nformat ascii 1.0\nelement v 1\nproperty float a\n"
         "end_header\n1.5x\n",
         false, "Error reading 'a' of 'v' number 0"},
        {"an integer must be one",
         "ply\nformat ascii 1.0\nelement v 1\nproperty int a\n"
         "end_header\n1.5\n",
         false, "Error reading 'a' of 'v' number 0"},
        {"an ASCII value outside its type",
         "ply\nformat ascii 1.0\nelement v 1\n"
         "property uchar a\nend_header\n256\n",
         false, "Error reading 'a' of 'v' number 0"},
        {"a float beyond single precision",
         "ply\nformat ascii 1.0\nelement v 1\n"
         "property float a\nend_header\n1e39\n",
         false, "Error reading 'a' of 'v' number 0"},
        {"a truncated list entry", face_header + "property list uchar int v\nend_header\n3 1 2\n",
         false, "Error reading value number 3 of 'v' of 'face' number 0"},
        {"a negative list length", face_header + "property list int int v\nend_header\n-2 1 2\n",
         false, "Error reading 'v' of 'face' number 0"},
        {"a NaN list length", face_header + "property list float int v\nend_header\nnan 1 2\n",
         false, "Error reading 'v' of 'face' number 0"},
        {"an infinite list length", face_header + "property list double int v\nend_header\ninf\n",
         false, "Error reading 'v' of 'face' number 0"},
        {"a list length beyond 32 bits",
         face_header + "property list double int v\nend_header\n5e9 1\n", false,
         "Error reading 'v' of 'face' number 0"},
        {"a huge count with data for one instance",
         "ply\nformat binary_little_endian 1.0\nelement v 9000000000000000000\nproperty uchar a\n"
         "end_header\n\x01",
         false, "Error reading 'a' of 'v' number 1"},
        {"a huge count of an element without properties holds no data",
         "ply\nformat ascii 1.0\nelement nothing 9000000000000000000\nend_header\n", true, ""},
    };
    for (const FileCase& c : cases) {
        Reading reading(c.file);
        ASSERT_EQ(ply_read_header(reading.ply.get()), 1) << c.why << ": " << reading.last_error();
        bool ok = false;
        read_all(reading, ok);
        EXPECT_EQ(ok, c.ok) << c.why;
        EXPECT_EQ(reading.last_error(), c.message) << c.why;
    }
}

TEST(PlyFile, CallbacksChooseTheirProperties)
{
    Reading reading("ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float w\n"
                    "element face 1\nproperty list uchar int vertex_index\nend_header\n"
                    "1 10 2 20\n0\n");
    ASSERT_EQ(ply_read_header(reading.ply.get()), 1);
    std::vector<Call> calls;
    // An absent property registers nothing; the read still consumes its element's values.
    EXPECT_EQ(ply_set_read_cb(reading.ply.get(), "vertex", "y", record_call, &calls, 0), 0);
    EXPECT_EQ(ply_set_read_cb(reading.ply.get(), "edge", "x", record_call, &calls, 0), 0);
    EXPECT_EQ(ply_set_read_cb(reading.ply.get(), "vertex", "x", record_call, nullptr, 0), 2);
    // A second registration replaces the first.
    EXPECT_EQ(ply_set_read_cb(reading.ply.get(), "vertex", "x", record_call, &calls, 5), 2);
    EXPECT_EQ(ply_set_read_cb(reading.ply.get(), "face", "vertex_index", record_call, &calls, 0),
              1);
    ASSERT_EQ(ply_read(reading.ply.get()), 1);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].value, 1.0);
    EXPECT_EQ(calls[1].value, 2.0);
    // A list of length 0 is announced once and has no entries.
    EXPECT_EQ(calls[2].value_index, -1);
    EXPECT_EQ(calls[2].length, 0);
}

TEST(PlyFile, ACallbackStopsTheRead)
{
    Reading reading("ply\nformat ascii 1.0\nelement v 3\nproperty int a\nend_header\n1 2 3\n");
    ASSERT_EQ(ply_read_header(reading.ply.get()), 1);
    int seen = 0;
    ply_set_read_cb(
        reading.ply.get(), "v", "a",
        [](p_ply_argument argument) {
            void* pdata = nullptr;
            ply_get_argument_user_data(argument, &pdata, nullptr);
            return ++*static_cast<int*>(pdata) < 2 ? 1 : 0;
        },
        &seen, 0);
    EXPECT_EQ(ply_read(reading.ply.get()), 0);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(reading.last_error(), "Aborted by user");
}
