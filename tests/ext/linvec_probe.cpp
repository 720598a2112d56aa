// A test-only module that binds to linvec the way the package's modules do
// (headers, import_api(), method tables, exported C functions, direct field
// reads), so that tests can drive the C-level contract from Python.
#include "linvec/ds_math.hpp"
#include "linvec/math_structs.hpp"
#include "linvec/matrix4.hpp"
#include "linvec/matrix4f.hpp"
#include "linvec/quaternion.hpp"
#include "linvec/quaternionf.hpp"
#include "linvec/rectanglef.hpp"
#include "linvec/rectanglei.hpp"
#include "linvec/transform.hpp"
#include "linvec/vector2.hpp"
#include "linvec/vector2f.hpp"
#include "linvec/vector3.hpp"
#include "linvec/vector3f.hpp"
#include "linvec/vector4.hpp"
#include "linvec/vector4f.hpp"

#include <string>
#include <type_traits>

namespace probe {
namespace {

using namespace linvec;

bool need(PyObject* o, PyTypeObject* t) {
    if (PyObject_TypeCheck(o, t)) return true;
    PyErr_Format(PyExc_TypeError, "probe needs %s", t->tp_name);
    return false;
}

PyObject* floats(const float* f, int n) {
    PyObject* t = PyTuple_New(n);
    for (int i = 0; t && i < n; ++i) PyTuple_SET_ITEM(t, i, PyFloat_FromDouble(f[i]));
    return t;
}
PyObject* doubles(const double* d, int n) {
    PyObject* t = PyTuple_New(n);
    for (int i = 0; t && i < n; ++i) PyTuple_SET_ITEM(t, i, PyFloat_FromDouble(d[i]));
    return t;
}

// ---------------------------------------------------------------- layouts

PyObject* sizes(PyObject*, PyObject*) {
    return Py_BuildValue(
        "{s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n,s:n}",
        "Vector2", (Py_ssize_t)sizeof(vector2::Vector2), "Vector2f", (Py_ssize_t)sizeof(vector2f::Vector2f),
        "Vector3", (Py_ssize_t)sizeof(vector3::Vector3), "Vector3f", (Py_ssize_t)sizeof(vector3f::Vector3f),
        "Vector4", (Py_ssize_t)sizeof(vector4::Vector4), "Vector4f", (Py_ssize_t)sizeof(vector4f::Vector4f),
        "Matrix4", (Py_ssize_t)sizeof(matrix4::Matrix4), "Matrix4f", (Py_ssize_t)sizeof(matrix4f::Matrix4f),
        "Quaternion", (Py_ssize_t)sizeof(quaternion::Quaternion),
        "Quaternionf", (Py_ssize_t)sizeof(quaternionf::Quaternionf),
        "Transform", (Py_ssize_t)sizeof(transform::Transform),
        "Rectanglef", (Py_ssize_t)sizeof(rectanglef::Rectanglef),
        "Rectanglei", (Py_ssize_t)sizeof(rectanglei::Rectanglei),
        "float2", (Py_ssize_t)sizeof(math_structs::Float2), "float3", (Py_ssize_t)sizeof(math_structs::Float3),
        "double_single3", (Py_ssize_t)sizeof(ds_math::DoubleSingle3),
        "DoubleSingle", (Py_ssize_t)sizeof(ds_math::DoubleSingle),
        "Vector3ds", (Py_ssize_t)sizeof(ds_math::Vector3ds), "Vector4ds", (Py_ssize_t)sizeof(ds_math::Vector4ds),
        "Matrix4ds", (Py_ssize_t)sizeof(ds_math::Matrix4ds));
}

// The components read directly from the layout, as other modules read
// them: through the named fields of each header's struct.
template <class V>
PyObject* xy(PyObject* o) {
    auto* v = (V*)o;
    return Py_BuildValue("(dd)", (double)v->x, (double)v->y);
}
template <class V>
PyObject* xyz(PyObject* o) {
    auto* v = (V*)o;
    return Py_BuildValue("(ddd)", (double)v->x, (double)v->y, (double)v->z);
}
template <class V>
PyObject* xyzw(PyObject* o) {
    auto* v = (V*)o;
    return Py_BuildValue("(dddd)", (double)v->x, (double)v->y, (double)v->z, (double)v->w);
}
template <class R>
PyObject* rectangle(PyObject* o) {
    auto* r = (R*)o;
    if constexpr (std::is_integral_v<decltype(r->x)>)
        return Py_BuildValue("(iiii)", r->x, r->y, r->width, r->height);
    return Py_BuildValue("(dddd)", (double)r->x, (double)r->y, (double)r->width, (double)r->height);
}
template <class P>
PyObject* hi_lo(PyObject* o) {
    auto* d = (P*)o;
    return Py_BuildValue("(OO)", (PyObject*)d->hi, (PyObject*)d->lo);
}
PyObject* matrix4_m(PyObject* o) { return doubles(((matrix4::Matrix4*)o)->m, 16); }
PyObject* matrix4f_m(PyObject* o) { return floats(((matrix4f::Matrix4f*)o)->m, 16); }
PyObject* float2_v(PyObject* o) { return floats(&((math_structs::Float2*)o)->v.x, 2); }
PyObject* float3_v(PyObject* o) { return floats(&((math_structs::Float3*)o)->v.x, 3); }
PyObject* double_single3_v(PyObject* o) { return floats(&((ds_math::DoubleSingle3*)o)->v.hi.x, 6); }
PyObject* double_single(PyObject* o) {
    auto* d = (ds_math::DoubleSingle*)o;
    return Py_BuildValue("(dd)", (double)d->hi, (double)d->lo);
}
PyObject* transform_fields(PyObject* o) {
    auto* t = (transform::Transform*)o;
    return Py_BuildValue("(OO)", (PyObject*)t->position, (PyObject*)t->matrix);
}

PyObject* fields(PyObject*, PyObject* o) {
    const struct {
        PyTypeObject* type;
        PyObject* (*read)(PyObject*);
    } readers[] = {
        {vector2::api.type, xy<vector2::Vector2>},
        {vector2f::api.type, xy<vector2f::Vector2f>},
        {vector3::api.type, xyz<vector3::Vector3>},
        {vector3f::api.type, xyz<vector3f::Vector3f>},
        {vector4::api.type, xyzw<vector4::Vector4>},
        {vector4f::api.type, xyzw<vector4f::Vector4f>},
        {quaternion::api.type, xyzw<quaternion::Quaternion>},
        {quaternionf::api.type, xyzw<quaternionf::Quaternionf>},
        {matrix4::api.type, matrix4_m},
        {matrix4f::api.type, matrix4f_m},
        {rectanglef::api.type, rectangle<rectanglef::Rectanglef>},
        {rectanglei::api.type, rectangle<rectanglei::Rectanglei>},
        {math_structs::api.float2_type, float2_v},
        {math_structs::api.float3_type, float3_v},
        {ds_math::api.double_single3_type, double_single3_v},
        {ds_math::api.double_single_type, double_single},
        {transform::api.type, transform_fields},
        {ds_math::api.matrix4ds_type, hi_lo<ds_math::Matrix4ds>},
        {ds_math::api.vector3ds_type, hi_lo<ds_math::Vector3ds>},
        {ds_math::api.vector4ds_type, hi_lo<ds_math::Vector4ds>},
    };
    for (const auto& r : readers)
        if (PyObject_TypeCheck(o, r.type)) return r.read(o);
    PyErr_SetString(PyExc_TypeError, "not a linvec object");
    return nullptr;
}

// ---------------------------------------------------------------- method tables

// vector3_call(name, a, b) / vector3f_call: one entry of the class's
// C-level table; b is the other vector or the number where the entry takes one.
template <class Vec, class Scalar>
PyObject* vector_call(PyTypeObject* type, PyObject* args) {
    const char* name;
    PyObject *a, *b = Py_None;
    if (!PyArg_ParseTuple(args, "sO|O", &name, &a, &b) || !need(a, type)) return nullptr;
    auto* v = (Vec*)a;
    std::string n(name);
    if (n == "mul") {
        double s = PyFloat_AsDouble(b);
        if (s == -1.0 && PyErr_Occurred()) return nullptr;
        return v->vtab->mul(v, (Scalar)s);
    }
    if (n == "magnitude") return PyFloat_FromDouble(v->vtab->magnitude(v));
    if constexpr (std::is_same_v<Vec, vector3::Vector3>) {
        if (n == "to_float") return v->vtab->to_float(v);
    } else {
        if (n == "normalized") return v->vtab->normalized(v);
    }
    if (!need(b, type)) return nullptr;
    auto* w = (Vec*)b;
    if (n == "add") return v->vtab->add(v, w);
    if (n == "sub") return v->vtab->sub(v, w);
    if (n == "dot") return PyFloat_FromDouble(v->vtab->dot(v, w));
    PyErr_SetString(PyExc_ValueError, name);
    return nullptr;
}

PyObject* vector3_call(PyObject*, PyObject* args) {
    return vector_call<vector3::Vector3, double>(vector3::api.type, args);
}
PyObject* vector3f_call(PyObject*, PyObject* args) {
    return vector_call<vector3f::Vector3f, float>(vector3f::api.type, args);
}

PyObject* matrix4_multiply(PyObject*, PyObject* args) {
    PyObject *a, *b;
    if (!PyArg_ParseTuple(args, "OO", &a, &b) || !need(a, matrix4::api.type) || !need(b, matrix4::api.type))
        return nullptr;
    return ((matrix4::Matrix4*)a)->vtab->multiply((matrix4::Matrix4*)a, (matrix4::Matrix4*)b);
}

PyObject* matrix4_to_float(PyObject*, PyObject* a) {
    if (!need(a, matrix4::api.type)) return nullptr;
    return ((matrix4::Matrix4*)a)->vtab->to_float((matrix4::Matrix4*)a);
}

// ---------------------------------------------------------------- exported functions

PyObject* create(PyObject*, PyObject* args) {
    const char* name;
    double x, y, z, w = 0;
    if (!PyArg_ParseTuple(args, "sddd|d", &name, &x, &y, &z, &w)) return nullptr;
    std::string n(name);
    if (n == "translation") return matrix4::api.create_translation(x, y, z);
    if (n == "scale") return matrix4::api.create_scale(x, y, z);
    if (n == "quaternion") return matrix4::api.create_from_quaternion(x, y, z, w);
    PyErr_SetString(PyExc_ValueError, name);
    return nullptr;
}

// make(kind, *numbers): each module's exported constructor.
PyObject* make(PyObject*, PyObject* args) {
    const char* kind;
    double a = 0, b = 0, c = 0, d = 0;
    if (!PyArg_ParseTuple(args, "s|dddd", &kind, &a, &b, &c, &d)) return nullptr;
    std::string k(kind);
    if (k == "Vector2") return vector2::make(a, b);
    if (k == "Vector2f") return vector2f::make((float)a, (float)b);
    if (k == "Vector3") return vector3::make(a, b, c);
    if (k == "Vector3f") return vector3f::make((float)a, (float)b, (float)c);
    if (k == "Vector4") return vector4::make(a, b, c, d);
    if (k == "Vector4f") return vector4f::make((float)a, (float)b, (float)c, (float)d);
    if (k == "Quaternion") return quaternion::make(a, b, c, d);
    if (k == "Quaternionf") return quaternionf::make((float)a, (float)b, (float)c, (float)d);
    if (k == "Rectanglef") return rectanglef::make((float)a, (float)b, (float)c, (float)d);
    if (k == "Rectanglei") return rectanglei::make((int32_t)a, (int32_t)b, (int32_t)c, (int32_t)d);
    if (k == "float2") return math_structs::make_float2({(float)a, (float)b});
    if (k == "float3") return math_structs::make_float3({(float)a, (float)b, (float)c});
    if (k == "double_single3") return ds_math::make_double_single3({{(float)a, (float)b, (float)c}, {(float)d, 0, 0}});
    if (k == "Matrix4") {
        double m[16];
        for (int i = 0; i < 16; ++i) m[i] = i;
        return matrix4::make(a ? m : nullptr);
    }
    if (k == "Matrix4f") {
        float m[16];
        for (int i = 0; i < 16; ++i) m[i] = (float)i;
        return matrix4f::make(a ? m : nullptr);
    }
    PyErr_SetString(PyExc_ValueError, kind);
    return nullptr;
}

PyObject* make_transform(PyObject*, PyObject* args) {
    PyObject *p = nullptr, *m = nullptr;
    if (!PyArg_ParseTuple(args, "|OO", &p, &m)) return nullptr;
    return transform::make(p, m);
}

// to_double_single3 by value: (hi.x, hi.y, hi.z, lo.x, lo.y, lo.z).
PyObject* to_double_single3(PyObject*, PyObject* v) {
    if (!need(v, vector3::api.type)) return nullptr;
    ds_math::double_single3 d = ds_math::to_double_single3((vector3::Vector3*)v);
    return floats(&d.hi.x, 6);
}

PyObject* to_matrix4ds(PyObject*, PyObject* m) {
    if (!need(m, matrix4::api.type)) return nullptr;
    return ds_math::to_matrix4ds((matrix4::Matrix4*)m);
}

PyObject* import_again(PyObject*, PyObject*) {
    // A second bind is a no-op.
    if (vector3::import_api() < 0 || ds_math::import_api() < 0) return nullptr;
    Py_RETURN_NONE;
}

PyMethodDef functions[] = {
    {"sizes", sizes, METH_NOARGS, nullptr},
    {"fields", fields, METH_O, nullptr},
    {"vector3_call", vector3_call, METH_VARARGS, nullptr},
    {"vector3f_call", vector3f_call, METH_VARARGS, nullptr},
    {"matrix4_multiply", matrix4_multiply, METH_VARARGS, nullptr},
    {"matrix4_to_float", matrix4_to_float, METH_O, nullptr},
    {"create", create, METH_VARARGS, nullptr},
    {"make", make, METH_VARARGS, nullptr},
    {"make_transform", make_transform, METH_VARARGS, nullptr},
    {"to_double_single3", to_double_single3, METH_O, nullptr},
    {"to_matrix4ds", to_matrix4ds, METH_O, nullptr},
    {"import_again", import_again, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int import_classes(PyObject*) {
    if (vector2::import_api() < 0 || vector2f::import_api() < 0 || vector3::import_api() < 0 ||
        vector3f::import_api() < 0 || vector4::import_api() < 0 || vector4f::import_api() < 0 ||
        matrix4::import_api() < 0 || matrix4f::import_api() < 0 || quaternion::import_api() < 0 ||
        quaternionf::import_api() < 0 || rectanglef::import_api() < 0 || rectanglei::import_api() < 0 ||
        transform::import_api() < 0 || math_structs::import_api() < 0)
        return -1;
    return ds_math::import_api();
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "linvec_probe", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace probe

PyMODINIT_FUNC PyInit_linvec_probe() {
    using namespace probe;
    frame::ModuleInit init{&def, "vesk._testing.linvec_probe", "vesk\\_testing\\linvec_probe.cpp"};
    init.import_classes = import_classes;
    return frame::init_module(init);
}
