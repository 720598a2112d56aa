// Transform: where a scene object is, as a world position (handed to the
// camera for depth sorting) and a world matrix (handed to the shaders).
// The Transform owns exact copies of both, so that other modules can read
// the fields directly without checks.
#include "linvec/transform.hpp"

#include <string>

#include "linvec/detail/common.hpp"

namespace linvec::transform {
namespace {

constexpr const char* kFile = "linvec\\transform.cpp";
constexpr const char* kCinit = "linvec.transform.Transform.__cinit__";
PyTypeObject type;
PyObject* arg_names[2];

Transform* cast(PyObject* o) { return reinterpret_cast<Transform*>(o); }

// ---------------------------------------------------------------- copies of the parts

// A new exact Vector3 copied from `v`, which must be a Vector3.
vector3::Vector3* copy_position(PyObject* v) {
    auto* p = reinterpret_cast<vector3::Vector3*>(v);
    return reinterpret_cast<vector3::Vector3*>(vector3::make(p->x, p->y, p->z));
}

matrix4::Matrix4* copy_matrix(PyObject* m) {
    return reinterpret_cast<matrix4::Matrix4*>(matrix4::make(reinterpret_cast<matrix4::Matrix4*>(m)->m));
}

// The value stored into a field: a Vector3 / Matrix4 (subclasses too); None
// cannot be stored.
bool check_store(PyObject* v, PyTypeObject* t) {
    if (v != Py_None && PyObject_TypeCheck(v, t)) return true;
    PyErr_Format(PyExc_TypeError, "Cannot convert %.200s to %.200s", Py_TYPE(v)->tp_name, t->tp_name);
    return false;
}

// ---------------------------------------------------------------- construction

// Build into a fresh instance of `t`; position / matrix may be null or None.
PyObject* build(PyTypeObject* t, PyObject* position, PyObject* matrix) {
    static const frame::Where here{kCinit, kFile};
    if (position && !frame::check_arg_type(position, vector3::api.type, "position"))
        return FRAME_FAIL(here, nullptr);
    if (matrix && !frame::check_arg_type(matrix, matrix4::api.type, "matrix"))
        return FRAME_FAIL(here, nullptr);
    frame::Ref pos = frame::Ref::steal(
        position && position != Py_None
            ? reinterpret_cast<PyObject*>(copy_position(position))
            : vector3::make(0.0, 0.0, 0.0));
    if (!pos) return FRAME_FAIL(here, nullptr);
    frame::Ref mat;
    if (matrix && matrix != Py_None) {
        mat = frame::Ref::steal(reinterpret_cast<PyObject*>(copy_matrix(matrix)));
    } else {
        auto* p = reinterpret_cast<vector3::Vector3*>(pos.get());
        mat = frame::Ref::steal(matrix4::api.create_translation(p->x, p->y, p->z));
    }
    if (!mat) return FRAME_FAIL(here, nullptr);
    PyObject* o = t->tp_alloc(t, 0);
    if (!o) return FRAME_FAIL(here, nullptr);
    cast(o)->position = reinterpret_cast<vector3::Vector3*>(pos.release());
    cast(o)->matrix = reinterpret_cast<matrix4::Matrix4*>(mat.release());
    return o;
}

// Transform(position=None, matrix=None)
PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{kCinit, kFile};
    PyObject* v[2];
    if (detail::parse_optional("__cinit__", args, kwds, arg_names, 2, v) < 0)
        return FRAME_FAIL(here, nullptr);
    return build(t, v[0], v[1]);
}

PyObject* make_transform(PyObject* position, PyObject* matrix) { return build(&type, position, matrix); }

void tp_dealloc(PyObject* o) {
    Py_CLEAR(cast(o)->position);
    Py_CLEAR(cast(o)->matrix);
    Py_TYPE(o)->tp_free(o);
}

// ---------------------------------------------------------------- fields

PyObject* get_position(PyObject* o, void* = nullptr) {
    return frame::Ref::new_ref(reinterpret_cast<PyObject*>(cast(o)->position)).release();
}
PyObject* get_matrix(PyObject* o, void* = nullptr) {
    return frame::Ref::new_ref(reinterpret_cast<PyObject*>(cast(o)->matrix)).release();
}

int store_position(PyObject* o, PyObject* v) {
    if (!check_store(v, vector3::api.type)) return -1;
    vector3::Vector3* p = copy_position(v);
    if (!p) return -1;
    Py_SETREF(cast(o)->position, p);
    return 0;
}
int store_matrix(PyObject* o, PyObject* v) {
    if (!check_store(v, matrix4::api.type)) return -1;
    matrix4::Matrix4* m = copy_matrix(v);
    if (!m) return -1;
    Py_SETREF(cast(o)->matrix, m);
    return 0;
}

int set_position(PyObject* o, PyObject* v, void*) {
    static const frame::Where here{"linvec.transform.Transform.position.__set__", kFile};
    if (!v) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return FRAME_FAIL(here, -1);
    }
    return store_position(o, v) < 0 ? FRAME_FAIL(here, -1) : 0;
}
int set_matrix(PyObject* o, PyObject* v, void*) {
    static const frame::Where here{"linvec.transform.Transform.matrix.__set__", kFile};
    if (!v) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return FRAME_FAIL(here, -1);
    }
    return store_matrix(o, v) < 0 ? FRAME_FAIL(here, -1) : 0;
}

PyGetSetDef getset[] = {
    {"position", get_position, set_position,
     "The world position (a Vector3 owned by the Transform; assigning stores a copy).", nullptr},
    {"matrix", get_matrix, set_matrix,
     "The world matrix (a Matrix4 owned by the Transform; assigning stores a copy).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- repr, ==

PyObject* tp_repr(PyObject* o) {
    return PyUnicode_FromFormat("%s(%R, %R)", detail::type_name(o).c_str(),
                                reinterpret_cast<PyObject*>(cast(o)->position),
                                reinterpret_cast<PyObject*>(cast(o)->matrix));
}

PyObject* tp_richcompare(PyObject* a, PyObject* b, int op) {
    if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(a, &type) || !PyObject_TypeCheck(b, &type))
        return detail::not_implemented();
    int eq = PyObject_RichCompareBool(reinterpret_cast<PyObject*>(cast(a)->position),
                                      reinterpret_cast<PyObject*>(cast(b)->position), Py_EQ);
    if (eq < 0) return nullptr;
    if (eq) {
        eq = PyObject_RichCompareBool(reinterpret_cast<PyObject*>(cast(a)->matrix),
                                      reinterpret_cast<PyObject*>(cast(b)->matrix), Py_EQ);
        if (eq < 0) return nullptr;
    }
    return frame::py_bool((eq != 0) == (op == Py_EQ));
}

// ---------------------------------------------------------------- pickling: (position, matrix)

PyObject* state_position(PyObject* o) { return get_position(o); }
PyObject* state_matrix(PyObject* o) { return get_matrix(o); }

const frame::StateField state_fields[] = {
    {"position", state_position, store_position},
    {"matrix", state_matrix, store_matrix},
};

// ---------------------------------------------------------------- init

int register_classes(PyObject* module) {
    static const char* const names[] = {"position", "matrix"};
    if (detail::intern_all(names, 2, arg_names) < 0) return -1;
    frame::ClassSpec spec{};
    spec.type = &type;
    spec.dotted = "linvec.transform.Transform";
    spec.short_name = kClass;
    spec.basicsize = sizeof(Transform);
    spec.doc =
        "Transform(position=None, matrix=None)\n\n"
        "The placement of a scene object: a world position (Vector3) and a world\n"
        "matrix (Matrix4). Both are copied in. position defaults to the origin;\n"
        "matrix defaults to the translation to position.";
    spec.tp_new = tp_new;
    spec.tp_dealloc = tp_dealloc;
    spec.getset = getset;
    spec.tp_repr = tp_repr;
    spec.tp_richcompare = tp_richcompare;
    spec.pickle = frame::Pickle::state;
    spec.pickle_spec.checksum = detail::crc32("position, matrix");
    static const std::string text = detail::checksum_text(spec.pickle_spec.checksum, "position, matrix");
    spec.pickle_spec.checksum_text = text.c_str();
    spec.pickle_spec.fields = state_fields;
    spec.pickle_spec.nfields = 2;
    return frame::register_class(module, spec);
}

int import_classes(PyObject*) {
    if (vector3::import_api() < 0) return -1;
    return matrix4::import_api();
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_transform), kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "transform", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::transform

PyMODINIT_FUNC PyInit_transform() {
    using namespace linvec::transform;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
