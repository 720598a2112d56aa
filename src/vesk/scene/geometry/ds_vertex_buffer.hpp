// The common shape of the double-single vertex buffers (ConeVertexBuffer,
// CappedSphereVertexBuffer, FrustumVertexBuffer): a VertexBuffer subclass
// that keeps its records, in exactly the uploaded layout, in one contiguous
// frame::RecordArray and uploads them with one glBufferData call.
//
// Header-only; a module includes it from its one .cpp and instantiates
// DsVertexBuffer<Traits> once per class. Only the record type and its field
// description differ between the classes.
//
// Instance layout (the module's .hpp publishes it under its class name):
//
//     struct ConeVertexBuffer {                      // = Object<ConeVertex>
//         vesk::vertex_buffer::VertexBuffer base;    // head, vtab, _gl_id, _owned
//         frame::RecordArray _vertices;              // the records, in order
//     };
//
// Method tables (entries 0 and 1 are VertexBuffer's bind/unbind, copied):
//
//     PositionVtab<Object>       2 buffer_data, 3 add(PyObject* position),
//                                4 get_stride_size          (cone, frustum)
//     RecordVtab<Object, Record> 2 buffer_data, 3 add(Record) (table only),
//                                4 get_stride_size, 5 get_last_index (dome)
//
// Traits, supplied by the module:
//
//     struct ConeTraits {
//         using Record = ConeVertex;                 // plain floats only
//         using Vtab = PositionVtab<Object<ConeVertex>>;   // or RecordVtab<...>
//         static constexpr const char* kDotted = "vesk.scene.geometry.sensor_sector_mesh.ConeVertexBuffer";
//         static constexpr const char* kName = "ConeVertexBuffer";
//         static constexpr const char* kFile = "vesk\\scene\\geometry\\sensor_sector_mesh.cpp";
//         static constexpr const char* kDoc = "...";
//         static constexpr const Field* kFields = kConeVertexFields;  // record description
//         static constexpr int kFieldCount = 1;
//         static constexpr Py_ssize_t kMaxRecords = ...;  // append refuses beyond (OverflowError)
//     };
//     using ConeBuffer = DsVertexBuffer<ConeTraits>;
//
// In the module's register_classes step: ConeBuffer::register_class(module)
// (imports VertexBuffer with the size check, and linvec's Vector3 and
// ds_math for a PositionVtab class, then registers the class with its
// methods, properties, buffer protocol and pickling). Afterwards
// ConeBuffer::type is the class, ConeBuffer::vtab its method table.
//
// What the class offers (names as Python sees them):
//     buffer_data()      bind (entry 0, skip 0); glBufferData(GL_ARRAY_BUFFER,
//                        count * sizeof(Record), records or null,
//                        GL_STATIC_DRAW); unbind (entry 1, skip 0)
//     add(position)      PositionVtab only: to_double_single3(position)
//                        becomes the record's leading `_position`
//     get_stride_size()  sizeof(Record)
//     get_last_index()   RecordVtab only: count - 1 (-1 when empty)
//     vertices           list of dicts, one per record, by the description
//     raw                writable memoryview of 32-bit floats over the records
//                        in place; ValueError when empty. While any view is
//                        alive the array refuses to grow (BufferError), so a
//                        view never points at freed storage
//     _capacity          records the storage holds room for
//     pickling           state (_gl_id, _vertices), checksum 0xd66f295,
//                        unpickle_<Class> in the module
//
// C++-level fast path for the meshes (no Python objects per record):
//     ConeBuffer::reserve(obj, n)     capacity of exactly n records unless
//                                     already larger (0 / -1)
//     ConeBuffer::extend(obj, n)      n uninitialised records appended at the
//                                     end (capacity grown exactly); returns
//                                     their address, or nullptr with
//                                     BufferError/OverflowError/MemoryError
//                                     and the array unchanged
//     ConeBuffer::append(obj, rec)    one record, 0 / -1 (grows by doubling)
//     ConeBuffer::count(obj), ConeBuffer::records(obj)
// and, for any frame::RecordArray (an index buffer's `_indices` too):
//     reserve_records(array, record_size, n)
// and the Vector3 argument check (None refused) that add and the meshes use:
//     require_vector3(o, argname)
//
// What the meshes share beyond their buffers is in mesh_common.hpp.
#pragma once

#include "frame/frame.hpp"
#include "frame/override_call.hpp"
#include "frame/record_array.hpp"
#include "glsupport/glsupport.hpp"
#include "linvec/ds_math.hpp"
#include "linvec/vector3.hpp"
#include "vesk/opengl/buffers/vertex_buffer.hpp"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace vesk::ds_vertex_buffer {

// ---------------------------------------------------------------- record descriptions

// One named member of a record: a 32-bit float leaf (sub == nullptr) or a
// nested record described by `sub[0..nsub)`. Offsets are in bytes from the
// start of the enclosing record.
struct Field {
    const char* name;
    size_t offset;
    const Field* sub;
    int nsub;
};

inline constexpr Field kFloat2Fields[] = {
    {"x", 0, nullptr, 0},
    {"y", 4, nullptr, 0},
};
inline constexpr Field kFloat3Fields[] = {
    {"x", 0, nullptr, 0},
    {"y", 4, nullptr, 0},
    {"z", 8, nullptr, 0},
};
// linvec double_single3 = {hi: float3, lo: float3}
inline constexpr Field kDoubleSingle3Fields[] = {
    {"hi", 0, kFloat3Fields, 3},
    {"lo", 12, kFloat3Fields, 3},
};

// ---------------------------------------------------------------- layouts and tables

template <class Record>
struct Object {
    vertex_buffer::VertexBuffer base;
    frame::RecordArray _vertices;
};

template <class Obj>
struct PositionVtab {
    vertex_buffer::VertexBufferVtab base;                           // 0, 1
    PyObject* (*buffer_data)(Obj* self, int skip);                  // 2
    PyObject* (*add)(Obj* self, PyObject* position, int skip);      // 3
    PyObject* (*get_stride_size)(Obj* self, int skip);              // 4
};

template <class Obj, class Record>
struct RecordVtab {
    vertex_buffer::VertexBufferVtab base;                           // 0, 1
    PyObject* (*buffer_data)(Obj* self, int skip);                  // 2
    PyObject* (*add)(Obj* self, Record vertex);                     // 3, table only
    PyObject* (*get_stride_size)(Obj* self, int skip);              // 4
    // 5: the index of the last record; -1 when empty. Never raises: an
    // error (in a Python override) is reported as unraisable and -1 returned.
    int32_t (*get_last_index)(Obj* self, int skip);
};

inline constexpr uint32_t kChecksum = 0xd66f295;
inline constexpr const char* kChecksumText = "0xd66f295 = (_gl_id, _vertices)";

// ---------------------------------------------------------------- argument check

// The declared-class check of a Vector3 argument, refusing None as well: a
// vertex needs a real position. TypeError "Argument '<argname>' has
// incorrect type (expected linvec.vector3.Vector3, got <class>)".
inline bool require_vector3(PyObject* o, const char* argname) {
    return frame::require_arg_type(o ? o : Py_None, linvec::vector3::api.type, argname);
}

// ---------------------------------------------------------------- storage helpers

// Grow `a` to hold exactly `n` records of `record_size` bytes unless it
// already holds room for them. Moving storage under an exported view would
// free memory the view reads, so any growth is refused while views exist.
inline int reserve_records(frame::RecordArray* a, size_t record_size, Py_ssize_t n) {
    size_t held = static_cast<size_t>(a->capacity - a->begin);
    if (n <= 0 || static_cast<size_t>(n) <= held / record_size) return 0;
    if (FRAME_UNLIKELY(a->exports > 0)) {
        PyErr_SetString(PyExc_BufferError, "Existing exports of data: object cannot be re-sized");
        return -1;
    }
    if (FRAME_UNLIKELY(static_cast<size_t>(n) > static_cast<size_t>(PY_SSIZE_T_MAX) / record_size)) {
        PyErr_NoMemory();
        return -1;
    }
    size_t want = static_cast<size_t>(n) * record_size;
    size_t used = static_cast<size_t>(a->end - a->begin);
    char* p = static_cast<char*>(PyMem_Realloc(a->begin, want));
    if (FRAME_UNLIKELY(!p)) {
        PyErr_NoMemory();
        return -1;
    }
    a->begin = p;
    a->end = p + used;
    a->capacity = p + want;
    return 0;
}

// ---------------------------------------------------------------- the template

template <class Traits>
struct DsVertexBuffer {
    using Record = typename Traits::Record;
    using Obj = Object<Record>;
    using Vtab = typename Traits::Vtab;
    static constexpr bool kPositionAdd = std::is_same_v<Vtab, PositionVtab<Obj>>;
    static constexpr bool kRecordAdd = std::is_same_v<Vtab, RecordVtab<Obj, Record>>;
    static_assert(kPositionAdd || kRecordAdd, "Vtab is PositionVtab<Obj> or RecordVtab<Obj, Record>");
    static_assert(std::is_trivially_copyable_v<Record> && sizeof(Record) % sizeof(float) == 0,
                  "records are plain 32-bit floats");
    static constexpr Py_ssize_t kFloats = sizeof(Record) / sizeof(float);

    inline static PyTypeObject type;
    inline static Vtab vtab;
    inline static PyTypeObject* base_type = nullptr;  // VertexBuffer

    static Obj* cast(PyObject* o) { return reinterpret_cast<Obj*>(o); }

    // ------------------------------------------------------------ C++-level storage

    static Py_ssize_t count(const Obj* self) { return frame::record_count(self->_vertices, sizeof(Record)); }
    static Record* records(Obj* self) { return reinterpret_cast<Record*>(self->_vertices.begin); }
    static Py_ssize_t capacity(const Obj* self) {
        return static_cast<Py_ssize_t>(static_cast<size_t>(self->_vertices.capacity -
                                                           self->_vertices.begin) /
                                       sizeof(Record));
    }

    static int reserve(Obj* self, Py_ssize_t n) {
        return reserve_records(&self->_vertices, sizeof(Record), n);
    }

    static int append(Obj* self, const Record& r) {
        return frame::record_append(&self->_vertices, &r, sizeof(Record), Traits::kMaxRecords);
    }

    static Record* extend(Obj* self, Py_ssize_t n) {
        frame::RecordArray* a = &self->_vertices;
        if (FRAME_UNLIKELY(a->exports > 0)) {
            PyErr_SetString(PyExc_BufferError, "Existing exports of data: object cannot be re-sized");
            return nullptr;
        }
        Py_ssize_t have = count(self);
        if (FRAME_UNLIKELY(n < 0 || n > Traits::kMaxRecords - have)) {
            PyErr_Format(PyExc_OverflowError, "cannot hold more than %zd records", Traits::kMaxRecords);
            return nullptr;
        }
        if (reserve(self, have + n) < 0) return nullptr;
        Record* out = reinterpret_cast<Record*>(a->end);
        a->end += static_cast<size_t>(n) * sizeof(Record);
        return out;
    }

    // ------------------------------------------------------------ names

    struct Names {
        std::string buffer_data, add, get_stride_size, get_last_index, vertices, raw, cinit;
        std::string doc_buffer_data, doc_add, doc_get_stride_size, doc_get_last_index;
    };
    inline static Names names;
    inline static PyObject* s_buffer_data = nullptr;
    inline static PyObject* s_add = nullptr;
    inline static PyObject* s_get_stride_size = nullptr;
    inline static PyObject* s_get_last_index = nullptr;

    static frame::Where where(const std::string& n) { return frame::Where{n.c_str(), Traits::kFile}; }

    // ------------------------------------------------------------ methods

    static PyObject* py_buffer_data(PyObject* self, PyObject*) { return buffer_data(cast(self), 1); }
    static PyObject* py_get_stride_size(PyObject* self, PyObject*) {
        return get_stride_size(cast(self), 1);
    }

    static PyObject* buffer_data(Obj* self, int skip) {
        const frame::Where here = where(names.buffer_data);
        frame::Ref r;
        if (!skip && frame::call_override((PyObject*)self, s_buffer_data, py_buffer_data, &r))
            return r ? r.release() : FRAME_FAIL(here, nullptr);
        r = frame::Ref::steal(self->base.vtab->bind(&self->base, 0));
        if (!r) return FRAME_FAIL(here, nullptr);
        size_t bytes = frame::record_bytes(self->_vertices);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes),
                     bytes ? self->_vertices.begin : nullptr, GL_STATIC_DRAW);
        r = frame::Ref::steal(self->base.vtab->unbind(&self->base, 0));
        if (!r) return FRAME_FAIL(here, nullptr);
        return frame::none();
    }

    static PyObject* get_stride_size(Obj* self, int skip) {
        const frame::Where here = where(names.get_stride_size);
        frame::Ref r;
        if (!skip && frame::call_override((PyObject*)self, s_get_stride_size, py_get_stride_size, &r))
            return r ? r.release() : FRAME_FAIL(here, nullptr);
        return PyLong_FromSsize_t(static_cast<Py_ssize_t>(sizeof(Record)));
    }

    // add(position): PositionVtab classes.
    static PyObject* py_add(PyObject* self, PyObject* position) {
        if (!require_vector3(position, "position")) return FRAME_FAIL(where(names.add), nullptr);
        return add_position(cast(self), position, 1);
    }

    static PyObject* add_position(Obj* self, PyObject* position, int skip) {
        const frame::Where here = where(names.add);
        frame::Ref r;
        if (!skip && frame::call_override((PyObject*)self, s_add, py_add, &r, {position}))
            return r ? r.release() : FRAME_FAIL(here, nullptr);
        if (!require_vector3(position, "position")) return FRAME_FAIL(here, nullptr);
        Record rec{};
        rec._position = linvec::ds_math::to_double_single3(reinterpret_cast<linvec::vector3::Vector3*>(position));
        if (append(self, rec) < 0) return FRAME_FAIL(here, nullptr);
        return frame::none();
    }

    // add(vertex): RecordVtab classes, table only.
    static PyObject* add_record(Obj* self, Record vertex) {
        const frame::Where here = where(names.add);
        if (append(self, vertex) < 0) return FRAME_FAIL(here, nullptr);
        return frame::none();
    }

    static PyObject* py_get_last_index(PyObject* self, PyObject*) {
        return PyLong_FromLong(last_index_body(cast(self)));
    }
    static int32_t last_index_body(Obj* self) { return static_cast<int32_t>(count(self) - 1); }
    static int32_t get_last_index(Obj* self, int skip) {
        const frame::Where here = where(names.get_last_index);
        frame::Ref r;
        if (!skip && frame::call_override((PyObject*)self, s_get_last_index, py_get_last_index, &r)) {
            int32_t v;
            if (r && frame::to_int32(r.get(), &v)) return v;
            frame::add_traceback(here, __LINE__);
            frame::write_unraisable(here.name);
            return -1;
        }
        return last_index_body(self);
    }

    // ------------------------------------------------------------ record <-> Python

    // One dict for the record (or nested record) at `base`.
    static PyObject* to_dict(const char* base, const Field* fields, int n) {
        frame::Ref d = frame::Ref::steal(PyDict_New());
        if (!d) return nullptr;
        for (int i = 0; i < n; ++i) {
            const Field& f = fields[i];
            frame::Ref v;
            if (f.sub) {
                v = frame::Ref::steal(to_dict(base + f.offset, f.sub, f.nsub));
            } else {
                float x;
                std::memcpy(&x, base + f.offset, sizeof x);
                v = frame::Ref::steal(PyFloat_FromDouble(x));
            }
            PyObject* key = frame::intern(f.name);
            if (!v || !key || PyDict_SetItem(d.get(), key, v.get()) < 0) return nullptr;
        }
        return d.release();
    }

    static PyObject* vertices_list(Obj* self) {
        Py_ssize_t n = count(self);
        frame::Ref list = frame::Ref::steal(PyList_New(n));
        if (!list) return nullptr;
        const char* p = self->_vertices.begin;
        for (Py_ssize_t i = 0; i < n; ++i, p += sizeof(Record)) {
            PyObject* d = to_dict(p, Traits::kFields, Traits::kFieldCount);
            if (!d) return nullptr;
            PyList_SET_ITEM(list.get(), i, d);
        }
        return list.release();
    }

    // A mapping in the sense of collections.abc.Mapping; sequences (which
    // also subscript) are not.
    static int is_mapping(PyObject* o) {
        if (PyDict_Check(o)) return 1;
        static PyObject* mapping_abc = nullptr;
        if (!mapping_abc) {
            frame::Ref m = frame::Ref::steal(PyImport_ImportModule("collections.abc"));
            if (!m) return -1;
            mapping_abc = PyObject_GetAttrString(m.get(), "Mapping");
            if (!mapping_abc) return -1;
        }
        return PyObject_IsInstance(o, mapping_abc);
    }

    // Fill the record (or nested record) at `base` from mapping `o`.
    static int from_mapping(PyObject* o, char* base, const Field* fields, int n) {
        int m = is_mapping(o);
        if (m < 0) return -1;
        if (!m) {
            PyErr_Format(PyExc_TypeError, "Expected %.16s, got %.200s", "a mapping", Py_TYPE(o)->tp_name);
            return -1;
        }
        for (int i = 0; i < n; ++i) {
            const Field& f = fields[i];
            PyObject* key = frame::intern(f.name);
            if (!key) return -1;
            frame::Ref v;
            if (PyDict_Check(o)) {
                v = frame::Ref::new_ref(PyDict_GetItemWithError(o, key));
                if (!v && PyErr_Occurred()) return -1;
            } else {
                v = frame::Ref::steal(PyObject_GetItem(o, key));
                if (!v) {
                    if (!PyErr_ExceptionMatches(PyExc_KeyError)) return -1;
                    PyErr_Clear();
                }
            }
            if (!v) {
                PyErr_Format(PyExc_ValueError, "No value specified for struct attribute '%s'", f.name);
                return -1;
            }
            if (f.sub) {
                if (from_mapping(v.get(), base + f.offset, f.sub, f.nsub) < 0) return -1;
            } else {
                float x;
                if (!frame::to_float(v.get(), &x)) return -1;
                std::memcpy(base + f.offset, &x, sizeof x);
            }
        }
        return 0;
    }

    // ------------------------------------------------------------ pickling state

    static PyObject* state_gl_id(PyObject* o) { return PyLong_FromUnsignedLong(cast(o)->base._gl_id); }
    static int restore_gl_id(PyObject* o, PyObject* v) {
        uint32_t id;
        if (!frame::to_gluint(v, &id)) return -1;
        // Only `_gl_id` changes: the name generated at allocation stays in
        // `_owned` and is deleted with the object; the restored name is
        // bound and uploaded to but never deleted by this object.
        cast(o)->base._gl_id = id;
        return 0;
    }
    static PyObject* state_vertices(PyObject* o) { return vertices_list(cast(o)); }
    static int restore_vertices(PyObject* o, PyObject* v) {
        Obj* self = cast(o);
        if (self->_vertices.exports > 0) {
            PyErr_SetString(PyExc_BufferError, "Existing exports of data: object cannot be re-sized");
            return -1;
        }
        frame::Ref seq = frame::Ref::steal(PySequence_Fast(v, "_vertices must be iterable"));
        if (!seq) return -1;
        Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
        if (n > Traits::kMaxRecords) {
            PyErr_Format(PyExc_OverflowError, "cannot hold more than %zd records", Traits::kMaxRecords);
            return -1;
        }
        // Built aside and swapped in whole: a bad item leaves the buffer as it was.
        frame::RecordArray fresh{};
        if (reserve_records(&fresh, sizeof(Record), n) < 0) return -1;
        for (Py_ssize_t i = 0; i < n; ++i) {
            Record rec{};
            if (from_mapping(PySequence_Fast_GET_ITEM(seq.get(), i), reinterpret_cast<char*>(&rec),
                             Traits::kFields, Traits::kFieldCount) < 0) {
                frame::record_free(&fresh);
                return -1;
            }
            std::memcpy(fresh.end, &rec, sizeof rec);
            fresh.end += sizeof rec;
        }
        frame::record_free(&self->_vertices);
        self->_vertices = fresh;
        return 0;
    }

    inline static const frame::StateField state_fields[] = {
        {"_gl_id", state_gl_id, restore_gl_id},
        {"_vertices", state_vertices, restore_vertices},
    };

    // ------------------------------------------------------------ properties

    static PyObject* get_vertices(PyObject* o, void*) {
        PyObject* r = vertices_list(cast(o));
        return r ? r : FRAME_FAIL(where(names.vertices), nullptr);
    }

    static PyObject* get_raw(PyObject* o, void*) {
        PyObject* r = frame::record_memoryview(o, cast(o)->_vertices, "the buffer holds no vertices");
        return r ? r : FRAME_FAIL(where(names.raw), nullptr);
    }

    static PyObject* get_capacity(PyObject* o, void*) { return PyLong_FromSsize_t(capacity(cast(o))); }

    static int bf_getbuffer(PyObject* o, Py_buffer* view, int flags) {
        return frame::record_get_buffer(o, &cast(o)->_vertices, view, flags, "f", sizeof(float));
    }
    static void bf_releasebuffer(PyObject* o, Py_buffer* view) {
        frame::record_release_buffer(&cast(o)->_vertices, view);
    }

    // ------------------------------------------------------------ allocation

    // The base's allocation step first (GL name generated, zero-filled
    // instance of t's size), then this class's table; `_vertices` starts
    // empty (all pointers null).
    static PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
        PyObject* o = base_type->tp_new(t, args, kwds);
        if (!o) return FRAME_FAIL(where(names.cinit), nullptr);
        cast(o)->base.vtab = &vtab.base;
        return o;
    }

    static void tp_dealloc(PyObject* o) {
        frame::record_free(&cast(o)->_vertices);
        base_type->tp_dealloc(o);
    }

    // ------------------------------------------------------------ registration

    inline static PyMethodDef methods[5];
    inline static PyGetSetDef getset[4];
    inline static PyBufferProcs as_buffer;

    static int register_class(PyObject* module) {
        const std::string dotted = Traits::kDotted;
        const std::string name = Traits::kName;
        names.buffer_data = dotted + ".buffer_data";
        names.add = dotted + ".add";
        names.get_stride_size = dotted + ".get_stride_size";
        names.get_last_index = dotted + ".get_last_index";
        names.vertices = dotted + ".vertices.__get__";
        names.raw = dotted + ".raw.__get__";
        names.cinit = dotted + ".__cinit__";
        names.doc_buffer_data = name + ".buffer_data(self)";
        names.doc_add = name + ".add(self, Vector3 position)";
        names.doc_get_stride_size = name + ".get_stride_size(self)";
        names.doc_get_last_index = name + ".get_last_index(self)";

        s_buffer_data = frame::intern("buffer_data");
        s_add = frame::intern("add");
        s_get_stride_size = frame::intern("get_stride_size");
        s_get_last_index = frame::intern("get_last_index");
        if (!s_buffer_data || !s_add || !s_get_stride_size || !s_get_last_index) return -1;

        if (!base_type) {
            base_type = frame::import_class(vertex_buffer::kModule, vertex_buffer::kClass,
                                            sizeof(vertex_buffer::VertexBuffer), vertex_buffer::kHeader);
            if (!base_type) return -1;
        }
        void* base_vtab = frame::import_vtable(base_type);
        if (!base_vtab) return -1;
        vtab.base = *static_cast<vertex_buffer::VertexBufferVtab*>(base_vtab);
        vtab.buffer_data = buffer_data;
        vtab.get_stride_size = get_stride_size;

        int m = 0;
        methods[m++] = {"buffer_data", py_buffer_data, METH_NOARGS, names.doc_buffer_data.c_str()};
        if constexpr (kPositionAdd) {
            if (linvec::vector3::import_api() < 0 || linvec::ds_math::import_api() < 0) return -1;
            vtab.add = add_position;
            methods[m++] = {"add", py_add, METH_O, names.doc_add.c_str()};
        } else {
            vtab.add = add_record;
        }
        methods[m++] = {"get_stride_size", py_get_stride_size, METH_NOARGS,
                        names.doc_get_stride_size.c_str()};
        if constexpr (kRecordAdd) {
            vtab.get_last_index = get_last_index;
            methods[m++] = {"get_last_index", py_get_last_index, METH_NOARGS,
                            names.doc_get_last_index.c_str()};
        }
        methods[m] = {nullptr, nullptr, 0, nullptr};

        getset[0] = {"vertices", get_vertices, nullptr,
                     "A new list with one dict per vertex, in order.", nullptr};
        getset[1] = {"raw", get_raw, nullptr,
                     "A writable memoryview of 32-bit floats over the vertices in place.\n"
                     "The buffer cannot grow while a view is alive (BufferError).",
                     nullptr};
        getset[2] = {"_capacity", get_capacity, nullptr,
                     "Number of vertices the CPU-side storage has room for.", nullptr};
        getset[3] = {nullptr, nullptr, nullptr, nullptr, nullptr};

        as_buffer.bf_getbuffer = bf_getbuffer;
        as_buffer.bf_releasebuffer = bf_releasebuffer;

        frame::ClassSpec class_spec{};
        class_spec.type = &type;
        class_spec.dotted = Traits::kDotted;
        class_spec.short_name = Traits::kName;
        class_spec.basicsize = sizeof(Obj);
        class_spec.doc = Traits::kDoc;
        class_spec.base = base_type;
        class_spec.tp_new = tp_new;
        class_spec.tp_dealloc = tp_dealloc;
        class_spec.methods = methods;
        class_spec.getset = getset;
        class_spec.as_buffer = &as_buffer;
        class_spec.vtable = &vtab;
        class_spec.pickle = frame::Pickle::state;
        class_spec.pickle_spec.checksum = kChecksum;
        class_spec.pickle_spec.checksum_text = kChecksumText;
        class_spec.pickle_spec.fields = state_fields;
        class_spec.pickle_spec.nfields = 2;
        return frame::register_class(module, class_spec);
    }
};

}  // namespace vesk::ds_vertex_buffer
