// A growable array of fixed-size plain records, the CPU-side store of the
// package's vertex and index buffers, and the buffer protocol over it.
//
// The records are stored contiguously in exactly their uploaded layout, so
// one glBufferData call takes them without conversion. Buffer views exported
// over the records are counted: while any is alive the array refuses to grow
// (BufferError), so a view can never point at freed storage. The exporting
// object is the owner of the array; a memoryview holds a reference to it, so
// the storage also outlives every view.
#pragma once

#include "frame/frame.hpp"

#include <cstddef>

namespace frame {

struct RecordArray {
    char* begin;         // first record; null while nothing was ever stored
    char* end;           // one past the last record
    char* capacity;      // one past the allocated storage
    Py_ssize_t exports;  // buffer views currently exported over the records
    // Shape and stride handed to exported views. The array cannot change
    // while views exist, so every live view shares these two values.
    Py_ssize_t view_shape;
    Py_ssize_t view_stride;
};

// Number of records of `record_size` bytes held.
inline Py_ssize_t record_count(const RecordArray& a, size_t record_size) {
    return a.begin ? static_cast<Py_ssize_t>(static_cast<size_t>(a.end - a.begin) / record_size)
                   : 0;
}

// Records the storage has room for without growing.
inline Py_ssize_t record_capacity(const RecordArray& a, size_t record_size) {
    return a.begin ? static_cast<Py_ssize_t>(static_cast<size_t>(a.capacity - a.begin) / record_size)
                   : 0;
}

// Bytes held.
inline size_t record_bytes(const RecordArray& a) {
    return a.begin ? static_cast<size_t>(a.end - a.begin) : 0;
}

// Append one record (a copy of `record_size` bytes). Fails, leaving the
// array as it was, with BufferError while views are exported, OverflowError
// when the array already holds `max_count` records, MemoryError when the
// storage cannot grow. Returns 0 or -1.
int record_append(RecordArray* a, const void* record, size_t record_size, Py_ssize_t max_count);

// Free the storage (the owner's deallocation; no views can be alive then).
void record_free(RecordArray* a);

// bf_getbuffer over the array: a one-dimensional, writable, C-contiguous
// view of items of `item_size` bytes described by the struct `format` ("f",
// "I"), the whole array in place. `owner` is the exporting object.
int record_get_buffer(PyObject* owner, RecordArray* a, Py_buffer* view, int flags,
                      const char* format, Py_ssize_t item_size);
// bf_releasebuffer counterpart.
void record_release_buffer(RecordArray* a, Py_buffer* view);

// A memoryview over `owner` (which exports the array through the two
// functions above). ValueError `empty_message` when the array is empty.
PyObject* record_memoryview(PyObject* owner, const RecordArray& a, const char* empty_message);

}  // namespace frame
