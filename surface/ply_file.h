// PLY files: a text header ("ply", "format", "comment", "obj_info", "element", "property",
// "end_header") followed by element data stored as ASCII text or as binary values in big- or
// little-endian order.
//
// A handle is opened on a stream that the caller has opened and keeps: reading describes the
// elements from the header and hands every value to per-property callbacks; writing declares
// elements and properties, writes the header and then takes the values one by one in
// declaration order. Every failure is a zero result (or no handle) after the error callback has
// been given the message; without a callback the failure is silent.
//
// Limits that shape the files of the whole program: a comment or obj_info line holds at most
// 4,095 characters, a header word at most 255, and data pass through one 65,536-byte buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

constexpr std::size_t ply_line_size = 4096;    // a header line holds up to 4,095 characters
constexpr std::size_t ply_word_size = 256;     // a header word holds up to 255 characters
constexpr std::size_t ply_buffer_size = 65536; // the one data buffer

// Property types; the code is the position in the header vocabulary. Codes 8 to 15 are aliases
// of codes 0 to 7.
enum e_ply_type : int {
    PLY_INT8,
    PLY_UINT8,
    PLY_INT16,
    PLY_UINT16,
    PLY_INT32,
    PLY_UINT32,
    PLY_FLOAT32,
    PLY_FLOAT64,
    PLY_CHAR,
    PLY_UCHAR,
    PLY_SHORT,
    PLY_USHORT,
    PLY_INT,
    PLY_UINT,
    PLY_FLOAT,
    PLY_DOUBLE,
    PLY_LIST
};

enum e_ply_storage_mode : int { PLY_BIG_ENDIAN, PLY_LITTLE_ENDIAN, PLY_ASCII, PLY_DEFAULT };

enum e_ply_io_mode : int { PLY_READ, PLY_WRITE };

struct t_ply_;
struct t_ply_argument_;
struct PlyDriver;

using p_ply_argument = t_ply_argument_*;
// Returns non-zero to go on reading, 0 to stop the read ("Aborted by user").
using p_ply_read_cb = int (*)(p_ply_argument argument);
// Receives the handle (none when no handle was made) and the message.
using p_ply_error_cb = void (*)(const t_ply_* ply, const char* message);

struct t_ply_property_ {
    std::string name;
    e_ply_type type = PLY_LIST;
    int value_type = -1;  // list properties only; -1 until set
    int length_type = -1; // list properties only; -1 until set
    p_ply_read_cb read_cb = nullptr;
    void* pdata = nullptr;
    long idata = 0;
};
using p_ply_property = const t_ply_property_*;

struct t_ply_element_ {
    std::string name;
    std::int64_t ninstances = 0;
    std::vector<t_ply_property_> properties; // in declaration order
};
using p_ply_element = const t_ply_element_*;

// What a read callback is told about the value in hand.
struct t_ply_argument_ {
    p_ply_element element = nullptr;
    std::int64_t instance_index = 0;
    p_ply_property property = nullptr;
    std::int64_t length = 0;      // list length (1 for a scalar)
    std::int64_t value_index = 0; // -1 for the call that announces a list's length
    double value = 0.0;
    void* pdata = nullptr;
    long idata = 0;
};

struct t_ply_ {
    e_ply_io_mode io_mode = PLY_READ;
    e_ply_storage_mode storage_mode = PLY_LITTLE_ENDIAN;
    std::vector<t_ply_element_> elements; // in header order
    std::vector<std::string> comments;    // in header order, without the word "comment"
    std::vector<std::string> obj_infos;
    std::FILE* fp = nullptr;      // the caller's stream; never closed here
    bool rn = false;              // the first line ended with a carriage return and a line feed
    std::vector<char> buffer;     // ply_buffer_size bytes of data and a terminating zero byte
    std::size_t buffer_first = 0; // first unread byte
    std::size_t buffer_token = 0; // start of the current word or line
    std::size_t buffer_last = 0;  // end of valid data
    const PlyDriver* idriver = nullptr;
    const PlyDriver* odriver = nullptr;
    t_ply_argument_ argument;
    // Write cursor: the element, property, instance and list entry the next value belongs to;
    // wlength is -1 while a list's length is still to come.
    std::size_t welement = 0;
    std::size_t wproperty = 0;
    std::int64_t winstance_index = 0;
    std::int64_t wvalue_index = 0;
    std::int64_t wlength = -1;
    std::size_t next_comment = 0; // where ply_get_next_comment expects to go on
    p_ply_error_cb error_cb = nullptr;
    void* pdata = nullptr;
    long idata = 0;
};

struct PlyHandleDeleter {
    void operator()(t_ply_* ply) const;
};
// The handle. Dropping it releases everything without flushing; ply_close flushes first.
using p_ply = std::unique_ptr<t_ply_, PlyHandleDeleter>;

// The header words of the types and the storage modes, as the header writes them.
const char* ply_type_word(int type);
const char* ply_storage_word(e_ply_storage_mode mode);

// Reading.
// A reading handle on an open stream; no bytes are read yet. No handle without a stream.
p_ply ply_open_from_file(std::FILE* fp, p_ply_error_cb error_cb, long idata, void* pdata);
// Reads and checks the whole header and selects the input driver; 1 or 0.
int ply_read_header(t_ply_* ply);
// The first comment (previous none), the next one, or none after the last; in header order.
const char* ply_get_next_comment(t_ply_* ply, const char* previous);
// Registers the read callback of a property; returns the element's instance count, or 0 (and
// registers nothing) when the element or the property is not declared. A second registration
// replaces the first.
std::int64_t ply_set_read_cb(t_ply_* ply, const char* element_name, const char* property_name,
                             p_ply_read_cb read_cb, void* pdata, long idata);
// Reads all element data in header order and calls the callbacks. For a scalar the callback
// runs once per instance (length 1, value index 0); for a list first with value index -1 and
// the length as both length and value, then once per entry with value index 0, 1, ...
int ply_read(t_ply_* ply);

// The first element of the header of that name, or none.
const t_ply_element_* ply_element(const t_ply_* ply, const char* name);

// Binary element data as stored, for a reader that takes whole blocks of fixed-size records
// rather than one value per callback: the next size bytes after what has been read (the
// header, or earlier bytes), in file order and byte order. Returns 1, or 0 when the stream
// ends first (or the handle reads ASCII), after which the handle's position is undefined.
int ply_read_bytes(t_ply_* ply, void* bytes, std::size_t size);

// Inside a read callback; every output may be null. Defined here, since the callbacks run once
// per value and each would otherwise pay a call for every item it asks for.
inline int ply_get_argument_element(p_ply_argument argument, p_ply_element* element,
                                    std::int64_t* instance_index)
{
    if (argument == nullptr)
        return 0;
    if (element != nullptr)
        *element = argument->element;
    if (instance_index != nullptr)
        *instance_index = argument->instance_index;
    return 1;
}

inline int ply_get_argument_property(p_ply_argument argument, p_ply_property* property,
                                     std::int64_t* length, std::int64_t* value_index)
{
    if (argument == nullptr)
        return 0;
    if (property != nullptr)
        *property = argument->property;
    if (length != nullptr)
        *length = argument->length;
    if (value_index != nullptr)
        *value_index = argument->value_index;
    return 1;
}

inline int ply_get_argument_user_data(p_ply_argument argument, void** pdata, long* idata)
{
    if (argument == nullptr)
        return 0;
    if (pdata != nullptr)
        *pdata = argument->pdata;
    if (idata != nullptr)
        *idata = argument->idata;
    return 1;
}

inline double ply_get_argument_value(p_ply_argument argument)
{
    return argument == nullptr ? 0.0 : argument->value;
}

// Writing.
// A writing handle on an open stream; PLY_DEFAULT means little endian.
p_ply ply_create_to_file(std::FILE* fp, e_ply_storage_mode storage_mode, p_ply_error_cb error_cb,
                         long idata, void* pdata);
// Comments and obj_info lines are written in the order added. Texts of 4,096 or more
// characters, and texts holding a line feed (which would split the header line), are refused
// with 0 and nothing is stored.
int ply_add_comment(t_ply_* ply, const char* comment);
int ply_add_obj_info(t_ply_* ply, const char* obj_info);
// Declares an element; its properties follow, each added to the element declared last.
int ply_add_element(t_ply_* ply, const char* name, std::int64_t ninstances);
int ply_add_scalar_property(t_ply_* ply, const char* name, e_ply_type type);
int ply_add_list_property(t_ply_* ply, const char* name, e_ply_type length_type,
                          e_ply_type value_type);
int ply_write_header(t_ply_* ply);
// One value, in declaration order: element by element, instance by instance, property by
// property; for a list first its length, then its entries. A value beyond the last declared
// one, or outside the range of its type, is refused with 0.
int ply_write(t_ply_* ply, double value);

// Flushes what a writing handle has buffered, then releases the handle; the stream stays open.
int ply_close(p_ply ply);
