#include "record_array.hpp"

#include <cstring>

namespace frame {

int record_append(RecordArray* a, const void* record, size_t record_size, Py_ssize_t max_count) {
    if (FRAME_UNLIKELY(a->exports > 0)) {
        PyErr_SetString(PyExc_BufferError, "Existing exports of data: object cannot be re-sized");
        return -1;
    }
    Py_ssize_t count = record_count(*a, record_size);
    if (FRAME_UNLIKELY(count >= max_count)) {
        PyErr_Format(PyExc_OverflowError, "cannot hold more than %zd records", max_count);
        return -1;
    }
    if (a->end == a->capacity) {
        // Double the capacity (at least 16 records), in bytes that fit a
        // Py_ssize_t: PyMem_Realloc takes a size_t but the buffer protocol
        // reports lengths as Py_ssize_t.
        size_t held = static_cast<size_t>(a->capacity - a->begin);
        size_t limit = static_cast<size_t>(PY_SSIZE_T_MAX) / record_size * record_size;
        size_t want = held ? held * 2 : 16 * record_size;
        if (want > limit || want < held) want = limit;
        if (want <= held) {
            PyErr_NoMemory();
            return -1;
        }
        char* p = static_cast<char*>(PyMem_Realloc(a->begin, want));
        if (FRAME_UNLIKELY(!p)) {
            PyErr_NoMemory();
            return -1;
        }
        a->end = p + (a->end - a->begin);
        a->begin = p;
        a->capacity = p + want;
    }
    std::memcpy(a->end, record, record_size);
    a->end += record_size;
    return 0;
}

void record_free(RecordArray* a) {
    PyMem_Free(a->begin);
    a->begin = a->end = a->capacity = nullptr;
}

int record_get_buffer(PyObject* owner, RecordArray* a, Py_buffer* view, int flags,
                      const char* format, Py_ssize_t item_size) {
    // The array's own storage, or a harmless non-null address when empty.
    static char empty[8];
    void* data = a->begin ? a->begin : empty;
    Py_ssize_t len = static_cast<Py_ssize_t>(record_bytes(*a));
    if (PyBuffer_FillInfo(view, owner, data, len, 0, flags) < 0) return -1;
    view->itemsize = item_size;
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>(format) : nullptr;
    // Shape and strides point into the array, not into the view: consumers
    // may copy a Py_buffer by value.
    a->view_shape = len / item_size;
    a->view_stride = item_size;
    if (flags & PyBUF_ND) view->shape = &a->view_shape;
    if ((flags & PyBUF_STRIDES) == PyBUF_STRIDES) view->strides = &a->view_stride;
    a->exports += 1;
    return 0;
}

void record_release_buffer(RecordArray* a, Py_buffer*) { a->exports -= 1; }

PyObject* record_memoryview(PyObject* owner, const RecordArray& a, const char* empty_message) {
    if (record_bytes(a) == 0) {
        PyErr_SetString(PyExc_ValueError, empty_message);
        return nullptr;
    }
    return PyMemoryView_FromObject(owner);
}

}  // namespace frame
