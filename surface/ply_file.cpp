#include "surface/ply_file.h"

#include "surface/c_locale.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

using InputHandler = int (*)(t_ply_* ply, double* value);
using OutputHandler = int (*)(t_ply_* ply, double value);
using ChunkFunction = int (*)(t_ply_* ply, void* bytes, std::size_t size);

} // namespace

// One storage mode's way of moving values: a handler per scalar type (codes 0 to 7; the aliases
// 8 to 15 share them) and a chunk function that moves raw bytes.
struct PlyDriver {
    InputHandler input[8];
    OutputHandler output[8];
    ChunkFunction chunk;
    const char* name;
};

namespace {

const char* const type_words[] = {"int8",    "uint8",   "int16", "uint16", "int32", "uint32",
                                  "float32", "float64", "char",  "uchar",  "short", "ushort",
                                  "int",     "uint",    "float", "double", "list",  nullptr};
const char* const storage_words[] = {"binary_big_endian", "binary_little_endian", "ascii", nullptr};

const char* const blanks = " \n\r\t";

// Index of word in a list that ends with none, -1 when absent.
int ply_find_string(const char* word, const char* const* list)
{
    for (int i = 0; list[i] != nullptr; ++i)
        if (std::strcmp(word, list[i]) == 0)
            return i;
    return -1;
}

void ply_error(const t_ply_* ply, const char* format, ...) __attribute__((format(printf, 2, 3)));

void ply_error(const t_ply_* ply, const char* format, ...)
{
    if (ply == nullptr || ply->error_cb == nullptr)
        return;
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    ply->error_cb(ply, message);
}

// The smallest and largest value of each scalar type code 0 to 7 (integers) that a handler
// accepts, and the largest magnitude of the two real types.
struct IntegerRange {
    double low;
    double high;
};
constexpr IntegerRange integer_ranges[6] = {{-128.0, 127.0},
                                            {0.0, 255.0},
                                            {-32768.0, 32767.0},
                                            {0.0, 65535.0},
                                            {-2147483648.0, 2147483647.0},
                                            {0.0, 4294967295.0}};
constexpr double float32_max = 3.4028234663852886e38;
constexpr double float64_max = 1.7976931348623157e308;

// Written as "value in range", so that NaN is refused too.
bool in_range(double value, int type)
{
    const IntegerRange& range = integer_ranges[type];
    return value >= range.low && value <= range.high;
}

// ---- buffered input ----

// Moves the unread bytes to the front and reads as many bytes as fit behind them; false when
// nothing could be read.
bool refill(t_ply_* ply)
{
    const std::size_t size = ply->buffer_last - ply->buffer_first;
    std::memmove(ply->buffer.data(), ply->buffer.data() + ply->buffer_first, size);
    ply->buffer_last = size;
    ply->buffer_first = ply->buffer_token = 0;
    std::size_t got = 0;
    if (size < ply_buffer_size)
        got = std::fread(ply->buffer.data() + size, 1, ply_buffer_size - size, ply->fp);
    ply->buffer_last = size + got;
    ply->buffer[ply->buffer_last] = '\0';
    return got > 0;
}

// The next word of the header or of ASCII data, left zero-terminated at buffer_token. Returns
// the failure message, or none.
const char* read_word(t_ply_* ply)
{
    for (;;) {
        ply->buffer_first += std::strspn(ply->buffer.data() + ply->buffer_first, blanks);
        if (ply->buffer_first < ply->buffer_last)
            break;
        if (!refill(ply))
            return "Unexpected end of file";
    }
    ply->buffer_token = ply->buffer_first;
    std::size_t end =
        ply->buffer_token + std::strcspn(ply->buffer.data() + ply->buffer_token, blanks);
    if (end >= ply->buffer_last) {
        if (refill(ply)) {
            end = std::strcspn(ply->buffer.data(), blanks);
            if (end >= ply->buffer_last)
                return "Token too large";
        } else {
            end = ply->buffer_last; // the stream has ended: the word ends with the data
        }
    }
    const std::size_t length = end - ply->buffer_token;
    ply->buffer[end] = '\0';
    ply->buffer_first = end < ply->buffer_last ? end + 1 : end;
    if (length >= ply_word_size)
        return "Word too long";
    if (length == 0)
        return "Unexpected end of file";
    return nullptr;
}

int ply_read_word(t_ply_* ply)
{
    if (const char* failure = read_word(ply)) {
        ply_error(ply, "%s", failure);
        return 0;
    }
    return 1;
}

// The rest of the current line, up to (not including) the line feed, left zero-terminated at
// buffer_token. A carriage return before the line feed stays part of the line.
int ply_read_line(t_ply_* ply)
{
    auto find_line_feed = [ply]() -> const char* {
        const char* start = ply->buffer.data() + ply->buffer_first;
        return static_cast<const char*>(
            std::memchr(start, '\n', ply->buffer_last - ply->buffer_first));
    };
    const char* line_feed = find_line_feed();
    if (line_feed == nullptr) {
        if (!refill(ply)) {
            ply_error(ply, "Unexpected end of file");
            return 0;
        }
        line_feed = find_line_feed();
        if (line_feed == nullptr) {
            ply_error(ply, "Token too large");
            return 0;
        }
    }
    const auto end = static_cast<std::size_t>(line_feed - ply->buffer.data());
    ply->buffer_token = ply->buffer_first;
    ply->buffer[end] = '\0';
    ply->buffer_first = end + 1;
    if (end - ply->buffer_token >= ply_line_size) {
        ply_error(ply, "Line too long");
        return 0;
    }
    return 1;
}

const char* token(const t_ply_* ply) { return ply->buffer.data() + ply->buffer_token; }

// Raw bytes of binary data, taken from the buffer; an empty buffer is refilled from the stream.
// Values that lie whole in the buffer, nearly all of them, are copied in one piece.
int ply_read_chunk(t_ply_* ply, void* bytes, std::size_t size)
{
    auto* out = static_cast<unsigned char*>(bytes);
    if (ply->buffer_last - ply->buffer_first >= size) {
        std::memcpy(out, ply->buffer.data() + ply->buffer_first, size);
        ply->buffer_first += size;
        return 1;
    }
    for (std::size_t i = 0; i < size; ++i) {
        if (ply->buffer_first >= ply->buffer_last && !refill(ply))
            return 0;
        out[i] = static_cast<unsigned char>(ply->buffer[ply->buffer_first++]);
    }
    return 1;
}

int ply_read_chunk_reverse(t_ply_* ply, void* bytes, std::size_t size)
{
    if (!ply_read_chunk(ply, bytes, size))
        return 0;
    auto* values = static_cast<unsigned char*>(bytes);
    std::reverse(values, values + size);
    return 1;
}

// The chunk function is fixed per driver, so each driver's handlers call theirs directly
// rather than through the driver: one indirect call less per value.
template <typename T, bool Reversed> int ibinary(t_ply_* ply, double* value)
{
    T stored;
    if (!(Reversed ? ply_read_chunk_reverse(ply, &stored, sizeof stored)
                   : ply_read_chunk(ply, &stored, sizeof stored)))
        return 0;
    *value = static_cast<double>(stored);
    return 1;
}

template <int Type> int iascii_integer(t_ply_* ply, double* value)
{
    if (read_word(ply) != nullptr)
        return 0;
    const char* word = token(ply);
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(word, &end, 10);
    if (end == word || *end != '\0' || errno == ERANGE)
        return 0;
    const auto result = static_cast<double>(parsed);
    if (!in_range(result, Type))
        return 0;
    *value = result;
    return 1;
}

template <int Type> int iascii_real(t_ply_* ply, double* value)
{
    if (read_word(ply) != nullptr)
        return 0;
    const char* word = token(ply);
    const char* end = nullptr;
    double parsed = 0.0;
    if (!parse_double(word, parsed, &end) || *end != '\0')
        return 0;
    if (std::fabs(parsed) > (Type == PLY_FLOAT32 ? float32_max : float64_max))
        return 0;
    *value = parsed;
    return 1;
}

// ---- buffered output ----

int ply_write_chunk(t_ply_* ply, const void* bytes, std::size_t size)
{
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        if (ply->buffer_last >= ply_buffer_size) {
            if (std::fwrite(ply->buffer.data(), 1, ply_buffer_size, ply->fp) != ply_buffer_size)
                return 0;
            ply->buffer_last = 0;
        }
        ply->buffer[ply->buffer_last++] = static_cast<char>(in[i]);
    }
    return 1;
}

int ply_write_chunk_reverse(t_ply_* ply, void* bytes, std::size_t size)
{
    auto* values = static_cast<unsigned char*>(bytes);
    std::reverse(values, values + size);
    return ply_write_chunk(ply, values, size);
}

int write_chunk_as_is(t_ply_* ply, void* bytes, std::size_t size)
{
    return ply_write_chunk(ply, bytes, size);
}

// The value's bytes are copied before any reversal, so the caller's value stays untouched.
template <typename T, int Type> int obinary_integer(t_ply_* ply, double value)
{
    if (!in_range(value, Type))
        return 0;
    T stored = static_cast<T>(value);
    return ply->odriver->chunk(ply, &stored, sizeof stored);
}

int obinary_float32(t_ply_* ply, double value)
{
    if (std::fabs(value) > float32_max)
        return 0;
    float stored = static_cast<float>(value);
    return ply->odriver->chunk(ply, &stored, sizeof stored);
}

int obinary_float64(t_ply_* ply, double value)
{
    double stored = value;
    return ply->odriver->chunk(ply, &stored, sizeof stored);
}

// ASCII integers take the same range check as binary ones: a value outside the type would
// otherwise go through an undefined conversion.
template <int Type> int oascii_integer(t_ply_* ply, double value)
{
    if (!in_range(value, Type))
        return 0;
    if (Type == PLY_UINT32)
        return std::fprintf(ply->fp, "%lu", static_cast<unsigned long>(value)) > 0;
    return std::fprintf(ply->fp, "%d", static_cast<int>(value)) > 0;
}

int oascii_float32(t_ply_* ply, double value)
{
    if (std::fabs(value) > float32_max)
        return 0;
    CLocaleScope c_locale;
    return std::fprintf(ply->fp, "%g", static_cast<double>(static_cast<float>(value))) > 0;
}

int oascii_float64(t_ply_* ply, double value)
{
    if (std::fabs(value) > float64_max)
        return 0;
    CLocaleScope c_locale;
    return std::fprintf(ply->fp, "%g", value) > 0;
}

int no_chunk(t_ply_*, void*, std::size_t) { return 0; }

#define KELVORAND_BINARY_INPUT(reversed)                                                           \
    {                                                                                              \
        ibinary<std::int8_t, reversed>, ibinary<std::uint8_t, reversed>,                           \
            ibinary<std::int16_t, reversed>, ibinary<std::uint16_t, reversed>,                     \
            ibinary<std::int32_t, reversed>, ibinary<std::uint32_t, reversed>,                     \
            ibinary<float, reversed>, ibinary<double, reversed>                                    \
    }
#define KELVORAND_BINARY_OUTPUT                                                                    \
    {                                                                                              \
        obinary_integer<std::int8_t, PLY_INT8>, obinary_integer<std::uint8_t, PLY_UINT8>,          \
            obinary_integer<std::int16_t, PLY_INT16>, obinary_integer<std::uint16_t, PLY_UINT16>,  \
            obinary_integer<std::int32_t, PLY_INT32>, obinary_integer<std::uint32_t, PLY_UINT32>,  \
            obinary_float32, obinary_float64                                                       \
    }

const PlyDriver ply_driver_binary_input = {KELVORAND_BINARY_INPUT(false), KELVORAND_BINARY_OUTPUT,
                                           ply_read_chunk, "binary input"};
const PlyDriver ply_driver_binary_reverse_input = {KELVORAND_BINARY_INPUT(true),
                                                   KELVORAND_BINARY_OUTPUT, ply_read_chunk_reverse,
                                                   "reverse binary input"};
const PlyDriver ply_driver_binary_output = {KELVORAND_BINARY_INPUT(false), KELVORAND_BINARY_OUTPUT,
                                            write_chunk_as_is, "binary output"};
const PlyDriver ply_driver_binary_reverse_output = {
    KELVORAND_BINARY_INPUT(true), KELVORAND_BINARY_OUTPUT, ply_write_chunk_reverse,
    "reverse binary output"};

#define KELVORAND_ASCII_INPUT                                                                      \
    {                                                                                              \
        iascii_integer<PLY_INT8>, iascii_integer<PLY_UINT8>, iascii_integer<PLY_INT16>,            \
            iascii_integer<PLY_UINT16>, iascii_integer<PLY_INT32>, iascii_integer<PLY_UINT32>,     \
            iascii_real<PLY_FLOAT32>, iascii_real<PLY_FLOAT64>                                     \
    }
#define KELVORAND_ASCII_OUTPUT                                                                     \
    {                                                                                              \
        oascii_integer<PLY_INT8>, oascii_integer<PLY_UINT8>, oascii_integer<PLY_INT16>,            \
            oascii_integer<PLY_UINT16>, oascii_integer<PLY_INT32>, oascii_integer<PLY_UINT32>,     \
            oascii_float32, oascii_float64                                                         \
    }

const PlyDriver ply_driver_ascii_input = {KELVORAND_ASCII_INPUT, KELVORAND_ASCII_OUTPUT, no_chunk,
                                          "ascii input"};
const PlyDriver ply_driver_ascii_output = {KELVORAND_ASCII_INPUT, KELVORAND_ASCII_OUTPUT, no_chunk,
                                           "ascii output"};

#undef KELVORAND_BINARY_INPUT
#undef KELVORAND_BINARY_OUTPUT
#undef KELVORAND_ASCII_INPUT
#undef KELVORAND_ASCII_OUTPUT

const PlyDriver* input_driver(e_ply_storage_mode mode)
{
    switch (mode) {
    case PLY_BIG_ENDIAN:
        return &ply_driver_binary_reverse_input;
    case PLY_ASCII:
        return &ply_driver_ascii_input;
    default:
        return &ply_driver_binary_input;
    }
}

const PlyDriver* output_driver(e_ply_storage_mode mode)
{
    switch (mode) {
    case PLY_BIG_ENDIAN:
        return &ply_driver_binary_reverse_output;
    case PLY_ASCII:
        return &ply_driver_ascii_output;
    default:
        return &ply_driver_binary_output;
    }
}

p_ply make_handle(std::FILE* fp, e_ply_io_mode mode, p_ply_error_cb error_cb, long idata,
                  void* pdata)
{
    p_ply ply;
    try {
        ply.reset(new t_ply_);
        ply->buffer.assign(ply_buffer_size + 1, '\0');
    } catch (const std::bad_alloc&) {
        if (error_cb != nullptr)
            error_cb(nullptr, "Out of memory");
        return nullptr;
    }
    ply->io_mode = mode;
    ply->fp = fp;
    ply->error_cb = error_cb;
    ply->idata = idata;
    ply->pdata = pdata;
    return ply;
}

// ---- header ----

t_ply_element_* ply_find_element(t_ply_* ply, const char* name)
{
    return const_cast<t_ply_element_*>(ply_element(ply, name));
}

t_ply_property_* ply_find_property(t_ply_element_* element, const char* name)
{
    for (t_ply_property_& property : element->properties)
        if (property.name == name)
            return &property;
    return nullptr;
}

// Stores a header line: the rest of the current line after the word that named it.
int read_header_line(t_ply_* ply, std::vector<std::string>& lines)
{
    if (!ply_read_line(ply))
        return 0;
    try {
        lines.emplace_back(token(ply));
    } catch (const std::bad_alloc&) {
        ply_error(ply, "Out of memory");
        return 0;
    }
    return ply_read_word(ply);
}

int ply_read_header_comment(t_ply_* ply) { return read_header_line(ply, ply->comments); }

int ply_read_header_obj_info(t_ply_* ply) { return read_header_line(ply, ply->obj_infos); }

int ply_read_header_format(t_ply_* ply)
{
    if (read_word(ply) != nullptr || std::strcmp(token(ply), "format") != 0)
        return 0;
    if (read_word(ply) != nullptr)
        return 0;
    const int mode = ply_find_string(token(ply), storage_words);
    if (mode < 0)
        return 0;
    ply->storage_mode = static_cast<e_ply_storage_mode>(mode);
    ply->idriver = input_driver(ply->storage_mode);
    if (read_word(ply) != nullptr || std::strcmp(token(ply), "1.0") != 0)
        return 0;
    return 1;
}

// A scalar type word (list excluded), or -1.
int scalar_type(const char* word)
{
    const int type = ply_find_string(word, type_words);
    return type == PLY_LIST ? -1 : type;
}

// Declares one property of the element from the words after "property"; 0 when a type word is
// not one, which then fails the header as an unexpected token.
int ply_read_header_property(t_ply_* ply, t_ply_element_& element)
{
    t_ply_property_ property;
    if (!ply_read_word(ply))
        return 0;
    const int type = ply_find_string(token(ply), type_words);
    if (type < 0) {
        ply_error(ply, "Unexpected token '%s'", token(ply));
        return 0;
    }
    property.type = static_cast<e_ply_type>(type);
    if (property.type == PLY_LIST) {
        if (!ply_read_word(ply))
            return 0;
        property.length_type = scalar_type(token(ply));
        if (property.length_type < 0) {
            ply_error(ply, "Unexpected token '%s'", token(ply));
            return 0;
        }
        if (!ply_read_word(ply))
            return 0;
        property.value_type = scalar_type(token(ply));
        if (property.value_type < 0) {
            ply_error(ply, "Unexpected token '%s'", token(ply));
            return 0;
        }
    }
    if (!ply_read_word(ply))
        return 0;
    property.name = token(ply);
    try {
        element.properties.push_back(std::move(property));
    } catch (const std::bad_alloc&) {
        ply_error(ply, "Out of memory");
        return 0;
    }
    return 1;
}

// An element and its properties; leaves the first word after them as the current word.
int ply_read_header_element(t_ply_* ply)
{
    if (!ply_read_word(ply))
        return 0;
    t_ply_element_ element;
    element.name = token(ply);
    if (!ply_read_word(ply))
        return 0;
    // The count is the number at the start of the word ("12abc" reads as 12). A negative count,
    // or one beyond 64 bits, is no count.
    const char* word = token(ply);
    char* end = nullptr;
    errno = 0;
    const long long count = std::strtoll(word, &end, 10);
    if (end == word || errno == ERANGE || count < 0) {
        ply_error(ply, "Expected number got '%s'", word);
        return 0;
    }
    element.ninstances = count;
    try {
        ply->elements.push_back(std::move(element));
    } catch (const std::bad_alloc&) {
        ply_error(ply, "Out of memory");
        return 0;
    }
    t_ply_element_& added = ply->elements.back();
    if (!ply_read_word(ply))
        return 0;
    for (;;) {
        if (std::strcmp(token(ply), "property") == 0) {
            if (!ply_read_header_property(ply, added) || !ply_read_word(ply))
                return 0;
        } else if (std::strcmp(token(ply), "comment") == 0) {
            if (!ply_read_header_comment(ply))
                return 0;
        } else if (std::strcmp(token(ply), "obj_info") == 0) {
            if (!ply_read_header_obj_info(ply))
                return 0;
        } else {
            return 1;
        }
    }
}

bool is_white_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads one value of a scalar type with the input driver.
int read_scalar(t_ply_* ply, int type, double* value)
{
    return ply->idriver->input[type % 8](ply, value);
}

// A list length as the callbacks get it: finite, not negative and within 32 bits.
bool is_valid_list_length(double length) { return length >= 0.0 && length <= 2147483647.0; }

// Moves the write cursor to the next element that has a value to take.
void skip_empty_elements(t_ply_* ply)
{
    while (ply->welement < ply->elements.size() &&
           (ply->elements[ply->welement].ninstances == 0 ||
            ply->elements[ply->welement].properties.empty()))
        ++ply->welement;
}

bool is_last_property(const t_ply_* ply)
{
    return ply->wproperty + 1 >= ply->elements[ply->welement].properties.size();
}

} // namespace

void PlyHandleDeleter::operator()(t_ply_* ply) const { delete ply; }

const char* ply_type_word(int type)
{
    return type >= 0 && type <= PLY_LIST ? type_words[type] : "";
}

const char* ply_storage_word(e_ply_storage_mode mode)
{
    return storage_words[mode == PLY_DEFAULT ? PLY_LITTLE_ENDIAN : mode];
}

p_ply ply_open_from_file(std::FILE* fp, p_ply_error_cb error_cb, long idata, void* pdata)
{
    if (fp == nullptr)
        return nullptr;
    return make_handle(fp, PLY_READ, error_cb, idata, pdata);
}

int ply_read_header(t_ply_* ply)
{
    if (ply == nullptr || ply->io_mode != PLY_READ)
        return 0;
    if (!refill(ply)) {
        ply_error(ply, "Unable to read magic number from file");
        return 0;
    }
    const char* bytes = ply->buffer.data();
    if (std::strncmp(bytes, "ply", 3) != 0 || !is_white_space(bytes[3])) {
        ply_error(ply, "Wrong magic number. Expected 'ply'");
        return 0;
    }
    ply->rn = bytes[3] == '\r' && bytes[4] == '\n';
    ply->buffer_first = 3;
    if (!ply_read_header_format(ply)) {
        ply_error(ply, "Invalid file format");
        return 0;
    }
    if (!ply_read_word(ply))
        return 0;
    for (;;) {
        const char* word = token(ply);
        if (std::strcmp(word, "end_header") == 0) {
            if (ply->rn) {
                if (ply->buffer_first >= ply->buffer_last && !refill(ply)) {
                    ply_error(ply, "Unexpected end of file");
                    return 0;
                }
                ++ply->buffer_first;
            }
            return 1;
        }
        if (std::strcmp(word, "comment") == 0) {
            if (!ply_read_header_comment(ply))
                return 0;
        } else if (std::strcmp(word, "obj_info") == 0) {
            if (!ply_read_header_obj_info(ply))
                return 0;
        } else if (std::strcmp(word, "element") == 0) {
            if (!ply_read_header_element(ply))
                return 0;
        } else {
            ply_error(ply, "Unexpected token '%s'", word);
            return 0;
        }
    }
}

const char* ply_get_next_comment(t_ply_* ply, const char* previous)
{
    if (ply == nullptr)
        return nullptr;
    std::size_t next = 0;
    if (previous != nullptr) {
        // Callers walk the comments in order, so the expected position is tried first.
        const std::size_t expected = ply->next_comment;
        if (expected > 0 && expected <= ply->comments.size() &&
            ply->comments[expected - 1].c_str() == previous) {
            next = expected;
        } else {
            next = ply->comments.size();
            for (std::size_t i = 0; i < ply->comments.size(); ++i)
                if (ply->comments[i].c_str() == previous)
                    next = i + 1;
        }
    }
    if (next >= ply->comments.size())
        return nullptr;
    ply->next_comment = next + 1;
    return ply->comments[next].c_str();
}

std::int64_t ply_set_read_cb(t_ply_* ply, const char* element_name, const char* property_name,
                             p_ply_read_cb read_cb, void* pdata, long idata)
{
    if (ply == nullptr)
        return 0;
    t_ply_element_* element = ply_find_element(ply, element_name);
    if (element == nullptr)
        return 0;
    t_ply_property_* property = ply_find_property(element, property_name);
    if (property == nullptr)
        return 0;
    property->read_cb = read_cb;
    property->pdata = pdata;
    property->idata = idata;
    return element->ninstances;
}

int ply_read(t_ply_* ply)
{
    if (ply == nullptr || ply->io_mode != PLY_READ || ply->idriver == nullptr)
        return 0;
    t_ply_argument_& argument = ply->argument;
    for (const t_ply_element_& element : ply->elements) {
        // An element without properties holds no data, whatever its count says.
        if (element.properties.empty())
            continue;
        argument.element = &element;
        for (std::int64_t instance = 0; instance < element.ninstances; ++instance) {
            argument.instance_index = instance;
            for (const t_ply_property_& property : element.properties) {
                argument.property = &property;
                argument.pdata = property.pdata;
                argument.idata = property.idata;
                const char* pname = property.name.c_str();
                const char* ename = element.name.c_str();
                const auto number = static_cast<long long>(instance);
                double value = 0.0;
                if (property.type != PLY_LIST) {
                    if (!read_scalar(ply, property.type, &value)) {
                        ply_error(ply, "Error reading '%s' of '%s' number %lld", pname, ename,
                                  number);
                        return 0;
                    }
                    argument.length = 1;
                    argument.value_index = 0;
                    argument.value = value;
                    if (property.read_cb != nullptr && !property.read_cb(&argument)) {
                        ply_error(ply, "Aborted by user");
                        return 0;
                    }
                    continue;
                }
                if (!read_scalar(ply, property.length_type, &value) ||
                    !is_valid_list_length(value)) {
                    ply_error(ply, "Error reading '%s' of '%s' number %lld", pname, ename, number);
                    return 0;
                }
                const auto length = static_cast<std::int64_t>(value);
                argument.length = length;
                argument.value_index = -1;
                argument.value = value;
                if (property.read_cb != nullptr && !property.read_cb(&argument)) {
                    ply_error(ply, "Aborted by user");
                    return 0;
                }
                for (std::int64_t entry = 0; entry < length; ++entry) {
                    if (!read_scalar(ply, property.value_type, &value)) {
                        ply_error(ply,
                                  "Error reading value number %lld of '%s' of '%s' number %lld",
                                  static_cast<long long>(entry + 1), pname, ename, number);
                        return 0;
                    }
                    argument.value_index = entry;
                    argument.value = value;
                    if (property.read_cb != nullptr && !property.read_cb(&argument)) {
                        ply_error(ply, "Aborted by user");
                        return 0;
                    }
                }
            }
        }
    }
    return 1;
}

const t_ply_element_* ply_element(const t_ply_* ply, const char* name)
{
    if (ply == nullptr)
        return nullptr;
    for (const t_ply_element_& element : ply->elements)
        if (element.name == name)
            return &element;
    return nullptr;
}

int ply_read_bytes(t_ply_* ply, void* bytes, std::size_t size)
{
    if (ply == nullptr || ply->io_mode != PLY_READ || ply->storage_mode == PLY_ASCII)
        return 0;
    // What the buffer holds, then the rest straight from the stream: a block of many
    // megabytes needs no pass through the buffer.
    auto* out = static_cast<char*>(bytes);
    const std::size_t buffered = std::min(size, ply->buffer_last - ply->buffer_first);
    std::memcpy(out, ply->buffer.data() + ply->buffer_first, buffered);
    ply->buffer_first += buffered;
    const std::size_t rest = size - buffered;
    return rest == 0 || std::fread(out + buffered, 1, rest, ply->fp) == rest ? 1 : 0;
}

p_ply ply_create_to_file(std::FILE* fp, e_ply_storage_mode storage_mode, p_ply_error_cb error_cb,
                         long idata, void* pdata)
{
    if (fp == nullptr || storage_mode < PLY_BIG_ENDIAN || storage_mode > PLY_DEFAULT)
        return nullptr;
    p_ply ply = make_handle(fp, PLY_WRITE, error_cb, idata, pdata);
    if (ply == nullptr)
        return nullptr;
    ply->storage_mode = storage_mode == PLY_DEFAULT ? PLY_LITTLE_ENDIAN : storage_mode;
    ply->odriver = output_driver(ply->storage_mode);
    return ply;
}

namespace {

int add_header_line(t_ply_* ply, std::vector<std::string>& lines, const char* text)
{
    if (ply == nullptr || ply->io_mode != PLY_WRITE || text == nullptr)
        return 0;
    if (std::strlen(text) >= ply_line_size || std::strchr(text, '\n') != nullptr)
        return 0;
    try {
        lines.emplace_back(text);
    } catch (const std::bad_alloc&) {
        ply_error(ply, "Out of memory");
        return 0;
    }
    return 1;
}

bool is_valid_name(const char* name)
{
    return name != nullptr && std::strlen(name) < ply_word_size;
}

bool is_scalar_type(int type) { return type >= PLY_INT8 && type < PLY_LIST; }

int add_property(t_ply_* ply, t_ply_property_ property)
{
    if (ply == nullptr || ply->io_mode != PLY_WRITE || ply->elements.empty())
        return 0;
    try {
        ply->elements.back().properties.push_back(std::move(property));
    } catch (const std::bad_alloc&) {
        ply_error(ply, "Out of memory");
        return 0;
    }
    return 1;
}

} // namespace

int ply_add_comment(t_ply_* ply, const char* comment)
{
    return ply == nullptr ? 0 : add_header_line(ply, ply->comments, comment);
}

int ply_add_obj_info(t_ply_* ply, const char* obj_info)
{
    return ply == nullptr ? 0 : add_header_line(ply, ply->obj_infos, obj_info);
}

int ply_add_element(t_ply_* ply, const char* name, std::int64_t ninstances)
{
    if (ply == nullptr || ply->io_mode != PLY_WRITE || !is_valid_name(name) || ninstances < 0)
        return 0;
    try {
        t_ply_element_ element;
        element.name = name;
        element.ninstances = ninstances;
        ply->elements.push_back(std::move(element));
    } catch (const std::bad_alloc&) {
        ply_error(ply, "Out of memory");
        return 0;
    }
    return 1;
}

int ply_add_scalar_property(t_ply_* ply, const char* name, e_ply_type type)
{
    if (!is_valid_name(name) || !is_scalar_type(type))
        return 0;
    t_ply_property_ property;
    property.name = name;
    property.type = type;
    return add_property(ply, std::move(property));
}

int ply_add_list_property(t_ply_* ply, const char* name, e_ply_type length_type,
                          e_ply_type value_type)
{
    if (!is_valid_name(name) || !is_scalar_type(length_type) || !is_scalar_type(value_type))
        return 0;
    t_ply_property_ property;
    property.name = name;
    property.type = PLY_LIST;
    property.length_type = length_type;
    property.value_type = value_type;
    return add_property(ply, std::move(property));
}

int ply_write_header(t_ply_* ply)
{
    if (ply == nullptr || ply->io_mode != PLY_WRITE)
        return 0;
    std::FILE* fp = ply->fp;
    auto failed = [ply]() {
        ply_error(ply, "Error writing to file");
        return 0;
    };
    if (std::fprintf(fp, "ply\nformat %s 1.0\n", ply_storage_word(ply->storage_mode)) <= 0)
        return failed();
    for (const std::string& comment : ply->comments)
        if (std::fprintf(fp, "comment %s\n", comment.c_str()) <= 0)
            return failed();
    for (const std::string& obj_info : ply->obj_infos)
        if (std::fprintf(fp, "obj_info %s\n", obj_info.c_str()) <= 0)
            return failed();
    for (const t_ply_element_& element : ply->elements) {
        if (std::fprintf(fp, "element %s %lld\n", element.name.c_str(),
                         static_cast<long long>(element.ninstances)) <= 0)
            return failed();
        for (const t_ply_property_& property : element.properties) {
            const int written =
                property.type == PLY_LIST
                    ? std::fprintf(fp, "property list %s %s %s\n", type_words[property.length_type],
                                   type_words[property.value_type], property.name.c_str())
                    : std::fprintf(fp, "property %s %s\n", type_words[property.type],
                                   property.name.c_str());
            if (written <= 0)
                return failed();
        }
    }
    if (std::fprintf(fp, "end_header\n") <= 0)
        return 0;
    ply->welement = 0;
    ply->wproperty = 0;
    ply->winstance_index = 0;
    ply->wvalue_index = 0;
    ply->wlength = -1;
    ply->buffer_last = 0;
    skip_empty_elements(ply);
    return 1;
}

int ply_write(t_ply_* ply, double value)
{
    if (ply == nullptr || ply->io_mode != PLY_WRITE || ply->welement >= ply->elements.size())
        return 0;
    const t_ply_element_& element = ply->elements[ply->welement];
    const t_ply_property_& property = element.properties[ply->wproperty];
    const bool is_list = property.type == PLY_LIST;
    const bool is_length = is_list && ply->wlength < 0;
    const int type = is_length ? property.length_type
                     : is_list ? property.value_type
                               : property.type;
    // A list length must also be usable as a count.
    if ((is_length && !is_valid_list_length(value)) ||
        !ply->odriver->output[type % 8](ply, value)) {
        ply_error(ply, "Failed writing %s of %s %lld (%s: %s)", property.name.c_str(),
                  element.name.c_str(), static_cast<long long>(ply->winstance_index),
                  ply->odriver->name, type_words[type]);
        return 0;
    }
    bool property_done = true;
    if (is_length) {
        ply->wlength = static_cast<std::int64_t>(value);
        ply->wvalue_index = 0;
        property_done = ply->wlength == 0;
    } else if (is_list) {
        ++ply->wvalue_index;
        property_done = ply->wvalue_index >= ply->wlength;
    }
    bool instance_done = false;
    if (property_done) {
        instance_done = is_last_property(ply);
        ply->wlength = -1;
        ply->wvalue_index = 0;
        if (instance_done) {
            ply->wproperty = 0;
            if (++ply->winstance_index >= element.ninstances) {
                ply->winstance_index = 0;
                ++ply->welement;
                skip_empty_elements(ply);
            }
        } else {
            ++ply->wproperty;
        }
    }
    if (ply->storage_mode == PLY_ASCII && std::fputc(instance_done ? '\n' : ' ', ply->fp) == EOF)
        return 0;
    return 1;
}

int ply_close(p_ply ply)
{
    if (ply == nullptr)
        return 0;
    if (ply->io_mode == PLY_WRITE && ply->buffer_last > 0 &&
        std::fwrite(ply->buffer.data(), 1, ply->buffer_last, ply->fp) != ply->buffer_last) {
        ply_error(ply.get(), "Error closing up");
        return 0;
    }
    return 1;
}
