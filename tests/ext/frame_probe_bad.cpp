// A test-only module built against a Probe layout one pointer too small: its
// import must fail with the size check and the init traceback entry.
#include "frame/frame.hpp"

namespace {

constexpr const char* kFile = "vesk\\_testing\\frame_probe_bad.cpp";

struct StaleProbe {
    PyObject_HEAD
    void* vtab;
    PyObject* name;
};

int import_classes(PyObject*) {
    PyTypeObject* t = frame::import_class("vesk._testing.frame_probe", "Probe", sizeof(StaleProbe),
                                          "vesk\\_testing\\frame_probe.hpp");
    if (!t) return -1;
    Py_DECREF(t);
    return 0;
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "frame_probe_bad", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_frame_probe_bad() {
    frame::ModuleInit init{&def, "vesk._testing.frame_probe_bad", kFile};
    init.import_classes = import_classes;
    return frame::init_module(init);
}
