// Double-single numbers: 64-bit values carried as a high and a low 32-bit
// float (hi = the value rounded to single precision, lo = the remainder
// rounded to single precision), for GPUs that compute in single precision.
// The module defines the record double_single3 and the classes
// DoubleSingle, Vector3ds, Vector4ds and Matrix4ds, and exports the C
// functions to_double_single3 and to_matrix4ds.
#include "linvec/ds_math.hpp"

#include <cstddef>
#include <string>

#include "linvec/detail/components.hpp"
#include "linvec/vector4.hpp"

namespace linvec::ds_math {
namespace {

constexpr const char* kFile = "linvec\\ds_math.cpp";
using math_structs::Float3;

int fail(const char* name, int line) {
    frame::add_traceback(frame::Where{name, kFile}, line);
    return -1;
}
PyObject* fail_null(const char* name, int line) {
    fail(name, line);
    return nullptr;
}

// The value stored into a field declared with a class; None cannot be stored.
bool check_store(PyObject* v, PyTypeObject* t) {
    if (v != Py_None && PyObject_TypeCheck(v, t)) return true;
    PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(v)->tp_name, t->tp_name);
    return false;
}

int no_delete(const char* name) {
    PyErr_SetString(PyExc_NotImplementedError, "__del__");
    return fail(name, __LINE__);
}

// ================================================================ double_single3

PyTypeObject ds3_type;
PyObject* ds3_arg_names[2];

DoubleSingle3* ds3(PyObject* o) { return reinterpret_cast<DoubleSingle3*>(o); }

PyObject* make_ds3(double_single3 v) {
    PyObject* o = ds3_type.tp_alloc(&ds3_type, 0);
    if (o) ds3(o)->v = v;
    return o;
}

// to_double_single3(v) for other modules: no error return.
double_single3 to_double_single3_c(vector3::Vector3* v) { return split3(v->x, v->y, v->z); }

// A float3 argument (None: zeros) into `out`.
bool read_float3(PyObject* o, const char* argname, math_structs::float3* out) {
    if (!frame::check_arg_type(o, math_structs::api.float3_type, argname)) return false;
    *out = o == Py_None ? math_structs::float3{0.0f, 0.0f, 0.0f} : reinterpret_cast<Float3*>(o)->v;
    return true;
}

// double_single3(hi=None, lo=None)
PyObject* ds3_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const char* const here = "linvec.ds_math.double_single3.__cinit__";
    PyObject* v[2];
    if (detail::parse_optional("__cinit__", args, kwds, ds3_arg_names, 2, v) < 0)
        return fail_null(here, __LINE__);
    double_single3 r{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    if ((v[0] && !read_float3(v[0], "hi", &r.hi)) || (v[1] && !read_float3(v[1], "lo", &r.lo)))
        return fail_null(here, __LINE__);
    PyObject* o = t->tp_alloc(t, 0);
    if (!o) return fail_null(here, __LINE__);
    ds3(o)->v = r;
    return o;
}

void plain_dealloc(PyObject* o) { Py_TYPE(o)->tp_free(o); }

// hi and lo read as new float3 objects (the record holds values, not objects).
PyObject* ds3_get(PyObject* o, void* closure) {
    return math_structs::make_float3(closure ? ds3(o)->v.lo : ds3(o)->v.hi);
}
int ds3_store(PyObject* o, PyObject* v, bool lo) {
    if (!check_store(v, math_structs::api.float3_type)) return -1;
    (lo ? ds3(o)->v.lo : ds3(o)->v.hi) = reinterpret_cast<Float3*>(v)->v;
    return 0;
}
int ds3_set(PyObject* o, PyObject* v, void* closure) {
    const char* name = closure ? "linvec.ds_math.double_single3.lo.__set__"
                               : "linvec.ds_math.double_single3.hi.__set__";
    if (!v) return no_delete(name);
    return ds3_store(o, v, closure != nullptr) < 0 ? fail(name, __LINE__) : 0;
}

PyGetSetDef ds3_getset[] = {
    {"hi", ds3_get, ds3_set, "The high part, a float3 (a copy).", nullptr},
    {"lo", ds3_get, ds3_set, "The low part, a float3 (a copy).", reinterpret_cast<void*>(1)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* ds3_to_vector3(PyObject* o, PyObject*) {
    const double_single3& d = ds3(o)->v;
    PyObject* r = vector3::make(double(d.hi.x) + d.lo.x, double(d.hi.y) + d.lo.y,
                                double(d.hi.z) + d.lo.z);
    return r ? r : fail_null("linvec.ds_math.double_single3.to_vector3", __LINE__);
}

PyMethodDef ds3_methods[] = {
    {"to_vector3", ds3_to_vector3, METH_NOARGS,
     "double_single3.to_vector3(self) -> Vector3\n\nhi + lo per component, in double precision."},
    {nullptr, nullptr, 0, nullptr},
};

const float* ds3_floats(PyObject* o) { return &ds3(o)->v.hi.x; }

PyObject* ds3_repr(PyObject* o) {
    std::string s = detail::type_name(o) + "(float3(";
    const float* f = ds3_floats(o);
    for (int i = 0; i < 6; ++i) {
        if (i == 3) s += "), float3(";
        else if (i) s += ", ";
        detail::append_repr(s, f[i]);
    }
    s += "))";
    return PyUnicode_FromString(s.c_str());
}

PyObject* ds3_richcompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(a, &ds3_type) ||
        !PyObject_TypeCheck(b, &ds3_type))
        return detail::not_implemented();
    bool eq = true;
    for (int i = 0; i < 6; ++i) eq = eq && ds3_floats(a)[i] == ds3_floats(b)[i];
    return frame::py_bool(eq == (op == Py_EQ));
}

// numpy.asarray(d): float32, shape (2, 3), rows hi and lo: the vertex record.
int ds3_getbuffer(PyObject* o, Py_buffer* view, int flags) {
    static Py_ssize_t shape[2] = {2, 3};
    static Py_ssize_t strides[2] = {3 * sizeof(float), sizeof(float)};
    view->buf = &ds3(o)->v;
    view->obj = frame::Ref::new_ref(o).release();
    view->len = sizeof(double_single3);
    view->readonly = 0;
    view->itemsize = sizeof(float);
    view->format = (flags & PyBUF_FORMAT) ? const_cast<char*>("f") : nullptr;
    view->ndim = 2;
    view->shape = (flags & PyBUF_ND) ? shape : nullptr;
    view->strides = (flags & PyBUF_STRIDES) == PyBUF_STRIDES ? strides : nullptr;
    view->suboffsets = nullptr;
    view->internal = nullptr;
    return 0;
}
PyBufferProcs ds3_buffer = {ds3_getbuffer, nullptr};

PyObject* ds3_state_hi(PyObject* o) { return ds3_get(o, nullptr); }
PyObject* ds3_state_lo(PyObject* o) { return ds3_get(o, reinterpret_cast<void*>(1)); }
int ds3_state_set_hi(PyObject* o, PyObject* v) { return ds3_store(o, v, false); }
int ds3_state_set_lo(PyObject* o, PyObject* v) { return ds3_store(o, v, true); }
const frame::StateField ds3_state[] = {
    {"hi", ds3_state_hi, ds3_state_set_hi},
    {"lo", ds3_state_lo, ds3_state_set_lo},
};

// ================================================================ DoubleSingle

PyTypeObject dsingle_type;
PyObject* dsingle_arg_names[1];

DoubleSingle* dsingle(PyObject* o) { return reinterpret_cast<DoubleSingle*>(o); }
double dsingle_value(PyObject* o) { return double(dsingle(o)->hi) + double(dsingle(o)->lo); }

// DoubleSingle(value=0.0)
PyObject* dsingle_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const char* const here = "linvec.ds_math.DoubleSingle.__cinit__";
    PyObject* v[1];
    if (detail::parse_optional("__cinit__", args, kwds, dsingle_arg_names, 1, v) < 0)
        return fail_null(here, __LINE__);
    double value = 0.0;
    if (v[0] && !frame::to_double(v[0], &value)) return fail_null(here, __LINE__);
    PyObject* o = t->tp_alloc(t, 0);
    if (!o) return fail_null(here, __LINE__);
    split(value, &dsingle(o)->hi, &dsingle(o)->lo);
    return o;
}

PyObject* dsingle_get(PyObject* o, void* closure) {
    return PyFloat_FromDouble(closure ? dsingle(o)->lo : dsingle(o)->hi);
}
PyObject* dsingle_get_value(PyObject* o, void*) { return PyFloat_FromDouble(dsingle_value(o)); }

PyGetSetDef dsingle_getset[] = {
    {"hi", dsingle_get, nullptr, "The high part: the value rounded to single precision.", nullptr},
    {"lo", dsingle_get, nullptr, "The low part: the remainder rounded to single precision.",
     reinterpret_cast<void*>(1)},
    {"value", dsingle_get_value, nullptr, "hi + lo in double precision.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* dsingle_repr(PyObject* o) {
    std::string s = detail::type_name(o) + "(";
    detail::append_repr(s, dsingle_value(o));
    s += ")";
    return PyUnicode_FromString(s.c_str());
}

PyObject* dsingle_richcompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(a, &dsingle_type) ||
        !PyObject_TypeCheck(b, &dsingle_type))
        return detail::not_implemented();
    bool eq = dsingle(a)->hi == dsingle(b)->hi && dsingle(a)->lo == dsingle(b)->lo;
    return frame::py_bool(eq == (op == Py_EQ));
}

PyObject* dsingle_float(PyObject* o) { return PyFloat_FromDouble(dsingle_value(o)); }
PyNumberMethods dsingle_number = [] {
    PyNumberMethods n{};
    n.nb_float = dsingle_float;
    return n;
}();

PyObject* dsingle_state_hi(PyObject* o) { return dsingle_get(o, nullptr); }
PyObject* dsingle_state_lo(PyObject* o) { return dsingle_get(o, reinterpret_cast<void*>(1)); }
int dsingle_state_set_hi(PyObject* o, PyObject* v) { return frame::to_float(v, &dsingle(o)->hi) ? 0 : -1; }
int dsingle_state_set_lo(PyObject* o, PyObject* v) { return frame::to_float(v, &dsingle(o)->lo) ? 0 : -1; }
const frame::StateField dsingle_state[] = {
    {"hi", dsingle_state_hi, dsingle_state_set_hi},
    {"lo", dsingle_state_lo, dsingle_state_set_lo},
};

// ================================================================ Vector3ds, Vector4ds, Matrix4ds

// A high and a low part of one class (`Part`), split from a 64-bit source
// class. Both parts are exact objects created here: no reference cycle can
// pass through them, so the classes need no garbage-collection support.
//
//   struct PairTraits {
//       using Obj;                                  // layout {HEAD; Part* hi; Part* lo;}
//       static constexpr const char* kDotted, *kName, *kArg, *kDoc, *kJoin, *kJoinDoc;
//       static PyTypeObject* part_type();           // Vector3f / Vector4f / Matrix4f
//       static PyTypeObject* source_type();         // Vector3 / Vector4 / Matrix4
//       static PyObject* copy_part(PyObject* part); // exact copy
//       static bool split(PyObject* source, PyObject** hi, PyObject** lo);  // null source: zero/identity
//       static PyObject* join(Obj*);                // hi + lo as the source class
//   };
template <class P>
struct Pair {
    using Obj = typename P::Obj;
    static inline PyTypeObject type;
    static inline PyObject* arg_names[1];

    static Obj* cast(PyObject* o) { return reinterpret_cast<Obj*>(o); }
    static std::string qual(const char* member) { return std::string(P::kDotted) + "." + member; }

    // Fill a fresh instance from `source` (null or None: the zero vector or
    // the identity).
    static PyObject* build(PyTypeObject* t, PyObject* source) {
        PyObject *hi = nullptr, *lo = nullptr;
        if (!P::split(source == Py_None ? nullptr : source, &hi, &lo)) return nullptr;
        PyObject* o = t->tp_alloc(t, 0);
        if (!o) {
            Py_DECREF(hi);
            Py_DECREF(lo);
            return nullptr;
        }
        cast(o)->hi = reinterpret_cast<decltype(cast(o)->hi)>(hi);
        cast(o)->lo = reinterpret_cast<decltype(cast(o)->lo)>(lo);
        return o;
    }

    static PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
        static const std::string here = qual("__cinit__");
        PyObject* v[1];
        if (detail::parse_optional("__cinit__", args, kwds, arg_names, 1, v) < 0)
            return fail_null(here.c_str(), __LINE__);
        if (v[0] && !frame::check_arg_type(v[0], P::source_type(), P::kArg))
            return fail_null(here.c_str(), __LINE__);
        PyObject* o = build(t, v[0]);
        return o ? o : fail_null(here.c_str(), __LINE__);
    }

    static void tp_dealloc(PyObject* o) {
        Py_CLEAR(cast(o)->hi);
        Py_CLEAR(cast(o)->lo);
        Py_TYPE(o)->tp_free(o);
    }

    static PyObject* part(PyObject* o, bool lo) {
        return frame::Ref::new_ref(lo ? reinterpret_cast<PyObject*>(cast(o)->lo)
                                      : reinterpret_cast<PyObject*>(cast(o)->hi))
            .release();
    }
    static PyObject* get(PyObject* o, void* closure) { return part(o, closure != nullptr); }

    // Restoring a pickled state stores exact copies of the given parts.
    static int store(PyObject* o, PyObject* v, bool lo) {
        if (!check_store(v, P::part_type())) return -1;
        PyObject* c = P::copy_part(v);
        if (!c) return -1;
        if (lo) {
            Py_SETREF(cast(o)->lo, reinterpret_cast<decltype(cast(o)->lo)>(c));
        } else {
            Py_SETREF(cast(o)->hi, reinterpret_cast<decltype(cast(o)->hi)>(c));
        }
        return 0;
    }
    static PyObject* state_hi(PyObject* o) { return part(o, false); }
    static PyObject* state_lo(PyObject* o) { return part(o, true); }
    static int state_set_hi(PyObject* o, PyObject* v) { return store(o, v, false); }
    static int state_set_lo(PyObject* o, PyObject* v) { return store(o, v, true); }
    static inline const frame::StateField state[2] = {
        {"hi", state_hi, state_set_hi},
        {"lo", state_lo, state_set_lo},
    };

    static PyObject* tp_repr(PyObject* o) {
        return PyUnicode_FromFormat("%s(hi=%R, lo=%R)", detail::type_name(o).c_str(),
                                    reinterpret_cast<PyObject*>(cast(o)->hi),
                                    reinterpret_cast<PyObject*>(cast(o)->lo));
    }

    static PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) {
        if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(a, &type) || !PyObject_TypeCheck(b, &type))
            return detail::not_implemented();
        auto obj = [](auto* p) { return reinterpret_cast<PyObject*>(p); };
        int eq = PyObject_RichCompareBool(obj(cast(a)->hi), obj(cast(b)->hi), Py_EQ);
        if (eq > 0) eq = PyObject_RichCompareBool(obj(cast(a)->lo), obj(cast(b)->lo), Py_EQ);
        if (eq < 0) return nullptr;
        return frame::py_bool((eq != 0) == (op == Py_EQ));
    }

    static PyObject* py_join(PyObject* o, PyObject*) {
        static const std::string here = qual(P::kJoin);
        PyObject* r = P::join(cast(o));
        return r ? r : fail_null(here.c_str(), __LINE__);
    }

    static int register_class(PyObject* module) {
        arg_names[0] = frame::intern(P::kArg);
        if (!arg_names[0]) return -1;
        static PyGetSetDef getset[] = {
            {"hi", get, nullptr, "The high part (the object itself).", nullptr},
            {"lo", get, nullptr, "The low part (the object itself).", reinterpret_cast<void*>(1)},
            {nullptr, nullptr, nullptr, nullptr, nullptr},
        };
        static PyMethodDef methods[] = {
            {P::kJoin, py_join, METH_NOARGS, P::kJoinDoc},
            {nullptr, nullptr, 0, nullptr},
        };
        static const std::string text = detail::checksum_text(detail::crc32("hi, lo"), "hi, lo");
        frame::ClassSpec spec{};
        spec.type = &type;
        spec.dotted = P::kDotted;
        spec.short_name = P::kName;
        spec.basicsize = sizeof(Obj);
        spec.doc = P::kDoc;
        spec.tp_new = tp_new;
        spec.tp_dealloc = tp_dealloc;
        spec.methods = methods;
        spec.getset = getset;
        spec.tp_repr = tp_repr;
        spec.tp_richcompare = tp_richcompare;
        spec.pickle = frame::Pickle::state;
        spec.pickle_spec.checksum = detail::crc32("hi, lo");
        spec.pickle_spec.checksum_text = text.c_str();
        spec.pickle_spec.fields = state;
        spec.pickle_spec.nfields = 2;
        return frame::register_class(module, spec);
    }
};

struct Vector3dsTraits {
    using Obj = Vector3ds;
    static constexpr const char* kDotted = "linvec.ds_math.Vector3ds";
    static constexpr const char* kName = kVector3dsClass;
    static constexpr const char* kArg = "v";
    static constexpr const char* kJoin = "to_vector3";
    static constexpr const char* kJoinDoc =
        "Vector3ds.to_vector3(self) -> Vector3\n\nhi + lo per component, in double precision.";
    static constexpr const char* kDoc =
        "Vector3ds(v=None)\n\n"
        "A Vector3 split into a high and a low Vector3f (hi + lo carries about 48\n"
        "bits); None gives the zero vector.";
    static PyTypeObject* part_type() { return vector3f::api.type; }
    static PyTypeObject* source_type() { return vector3::api.type; }
    static PyObject* copy_part(PyObject* p) {
        auto* v = reinterpret_cast<vector3f::Vector3f*>(p);
        return vector3f::make(v->x, v->y, v->z);
    }
    static bool split(PyObject* source, PyObject** hi, PyObject** lo) {
        double_single3 d{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
        if (source) d = to_double_single3_c(reinterpret_cast<vector3::Vector3*>(source));
        *hi = vector3f::make(d.hi.x, d.hi.y, d.hi.z);
        *lo = *hi ? vector3f::make(d.lo.x, d.lo.y, d.lo.z) : nullptr;
        if (!*lo) Py_CLEAR(*hi);
        return *lo != nullptr;
    }
    static PyObject* join(Obj* o) {
        return vector3::make(double(o->hi->x) + o->lo->x, double(o->hi->y) + o->lo->y,
                             double(o->hi->z) + o->lo->z);
    }
};

struct Vector4dsTraits {
    using Obj = Vector4ds;
    static constexpr const char* kDotted = "linvec.ds_math.Vector4ds";
    static constexpr const char* kName = kVector4dsClass;
    static constexpr const char* kArg = "v";
    static constexpr const char* kJoin = "to_vector4";
    static constexpr const char* kJoinDoc =
        "Vector4ds.to_vector4(self) -> Vector4\n\nhi + lo per component, in double precision.";
    static constexpr const char* kDoc =
        "Vector4ds(v=None)\n\n"
        "A Vector4 split into a high and a low Vector4f (hi + lo carries about 48\n"
        "bits); None gives the zero vector.";
    static PyTypeObject* part_type() { return vector4f::api.type; }
    static PyTypeObject* source_type() { return vector4::api.type; }
    static PyObject* copy_part(PyObject* p) {
        auto* v = reinterpret_cast<vector4f::Vector4f*>(p);
        return vector4f::make(v->x, v->y, v->z, v->w);
    }
    static bool split(PyObject* source, PyObject** hi, PyObject** lo) {
        const double zero[4] = {0.0, 0.0, 0.0, 0.0};
        const double* s = source ? &reinterpret_cast<vector4::Vector4*>(source)->x : zero;
        float h[4], l[4];
        for (int i = 0; i < 4; ++i) ds_math::split(s[i], &h[i], &l[i]);
        *hi = vector4f::make(h[0], h[1], h[2], h[3]);
        *lo = *hi ? vector4f::make(l[0], l[1], l[2], l[3]) : nullptr;
        if (!*lo) Py_CLEAR(*hi);
        return *lo != nullptr;
    }
    static PyObject* join(Obj* o) {
        return vector4::make(double(o->hi->x) + o->lo->x, double(o->hi->y) + o->lo->y,
                             double(o->hi->z) + o->lo->z, double(o->hi->w) + o->lo->w);
    }
};

struct Matrix4dsTraits {
    using Obj = Matrix4ds;
    static constexpr const char* kDotted = "linvec.ds_math.Matrix4ds";
    static constexpr const char* kName = kMatrix4dsClass;
    static constexpr const char* kArg = "m";
    static constexpr const char* kJoin = "to_matrix4";
    static constexpr const char* kJoinDoc =
        "Matrix4ds.to_matrix4(self) -> Matrix4\n\nhi + lo per element, in double precision.";
    static constexpr const char* kDoc =
        "Matrix4ds(m=None)\n\n"
        "A Matrix4 split per element into a high and a low Matrix4f (for the\n"
        "uniforms u_world_hi and u_world_lo); None gives the identity.";
    static PyTypeObject* part_type() { return matrix4f::api.type; }
    static PyTypeObject* source_type() { return matrix4::api.type; }
    static PyObject* copy_part(PyObject* p) {
        return matrix4f::make(reinterpret_cast<matrix4f::Matrix4f*>(p)->m);
    }
    static bool split(PyObject* source, PyObject** hi, PyObject** lo) {
        double id[16];
        for (int i = 0; i < 16; ++i) id[i] = (i % 5 == 0) ? 1.0 : 0.0;
        const double* s = source ? reinterpret_cast<matrix4::Matrix4*>(source)->m : id;
        float h[16], l[16];
        for (int i = 0; i < 16; ++i) ds_math::split(s[i], &h[i], &l[i]);
        *hi = matrix4f::make(h);
        *lo = *hi ? matrix4f::make(l) : nullptr;
        if (!*lo) Py_CLEAR(*hi);
        return *lo != nullptr;
    }
    static PyObject* join(Obj* o) {
        double m[16];
        for (int i = 0; i < 16; ++i) m[i] = double(o->hi->m[i]) + o->lo->m[i];
        return matrix4::make(m);
    }
};

using V3ds = Pair<Vector3dsTraits>;
using V4ds = Pair<Vector4dsTraits>;
using M4ds = Pair<Matrix4dsTraits>;

// to_matrix4ds(m) for other modules: a new Matrix4ds or nullptr with an error.
PyObject* to_matrix4ds_c(matrix4::Matrix4* m) {
    return M4ds::build(&M4ds::type, reinterpret_cast<PyObject*>(m));
}

// ================================================================ module functions

PyObject* py_to_double_single3(PyObject*, PyObject* v) {
    static const char* const here = "linvec.ds_math.to_double_single3";
    if (!detail::require_arg(v, vector3::api.type, "v")) return fail_null(here, __LINE__);
    PyObject* r = make_ds3(to_double_single3_c(reinterpret_cast<vector3::Vector3*>(v)));
    return r ? r : fail_null(here, __LINE__);
}

PyObject* py_to_matrix4ds(PyObject*, PyObject* m) {
    static const char* const here = "linvec.ds_math.to_matrix4ds";
    if (!detail::require_arg(m, matrix4::api.type, "m")) return fail_null(here, __LINE__);
    PyObject* r = to_matrix4ds_c(reinterpret_cast<matrix4::Matrix4*>(m));
    return r ? r : fail_null(here, __LINE__);
}

PyMethodDef functions[] = {
    {"to_double_single3", py_to_double_single3, METH_O,
     "to_double_single3(Vector3 v) -> double_single3\n\nThe split of each component."},
    {"to_matrix4ds", py_to_matrix4ds, METH_O,
     "to_matrix4ds(Matrix4 m) -> Matrix4ds\n\nThe split of each element."},
    {nullptr, nullptr, 0, nullptr},
};

// ================================================================ init

int register_classes(PyObject* module) {
    ds3_arg_names[0] = frame::intern("hi");
    ds3_arg_names[1] = frame::intern("lo");
    dsingle_arg_names[0] = frame::intern("value");
    if (!ds3_arg_names[0] || !ds3_arg_names[1] || !dsingle_arg_names[0]) return -1;

    static const std::string text = detail::checksum_text(detail::crc32("hi, lo"), "hi, lo");
    frame::ClassSpec d3{};
    d3.type = &ds3_type;
    d3.dotted = "linvec.ds_math.double_single3";
    d3.short_name = kDoubleSingle3Class;
    d3.basicsize = sizeof(DoubleSingle3);
    d3.doc =
        "double_single3(hi=None, lo=None)\n\n"
        "The plain record {hi: float3, lo: float3} of a double-single 3-vector, the\n"
        "24-byte vertex record (numpy.asarray gives float32, shape (2, 3)).";
    d3.tp_new = ds3_new;
    d3.tp_dealloc = plain_dealloc;
    d3.methods = ds3_methods;
    d3.getset = ds3_getset;
    d3.as_buffer = &ds3_buffer;
    d3.tp_repr = ds3_repr;
    d3.tp_richcompare = ds3_richcompare;
    d3.pickle = frame::Pickle::state;
    d3.pickle_spec.checksum = detail::crc32("hi, lo");
    d3.pickle_spec.checksum_text = text.c_str();
    d3.pickle_spec.fields = ds3_state;
    d3.pickle_spec.nfields = 2;
    if (frame::register_class(module, d3) < 0) return -1;

    frame::ClassSpec ds{};
    ds.type = &dsingle_type;
    ds.dotted = "linvec.ds_math.DoubleSingle";
    ds.short_name = kDoubleSingleClass;
    ds.basicsize = sizeof(DoubleSingle);
    ds.doc =
        "DoubleSingle(value=0.0)\n\n"
        "One 64-bit value split into hi (the value rounded to single precision)\n"
        "and lo (the remainder rounded to single precision); float() gives hi + lo.";
    ds.tp_new = dsingle_new;
    ds.tp_dealloc = plain_dealloc;
    ds.getset = dsingle_getset;
    ds.as_number = &dsingle_number;
    ds.tp_repr = dsingle_repr;
    ds.tp_richcompare = dsingle_richcompare;
    ds.pickle = frame::Pickle::state;
    ds.pickle_spec.checksum = detail::crc32("hi, lo");
    ds.pickle_spec.checksum_text = text.c_str();
    ds.pickle_spec.fields = dsingle_state;
    ds.pickle_spec.nfields = 2;
    if (frame::register_class(module, ds) < 0) return -1;

    if (V3ds::register_class(module) < 0 || V4ds::register_class(module) < 0) return -1;
    return M4ds::register_class(module);
}

int import_classes(PyObject*) {
    if (math_structs::import_api() < 0 || vector3::import_api() < 0 || vector3f::import_api() < 0 ||
        vector4::import_api() < 0 || vector4f::import_api() < 0 || matrix4::import_api() < 0)
        return -1;
    return matrix4f::import_api();
}

int body(PyObject* module) {
    if (frame::export_function(module, kToDoubleSingle3Name,
                               reinterpret_cast<void*>(to_double_single3_c), kToDoubleSingle3Sig) < 0 ||
        frame::export_function(module, kToMatrix4dsName, reinterpret_cast<void*>(to_matrix4ds_c),
                               kToMatrix4dsSig) < 0)
        return -1;
    return frame::export_function(module, kMakeDoubleSingle3Name,
                                  reinterpret_cast<void*>(make_ds3), kMakeDoubleSingle3Sig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "ds_math", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::ds_math

PyMODINIT_FUNC PyInit_ds_math() {
    using namespace linvec::ds_math;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
