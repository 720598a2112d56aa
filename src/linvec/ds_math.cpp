// Double-single numbers: 64-bit values carried as a high and a low 32-bit
// float (hi = the value rounded to single precision, lo = the remainder
// rounded to single precision), for GPUs that compute in single precision.
// The module defines the record double_single3 and the classes
// DoubleSingle, Vector3ds, Vector4ds and Matrix4ds, and exports the C
// functions to_double_single3 and to_matrix4ds.
#include "linvec/ds_math.hpp"

#include <cstddef>
#include <string>

#include "linvec/detail/matrix_ops.hpp"
#include "linvec/detail/object_pair.hpp"
#include "linvec/vector4.hpp"

namespace linvec::ds_math {
namespace {

constexpr const char* kFile = "linvec\\ds_math.cpp";
using math_structs::Float3;

// The classes of this module, by name.
template <class O, class E, int N, size_t Offset>
struct Here : detail::Record<O, E, N, Offset> {
    static constexpr const char* kModule = ds_math::kModule;
    static constexpr const char* kFile = ds_math::kFile;
};

// ================================================================ double_single3

struct Ds3Traits : Here<DoubleSingle3, float, 6, offsetof(DoubleSingle3, v)> {
    static constexpr const char* kName = kDoubleSingle3Class;
    static constexpr const char* kDoc =
        "double_single3(hi=None, lo=None)\n\n"
        "The plain record {hi: float3, lo: float3} of a double-single 3-vector, the\n"
        "24-byte vertex record (numpy.asarray gives float32, shape (2, 3)).";
};
static_assert(sizeof(double_single3) == 6 * sizeof(float), "six floats");

using Ds3 = detail::NumericClass<Ds3Traits, 6>;
PyObject* ds3_arg_names[2];

DoubleSingle3* ds3(PyObject* o) { return reinterpret_cast<DoubleSingle3*>(o); }

PyObject* make_ds3(double_single3 v) { return Ds3::make(&v.hi.x); }

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
    PyObject* v[2];
    if (detail::parse_optional("__cinit__", args, kwds, ds3_arg_names, 2, v) < 0)
        return Ds3::fail_null("__cinit__", __LINE__);
    double_single3 r{{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    if ((v[0] && !read_float3(v[0], "hi", &r.hi)) || (v[1] && !read_float3(v[1], "lo", &r.lo)))
        return Ds3::fail_null("__cinit__", __LINE__);
    return Ds3::result(Ds3::make_in(t, &r.hi.x), "__cinit__");
}

// hi and lo read as new float3 objects (the record holds values, not objects).
PyObject* ds3_get(PyObject* o, void* closure) {
    return math_structs::make_float3(closure ? ds3(o)->v.lo : ds3(o)->v.hi);
}
int ds3_store(PyObject* o, PyObject* v, bool lo) {
    if (!detail::check_store(v, math_structs::api.float3_type)) return -1;
    (lo ? ds3(o)->v.lo : ds3(o)->v.hi) = reinterpret_cast<Float3*>(v)->v;
    return 0;
}
int ds3_set(PyObject* o, PyObject* v, void* closure) {
    const char* member = closure ? "lo.__set__" : "hi.__set__";
    if (v && ds3_store(o, v, closure != nullptr) == 0) return 0;
    if (!v) detail::no_delete();
    return Ds3::fail(member, __LINE__);
}

PyGetSetDef ds3_getset[] = {
    {"hi", ds3_get, ds3_set, "The high part, a float3 (a copy).", nullptr},
    {"lo", ds3_get, ds3_set, "The low part, a float3 (a copy).", reinterpret_cast<void*>(1)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* ds3_to_vector3(PyObject* o, PyObject*) {
    const double_single3& d = ds3(o)->v;
    return Ds3::result(vector3::make(double(d.hi.x) + d.lo.x, double(d.hi.y) + d.lo.y,
                                     double(d.hi.z) + d.lo.z),
                       "to_vector3");
}

PyMethodDef ds3_methods[] = {
    {"to_vector3", ds3_to_vector3, METH_NOARGS,
     "double_single3.to_vector3(self) -> Vector3\n\nhi + lo per component, in double precision."},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* ds3_repr(PyObject* o) {
    std::string s = detail::type_name(o) + "(float3(";
    const float* f = Ds3::data(o);
    for (int i = 0; i < 6; ++i) {
        if (i == 3) s += "), float3(";
        else if (i) s += ", ";
        detail::append_repr(s, f[i]);
    }
    s += "))";
    return PyUnicode_FromString(s.c_str());
}

// numpy.asarray(d): float32, shape (2, 3), rows hi and lo: the vertex record.
int ds3_getbuffer(PyObject* o, Py_buffer* view, int flags) {
    static Py_ssize_t shape[2] = {2, 3};
    static Py_ssize_t strides[2] = {3 * sizeof(float), sizeof(float)};
    return Ds3::view(o, view, flags, 2, shape, strides);
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

struct DsTraits : Here<DoubleSingle, float, 2, offsetof(DoubleSingle, hi)> {
    static constexpr const char* kName = kDoubleSingleClass;
    static constexpr const char* kFields[N] = {"hi", "lo"};
    static constexpr const char* kDoc =
        "DoubleSingle(value=0.0)\n\n"
        "One 64-bit value split into hi (the value rounded to single precision)\n"
        "and lo (the remainder rounded to single precision); float() gives hi + lo.";
};
static_assert(offsetof(DoubleSingle, lo) == offsetof(DoubleSingle, hi) + sizeof(float), "contiguous");

using Ds = detail::NumericClass<DsTraits, 2>;
PyObject* dsingle_arg_names[1];

DoubleSingle* dsingle(PyObject* o) { return reinterpret_cast<DoubleSingle*>(o); }
double dsingle_value(PyObject* o) { return double(dsingle(o)->hi) + double(dsingle(o)->lo); }

// DoubleSingle(value=0.0)
PyObject* dsingle_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* v[1];
    if (detail::parse_optional("__cinit__", args, kwds, dsingle_arg_names, 1, v) < 0)
        return Ds::fail_null("__cinit__", __LINE__);
    double value = 0.0;
    if (v[0] && !frame::to_double(v[0], &value)) return Ds::fail_null("__cinit__", __LINE__);
    float parts[2];
    split(value, &parts[0], &parts[1]);
    return Ds::result(Ds::make_in(t, parts), "__cinit__");
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

PyObject* dsingle_float(PyObject* o) { return PyFloat_FromDouble(dsingle_value(o)); }
PyNumberMethods dsingle_number = [] {
    PyNumberMethods n{};
    n.nb_float = dsingle_float;
    return n;
}();

// ================================================================ Vector3ds, Vector4ds, Matrix4ds

// A high and a low part of one class (`Part`), split from a 64-bit source
// class (`Source`), N numbers each. Both parts are exact objects created
// here: no reference cycle can pass through them, so the classes need no
// garbage-collection support.
//
//   struct Traits : Split<Traits, Obj, N> {
//       static constexpr const char* kName, *kArg, *kDoc, *kJoin, *kJoinDoc;
//           // (VectorSplit gives all but kName for the vector pairs)
//       using Part = Layout<...>;  static constexpr auto& part = ...::api;
//       using Source = Layout<...>;  static constexpr auto& source = ...::api;
//   };
template <class D, class O, int Count>
struct Split {
    using Obj = O;
    static constexpr int N = Count;
    static constexpr const char* kModule = ds_math::kModule;
    static constexpr const char* kFile = ds_math::kFile;
    static constexpr const char* kFields[2] = {"hi", "lo"};
    static constexpr Py_ssize_t kOffsets[2] = {offsetof(O, hi), offsetof(O, lo)};
    static constexpr const char* kFieldDocs[2] = {"The high part (the object itself).",
                                                  "The low part (the object itself)."};
    static constexpr bool kSettable = false;
    static constexpr const char* kRepr = "%s(hi=%R, lo=%R)";
    // The source a missing argument stands for: zeros.
    static void fill_default(double* v) {
        for (int i = 0; i < N; ++i) v[i] = 0.0;
    }

    static const float* part_data(PyObject* p) {
        return D::Part::data(reinterpret_cast<typename D::Part::Obj*>(p));
    }
    // The fields hold parts; restoring a pickled state stores exact copies.
    static PyTypeObject* field_type(int) { return D::part.type; }
    static PyObject* copy(int, PyObject* p) { return detail::call_with(D::part.make, part_data(p)); }
};

template <class P>
struct Pair : detail::ObjectPair<P> {
    using Base = detail::ObjectPair<P>;
    using Obj = typename P::Obj;
    static constexpr int N = P::N;
    static inline PyObject* arg_names[1];

    // A fresh instance from `source` (null or None: the zero vector or the
    // identity).
    static PyObject* build(PyTypeObject* t, PyObject* source) {
        double s[N];
        if (source && source != Py_None) {
            const double* d = P::Source::data(reinterpret_cast<typename P::Source::Obj*>(source));
            for (int i = 0; i < N; ++i) s[i] = d[i];
        } else {
            P::fill_default(s);
        }
        float hi[N], lo[N];
        for (int i = 0; i < N; ++i) ds_math::split(s[i], &hi[i], &lo[i]);
        PyObject* h = detail::call_with(P::part.make, hi);
        PyObject* l = h ? detail::call_with(P::part.make, lo) : nullptr;
        return Base::build(t, h, l);
    }

    static PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
        PyObject* v[1];
        if (detail::parse_optional("__cinit__", args, kwds, arg_names, 1, v) < 0)
            return Base::fail_null("__cinit__", __LINE__);
        if (v[0] && !frame::check_arg_type(v[0], P::source.type, P::kArg))
            return Base::fail_null("__cinit__", __LINE__);
        return Base::result(build(t, v[0]), "__cinit__");
    }

    // hi + lo per number, as the source class.
    static PyObject* py_join(PyObject* o, PyObject*) {
        const float* h = P::part_data(*Base::field(o, 0));
        const float* l = P::part_data(*Base::field(o, 1));
        double s[N];
        for (int i = 0; i < N; ++i) s[i] = double(h[i]) + l[i];
        return Base::result(detail::call_with(P::source.make, s), P::kJoin);
    }

    static int register_class(PyObject* module) {
        arg_names[0] = frame::intern(P::kArg);
        if (!arg_names[0]) return -1;
        static PyMethodDef methods[] = {
            {P::kJoin, py_join, METH_NOARGS, P::kJoinDoc},
            {nullptr, nullptr, 0, nullptr},
        };
        frame::ClassSpec class_spec = Base::describe();
        class_spec.tp_new = tp_new;
        class_spec.methods = methods;
        return frame::register_class(module, class_spec);
    }
};

// Vector3ds and Vector4ds: <Source>ds splits a <Source> per component into
// two <Source>f; the join method and the docstrings follow from the name.
template <class D, class O, class SourceObj, class PartObj, int N>
struct VectorSplit : Split<D, O, N> {
    using Part = detail::Layout<PartObj, float, offsetof(PartObj, x)>;
    using Source = detail::Layout<SourceObj, double, offsetof(SourceObj, x)>;
    static constexpr const char* kArg = "v";

    static std::string source_name() {
        std::string n = D::kName;
        return n.substr(0, n.size() - 2);  // less "ds"
    }
    static std::string join_name() {
        std::string n = "to_" + source_name();
        n[3] = static_cast<char>(n[3] - 'A' + 'a');
        return n;
    }
    static inline const char* const kJoin = detail::keep(join_name());
    static inline const char* const kJoinDoc =
        detail::keep(std::string(D::kName) + "." + join_name() + "(self) -> " + source_name() +
                     "\n\nhi + lo per component, in double precision.");
    static inline const char* const kDoc = detail::keep(
        std::string(D::kName) + "(v=None)\n\nA " + source_name() + " split into a high and a low " +
        source_name() + "f (hi + lo carries about 48\nbits); None gives the zero vector.");
};

struct Vector3dsTraits : VectorSplit<Vector3dsTraits, Vector3ds, vector3::Vector3, vector3f::Vector3f, 3> {
    static constexpr const char* kName = kVector3dsClass;
    static constexpr auto& part = vector3f::api;
    static constexpr auto& source = vector3::api;
};

struct Vector4dsTraits : VectorSplit<Vector4dsTraits, Vector4ds, vector4::Vector4, vector4f::Vector4f, 4> {
    static constexpr const char* kName = kVector4dsClass;
    static constexpr auto& part = vector4f::api;
    static constexpr auto& source = vector4::api;
};

struct Matrix4dsTraits : Split<Matrix4dsTraits, Matrix4ds, 16> {
    static constexpr const char* kName = kMatrix4dsClass;
    static constexpr const char* kArg = "m";
    static constexpr const char* kJoin = "to_matrix4";
    static constexpr const char* kJoinDoc =
        "Matrix4ds.to_matrix4(self) -> Matrix4\n\nhi + lo per element, in double precision.";
    static constexpr const char* kDoc =
        "Matrix4ds(m=None)\n\n"
        "A Matrix4 split per element into a high and a low Matrix4f (for the\n"
        "uniforms u_world_hi and u_world_lo); None gives the identity.";
    using Part = detail::Layout<matrix4f::Matrix4f, float, offsetof(matrix4f::Matrix4f, m)>;
    static constexpr auto& part = matrix4f::api;
    using Source = detail::Layout<matrix4::Matrix4, double, offsetof(matrix4::Matrix4, m)>;
    static constexpr auto& source = matrix4::api;
    static void fill_default(double* v) { detail::mat_identity(v); }
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
    static const frame::Where here{"linvec.ds_math.to_double_single3", kFile};
    if (!detail::require_arg(v, vector3::api.type, "v")) return FRAME_FAIL(here, nullptr);
    PyObject* r = make_ds3(to_double_single3_c(reinterpret_cast<vector3::Vector3*>(v)));
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyObject* py_to_matrix4ds(PyObject*, PyObject* m) {
    static const frame::Where here{"linvec.ds_math.to_matrix4ds", kFile};
    if (!detail::require_arg(m, matrix4::api.type, "m")) return FRAME_FAIL(here, nullptr);
    PyObject* r = to_matrix4ds_c(reinterpret_cast<matrix4::Matrix4*>(m));
    return r ? r : FRAME_FAIL(here, nullptr);
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

    frame::ClassSpec d3 = Ds3::describe({ds3_methods});
    d3.tp_new = ds3_new;
    d3.getset = ds3_getset;
    d3.as_buffer = &ds3_buffer;
    d3.tp_repr = ds3_repr;
    detail::pickle_state(d3, "hi, lo", ds3_state, 2);
    if (frame::register_class(module, d3) < 0) return -1;

    frame::ClassSpec ds = Ds::describe({nullptr, &dsingle_number});
    ds.tp_new = dsingle_new;
    ds.getset = dsingle_getset;
    ds.tp_repr = dsingle_repr;
    detail::pickle_state(ds, "hi, lo", Ds::state_fields(), 2);
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
    return detail::export_all(
        module,
        {detail::exported<ToDoubleSingle3Fn>(kToDoubleSingle3Name, to_double_single3_c,
                                             kToDoubleSingle3Sig),
         detail::exported<ToMatrix4dsFn>(kToMatrix4dsName, to_matrix4ds_c, kToMatrix4dsSig),
         detail::exported<MakeDoubleSingle3Fn>(kMakeDoubleSingle3Name, make_ds3,
                                               kMakeDoubleSingle3Sig)});
}

}  // namespace
}  // namespace linvec::ds_math

PyMODINIT_FUNC PyInit_ds_math() {
    using namespace linvec::ds_math;
    return linvec::detail::init_module(kModule, kFile, {register_classes, import_classes, body, functions});
}
