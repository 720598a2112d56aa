// Rectanglef: an axis-aligned rectangle of 32-bit floats, lower-left corner
// (x, y) and size (width, height), the order glViewport takes. Components,
// indexing, the buffer and pickling come from the shared record template.
#include "linvec/rectanglef.hpp"

#include <cstddef>

#include "linvec/detail/components.hpp"

namespace linvec::rectanglef {
namespace {

struct Traits {
    using Obj = Rectanglef;
    using T = float;
    static constexpr int N = 4;
    static constexpr const char* kModule = rectanglef::kModule;
    static constexpr const char* kName = kClass;
    static constexpr const char* kFile = "linvec\\rectanglef.cpp";
    static constexpr const char* kDoc =
        "Rectanglef(x=0.0, y=0.0, width=0.0, height=0.0)\n\n"
        "An axis-aligned rectangle of 32-bit floats: lower-left corner (x, y) and\n"
        "size (width, height).";
    static constexpr const char* kFields[N] = {"x", "y", "width", "height"};
    static constexpr float kDefaults[N] = {0.0f, 0.0f, 0.0f, 0.0f};
    static float* data(Obj* o) { return detail::fields_at<float>(o, offsetof(Obj, x)); }
    static void init(Obj*) {}
};
static_assert(offsetof(Rectanglef, height) == offsetof(Rectanglef, x) + 3 * sizeof(float),
              "contiguous");

using C = detail::Components<Traits>;

PyObject* make_rectanglef(float x, float y, float width, float height) {
    const float v[4] = {x, y, width, height};
    return C::make(v);
}

PyObject* arg_names_contains[2];

// contains(x, y): x <= px < x + width and y <= py < y + height.
PyObject* py_contains(PyObject* self, PyObject* args, PyObject* kwds) {
    PyObject* v[2];
    if (frame::parse_args("contains", args, kwds, arg_names_contains, 2, v) < 0)
        return C::fail_null("contains", __LINE__);
    double px, py;
    if (!frame::to_double(v[0], &px) || !frame::to_double(v[1], &py))
        return C::fail_null("contains", __LINE__);
    const auto* r = reinterpret_cast<Rectanglef*>(self);
    double x = r->x, y = r->y;
    return frame::py_bool(px >= x && px < x + r->width && py >= y && py < y + r->height);
}

PyMethodDef methods[] = {
    {"contains", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(py_contains)),
     METH_VARARGS | METH_KEYWORDS,
     "Rectanglef.contains(self, double x, double y) -> bool\n\n"
     "Whether the point lies inside: the lower and left edges included, the\n"
     "upper and right edges excluded."},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    static const char* const names[] = {"x", "y"};
    if (detail::intern_all(names, 2, arg_names_contains) < 0) return -1;
    detail::Extras extras;
    extras.methods = methods;
    return C::register_class(module, extras);
}

int body(PyObject* module) {
    return frame::export_function(module, kMakeName, reinterpret_cast<void*>(make_rectanglef),
                                  kMakeSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "rectanglef", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace linvec::rectanglef

PyMODINIT_FUNC PyInit_rectanglef() {
    using namespace linvec::rectanglef;
    frame::ModuleInit init{&def, kModule, Traits::kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
