// The method of an axis-aligned rectangle over Components<Traits> with the
// components x, y, width, height (lower-left corner and size, the order
// glViewport takes): contains(x, y).
#pragma once

#include "linvec/detail/components.hpp"

#include <string>
#include <vector>

namespace linvec::detail {

template <class Tr>
struct RectangleOps {
    using C = Components<Tr>;

    static inline PyObject* arg_names[2];

    // contains(x, y): x <= px < x + width and y <= py < y + height, compared
    // in double precision.
    static PyObject* py_contains(PyObject* self, PyObject* args, PyObject* kwds) {
        PyObject* v[2];
        if (frame::parse_args("contains", args, kwds, arg_names, 2, v) < 0)
            return C::fail_null("contains", __LINE__);
        double px, py;
        if (!frame::to_double(v[0], &px) || !frame::to_double(v[1], &py))
            return C::fail_null("contains", __LINE__);
        const auto* r = C::data(self);
        double x = r[0], y = r[1];
        return frame::py_bool(px >= x && px < x + r[2] && py >= y && py < y + r[3]);
    }

    static PyMethodDef* methods() {
        static std::vector<PyMethodDef> table;
        if (!table.empty()) return table.data();
        table.push_back(method_row(Tr::kName, "contains", keywords_fn(py_contains),
                                   METH_VARARGS | METH_KEYWORDS, "(self, double x, double y) -> bool",
                                   "Whether the point lies inside: the lower and left edges included, "
                                   "the\nupper and right edges excluded."));
        return method_table(table, nullptr);
    }

    // Interns contains's argument names (the class registration step).
    static int prepare(PyObject*) {
        static const char* const names[] = {"x", "y"};
        return intern_all(names, 2, arg_names);
    }
};

}  // namespace linvec::detail
