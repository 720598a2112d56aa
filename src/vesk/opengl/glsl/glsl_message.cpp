// GLSL diagnostics: GlslMessage, GlslException, and the parser that reads a
// driver info-log line and places it through a shader's source map.
#include "glsl_message.hpp"

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace vesk::glsl_message {
namespace {

constexpr const char* kFile = "vesk\\opengl\\glsl\\glsl_message.cpp";

PyTypeObject message_type;
PyTypeObject exception_type;

// ------------------------------------------------------------------ GlslMessage

const Py_ssize_t message_offsets[] = {
    offsetof(GlslMessage, parent_refs), offsetof(GlslMessage, source_file),
    offsetof(GlslMessage, unit),        offsetof(GlslMessage, kind),
    offsetof(GlslMessage, origin),      offsetof(GlslMessage, text),
    offsetof(GlslMessage, raw_line),
};
const frame::Fields message_fields{message_offsets, 7};

const char* const kMessageArgNames[] = {"parent_refs", "source_file", "output_line",
                                        "unit",        "line_index",  "kind",
                                        "origin",      "text",        "raw_line"};
PyObject* message_arg_names[9];

GlslMessage* as_message(PyObject* o) { return reinterpret_cast<GlslMessage*>(o); }

// Build a message from its nine values (borrowed); ints already converted.
PyObject* make_message(PyTypeObject* t, PyObject* parent_refs, PyObject* source_file,
                       int32_t output_line, PyObject* unit, int32_t line_index, PyObject* kind,
                       PyObject* origin, PyObject* text, PyObject* raw_line) {
    PyObject* o = frame::alloc_instance(t, message_fields);
    if (!o) return nullptr;
    GlslMessage* m = as_message(o);
    frame::set_field(&m->parent_refs, parent_refs);
    frame::set_field(&m->source_file, source_file);
    m->output_line = output_line;
    frame::set_field(&m->unit, unit);
    m->line_index = line_index;
    frame::set_field(&m->kind, kind);
    frame::set_field(&m->origin, origin);
    frame::set_field(&m->text, text);
    frame::set_field(&m->raw_line, raw_line);
    return o;
}

PyObject* message_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.glsl_message.GlslMessage.__cinit__", kFile};
    PyObject* v[9];
    if (frame::parse_args("__cinit__", args, kwds, message_arg_names, 9, v) < 0)
        return FRAME_FAIL(here, nullptr);
    int32_t output_line, line_index;
    if (!frame::to_int32(v[2], &output_line)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_int32(v[4], &line_index)) return FRAME_FAIL(here, nullptr);
    PyObject* o = make_message(t, v[0], v[1], output_line, v[3], line_index, v[5], v[6], v[7], v[8]);
    return o ? o : FRAME_FAIL(here, nullptr);
}

int message_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, message_fields, visit, arg);
}
int message_clear(PyObject* o) {
    frame::clear_fields(o, message_fields);
    return 0;
}
void message_dealloc(PyObject* o) { frame::dealloc_instance(o, message_fields); }

bool has_place(const GlslMessage* m) { return m->unit != Py_None && m->line_index >= 0; }

// "unit:line: kind: text", then one "  included from unit:line" per include
// site, innermost first (the order a C compiler prints them in).
PyObject* message_str(PyObject* o) {
    GlslMessage* m = as_message(o);
    _PyUnicodeWriter w;
    _PyUnicodeWriter_Init(&w);
    w.overallocate = 1;
    auto write_obj = [&w](PyObject* x) {
        frame::Ref s = frame::Ref::steal(PyObject_Str(x));
        return s && _PyUnicodeWriter_WriteStr(&w, s.get()) == 0;
    };
    auto write_ascii = [&w](const char* s) {
        return _PyUnicodeWriter_WriteASCIIString(&w, s, (Py_ssize_t)std::char_traits<char>::length(s)) == 0;
    };
    auto write_line_no = [&](long n) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "%ld", n);
        return write_ascii(buf);
    };
    bool ok = true;
    if (has_place(m)) {
        ok = write_obj(m->unit) && write_ascii(":") && write_line_no((long)m->line_index + 1) &&
             write_ascii(": ");
    } else if (m->source_file != Py_None) {
        ok = write_obj(m->source_file) && write_ascii(": ");
    }
    if (ok) {
        int has_kind = PyObject_IsTrue(m->kind);
        if (has_kind < 0) ok = false;
        else if (has_kind) ok = write_obj(m->kind) && write_ascii(": ");
    }
    ok = ok && write_obj(m->text);
    if (ok && m->parent_refs != Py_None) {
        frame::Ref refs = frame::Ref::steal(PySequence_Fast(m->parent_refs, "parent_refs must be a sequence"));
        ok = bool(refs);
        for (Py_ssize_t i = ok ? PySequence_Fast_GET_SIZE(refs.get()) - 1 : -1; ok && i >= 0; --i) {
            PyObject* site = PySequence_Fast_GET_ITEM(refs.get(), i);
            frame::Ref unit = frame::Ref::steal(PySequence_GetItem(site, 0));
            frame::Ref index = unit ? frame::Ref::steal(PySequence_GetItem(site, 1)) : frame::Ref();
            long n = index ? PyLong_AsLong(index.get()) : -1;
            if (!index || (n == -1 && PyErr_Occurred())) {
                ok = false;
                break;
            }
            ok = write_ascii("\n  included from ") && write_obj(unit.get()) && write_ascii(":") &&
                 write_line_no(n + 1);
        }
    }
    if (!ok) {
        _PyUnicodeWriter_Dealloc(&w);
        return nullptr;
    }
    return _PyUnicodeWriter_Finish(&w);
}

PyObject* py_message_str(PyObject* o, PyObject*) { return message_str(o); }

PyMethodDef message_methods[] = {
    {"__str__", py_message_str, METH_NOARGS, "GlslMessage.__str__(self)"},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* message_repr(PyObject* o) {
    GlslMessage* m = as_message(o);
    return PyUnicode_FromFormat("GlslMessage(kind=%R, unit=%R, line_index=%d, text=%R)", m->kind,
                                m->unit, (int)m->line_index, m->text);
}

PyObject* get_obj(PyObject* o, void* closure) {
    auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + (Py_ssize_t)closure);
    return frame::Ref::new_ref(*slot).release();
}
PyObject* get_output_line(PyObject* o, void*) { return PyLong_FromLong(as_message(o)->output_line); }
PyObject* get_line_index(PyObject* o, void*) { return PyLong_FromLong(as_message(o)->line_index); }

#define MESSAGE_FIELD(name) (void*)offsetof(GlslMessage, name)
PyGetSetDef message_getset[] = {
    {"parent_refs", get_obj, nullptr,
     "Include sites (unit, 0-based line index) through which the unit was reached, outermost first.",
     MESSAGE_FIELD(parent_refs)},
    {"source_file", get_obj, nullptr, "Resolved path of the root source file.",
     MESSAGE_FIELD(source_file)},
    {"output_line", get_output_line, nullptr,
     "0-based line of the preprocessed source the message refers to; -1 when none.", nullptr},
    {"unit", get_obj, nullptr,
     "Unit holding the line (a file path or a reference name); None when the message has no place.",
     MESSAGE_FIELD(unit)},
    {"line_index", get_line_index, nullptr,
     "0-based line index within the unit; -1 when the message has no place.", nullptr},
    {"kind", get_obj, nullptr, "Severity or failure kind (\"error\", \"IncludeFileNotFound\", ...).",
     MESSAGE_FIELD(kind)},
    {"origin", get_obj, nullptr,
     "Who reported it: \"VESK\" for the preprocessor, \"GLSL\" for the driver.",
     MESSAGE_FIELD(origin)},
    {"text", get_obj, nullptr, "The message text.", MESSAGE_FIELD(text)},
    {"raw_line", get_obj, nullptr, "The line the message was made from, as it was read.",
     MESSAGE_FIELD(raw_line)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
#undef MESSAGE_FIELD

// ------------------------------------------------------------------ GlslException

PyTypeObject* exception_base() { return reinterpret_cast<PyTypeObject*>(PyExc_Exception); }
GlslException* as_exception(PyObject* o) { return reinterpret_cast<GlslException*>(o); }
PyObject* exception_arg_names[1];

PyObject* exception_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.glsl_message.GlslException.__cinit__", kFile};
    PyObject* v[1];
    if (frame::parse_args("__cinit__", args, kwds, exception_arg_names, 1, v) < 0)
        return FRAME_FAIL(here, nullptr);
    // The base keeps (message,) as args, so pickling and tracebacks see it.
    frame::Ref base_args = frame::Ref::steal(PyTuple_Pack(1, v[0]));
    if (!base_args) return FRAME_FAIL(here, nullptr);
    PyObject* o = exception_base()->tp_new(t, base_args.get(), nullptr);
    if (!o) return FRAME_FAIL(here, nullptr);
    as_exception(o)->message = frame::Ref::new_ref(v[0]).release();
    return o;
}

// Construction is complete after tp_new; the base's initialiser would reject
// the keyword form, so this one accepts anything and does nothing.
int exception_init(PyObject*, PyObject*, PyObject*) { return 0; }

int exception_traverse(PyObject* o, visitproc visit, void* arg) {
    Py_VISIT(as_exception(o)->message);
    return exception_base()->tp_traverse(o, visit, arg);
}
int exception_clear(PyObject* o) {
    Py_CLEAR(as_exception(o)->message);
    return exception_base()->tp_clear(o);
}
void exception_dealloc(PyObject* o) {
    PyObject_GC_UnTrack(o);
    Py_CLEAR(as_exception(o)->message);
    exception_base()->tp_dealloc(o);
}

PyObject* exception_str(PyObject* o) {
    PyObject* m = as_exception(o)->message;
    return m ? PyObject_Str(m) : PyUnicode_FromString("");
}

PyObject* py_exception_str(PyObject* o, PyObject*) { return exception_str(o); }
PyObject* py_exception_init(PyObject*, PyObject*, PyObject*) { Py_RETURN_NONE; }

// Named in the class dictionary too, so Python subclasses and super() calls
// reach the same behaviour as the slots.
PyMethodDef exception_methods[] = {
    {"__str__", py_exception_str, METH_NOARGS, "GlslException.__str__(self)"},
    {"__init__", (PyCFunction)(void (*)())py_exception_init, METH_VARARGS | METH_KEYWORDS,
     "GlslException.__init__(self, message)"},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* get_message(PyObject* o, void*) {
    PyObject* m = as_exception(o)->message;
    return frame::Ref::new_ref(m ? m : Py_None).release();
}

PyGetSetDef exception_getset[] = {
    {"message", get_message, nullptr, "The GlslMessage this exception reports.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------------ log-line parsing

// What one driver log line says, as byte ranges of its UTF-8 text.
struct Parsed {
    long line = -1;  // 1-based line of the uploaded source; -1 when the line has none
    std::string kind;
    std::string_view text;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string_view skip_blanks(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && is_blank(s[i])) ++i;
    return s.substr(i);
}

std::string_view trim(std::string_view s) {
    s = skip_blanks(s);
    size_t n = s.size();
    while (n > 0 && std::isspace((unsigned char)s[n - 1])) --n;
    return s.substr(0, n);
}

// Consume a decimal number at the front of s.
bool take_number(std::string_view& s, long* out) {
    size_t i = 0;
    long v = 0;
    while (i < s.size() && is_digit(s[i])) {
        if (v > 100000000) return false;  // far beyond any source
        v = v * 10 + (s[i] - '0');
        ++i;
    }
    if (i == 0) return false;
    *out = v;
    s.remove_prefix(i);
    return true;
}

bool take_char(std::string_view& s, char c) {
    if (s.empty() || s[0] != c) return false;
    s.remove_prefix(1);
    return true;
}

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = (char)std::tolower((unsigned char)c);
    return r;
}

// "error: text" / "preprocessor error: text": a severity of letters and
// blanks before the first colon. Leaves `rest` at the text.
bool take_severity(std::string_view& rest, std::string* kind) {
    std::string_view s = skip_blanks(rest);
    size_t i = 0;
    while (i < s.size() && i < 40 && (is_alpha(s[i]) || is_blank(s[i]))) ++i;
    if (i == 0 || i >= s.size() || s[i] != ':') return false;
    *kind = lower(trim(s.substr(0, i)));
    if (kind->empty()) return false;
    rest = skip_blanks(s.substr(i + 1));
    return true;
}

// Mesa: "0:12(5): error: text".
bool parse_mesa(std::string_view s, Parsed* p) {
    long string_index, line, column;
    if (!take_number(s, &string_index) || !take_char(s, ':') || !take_number(s, &line) ||
        !take_char(s, '(') || !take_number(s, &column) || !take_char(s, ')') || !take_char(s, ':'))
        return false;
    p->line = line;
    if (!take_severity(s, &p->kind)) p->kind.clear();
    p->text = trim(s);
    return true;
}

// NVIDIA: "0(12) : error C1008: text"; the compiler's code stays in the text.
bool parse_nvidia(std::string_view s, Parsed* p, std::string* text_buf) {
    long string_index, line;
    if (!take_number(s, &string_index) || !take_char(s, '(') || !take_number(s, &line) ||
        !take_char(s, ')'))
        return false;
    s = skip_blanks(s);
    if (!take_char(s, ':')) return false;
    s = skip_blanks(s);
    p->line = line;
    size_t colon = s.find(':');
    if (colon == std::string_view::npos) {
        p->kind.clear();
        p->text = trim(s);
        return true;
    }
    std::string_view head = trim(s.substr(0, colon));
    std::string_view body = trim(s.substr(colon + 1));
    // A trailing code such as "C1008" goes with the text.
    size_t sp = head.rfind(' ');
    std::string_view last = sp == std::string_view::npos ? head : head.substr(sp + 1);
    bool is_code = !last.empty() && is_alpha(last[0]) && std::isupper((unsigned char)last[0]);
    bool has_digit = false;
    for (char c : last) {
        if (is_digit(c)) has_digit = true;
        else if (!is_alpha(c)) is_code = false;
    }
    is_code = is_code && has_digit;
    std::string_view severity = is_code ? trim(head.substr(0, head.size() - last.size())) : head;
    for (char c : severity) {
        if (!is_alpha(c) && !is_blank(c)) {
            // Not a severity: keep the whole remainder as text.
            p->kind.clear();
            p->text = trim(s);
            return true;
        }
    }
    p->kind = lower(severity);
    if (is_code) {
        text_buf->assign(last);
        text_buf->append(": ");
        text_buf->append(body);
        p->text = *text_buf;
    } else {
        p->text = body;
    }
    return true;
}

// glslang, AMD, Intel on Windows, Apple: "ERROR: 0:12: text".
bool parse_prefixed(std::string_view s, Parsed* p) {
    std::string kind;
    std::string_view rest = s;
    if (!take_severity(rest, &kind)) return false;
    long string_index, line;
    if (!take_number(rest, &string_index) || !take_char(rest, ':') || !take_number(rest, &line) ||
        !take_char(rest, ':'))
        return false;
    p->line = line;
    p->kind = kind;
    p->text = trim(rest);
    return true;
}

// Lines without a place: "error: text", or anything else as plain text.
void parse_unplaced(std::string_view s, Parsed* p) {
    std::string_view rest = s;
    if (take_severity(rest, &p->kind)) {
        p->text = trim(rest);
    } else {
        p->kind.clear();
        p->text = trim(s);
    }
    p->line = -1;
}

PyObject* from_view(std::string_view v) { return PyUnicode_DecodeUTF8(v.data(), (Py_ssize_t)v.size(), "replace"); }

PyObject* create_glsl_message_from_string(PyObject* line, PyObject* source_file, PyObject* source_map) {
    if (!PyUnicode_Check(line)) {
        PyErr_Format(PyExc_TypeError, "log line must be str, not %.200s", Py_TYPE(line)->tp_name);
        return nullptr;
    }
    Py_ssize_t size;
    const char* utf8 = PyUnicode_AsUTF8AndSize(line, &size);
    if (!utf8) return nullptr;
    std::string_view s = skip_blanks(std::string_view(utf8, (size_t)size));
    Parsed p;
    std::string text_buf;
    if (!parse_mesa(s, &p) && !parse_nvidia(s, &p, &text_buf) && !parse_prefixed(s, &p))
        parse_unplaced(s, &p);

    frame::Ref kind = frame::Ref::steal(from_view(p.kind));
    frame::Ref text = kind ? frame::Ref::steal(from_view(p.text)) : frame::Ref();
    if (!text) return nullptr;
    PyObject* origin = frame::intern("GLSL");
    if (!origin) return nullptr;

    // Output line n (1-based) is source_map[n - 1]: (text, unit, line index, parent_refs).
    Py_ssize_t index = p.line - 1;
    Py_ssize_t count = -1;
    if (p.line > 0 && source_map != Py_None) {
        count = PySequence_Size(source_map);
        if (count < 0) return nullptr;
    }
    if (index < 0 || index >= count) {
        frame::Ref refs = frame::Ref::steal(PyList_New(0));
        if (!refs) return nullptr;
        return make_message(&message_type, refs.get(), source_file, -1, Py_None, -1, kind.get(),
                            origin, text.get(), line);
    }
    frame::Ref entry = frame::Ref::steal(PySequence_GetItem(source_map, index));
    if (!entry) return nullptr;
    if (!PySequence_Check(entry.get()) || PySequence_Size(entry.get()) != 4) {
        if (!PyErr_Occurred())
            PyErr_Format(PyExc_TypeError,
                         "source map entry %zd must be (text, unit, line index, parent_refs), got %.200s",
                         index, Py_TYPE(entry.get())->tp_name);
        return nullptr;
    }
    frame::Ref unit = frame::Ref::steal(PySequence_GetItem(entry.get(), 1));
    frame::Ref line_index = unit ? frame::Ref::steal(PySequence_GetItem(entry.get(), 2)) : frame::Ref();
    frame::Ref refs = line_index ? frame::Ref::steal(PySequence_GetItem(entry.get(), 3)) : frame::Ref();
    if (!refs) return nullptr;
    int32_t li;
    if (!frame::to_int32(line_index.get(), &li)) return nullptr;
    return make_message(&message_type, refs.get(), source_file, (int32_t)index, unit.get(), li,
                        kind.get(), origin, text.get(), line);
}

PyObject* py_create(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.glsl_message.create_glsl_message_from_string",
                                   kFile};
    static PyObject* names[3];
    if (!names[0]) {
        names[0] = frame::intern("line");
        names[1] = frame::intern("source_file");
        names[2] = frame::intern("source_map");
        if (!names[0] || !names[1] || !names[2]) return nullptr;
    }
    PyObject* v[3];
    if (frame::parse_args("create_glsl_message_from_string", args, kwds, names, 3, v) < 0)
        return FRAME_FAIL(here, nullptr);
    PyObject* r = create_glsl_message_from_string(v[0], v[1], v[2]);
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyMethodDef functions[] = {
    {"create_glsl_message_from_string", (PyCFunction)(void (*)())py_create,
     METH_VARARGS | METH_KEYWORDS,
     "create_glsl_message_from_string(str line, source_file, source_map)"},
    {nullptr, nullptr, 0, nullptr},
};

int register_classes(PyObject* module) {
    for (int i = 0; i < 9; ++i) {
        message_arg_names[i] = frame::intern(kMessageArgNames[i]);
        if (!message_arg_names[i]) return -1;
    }
    exception_arg_names[0] = frame::intern("message");
    if (!exception_arg_names[0]) return -1;

    frame::ClassSpec m{};
    m.type = &message_type;
    m.dotted = "vesk.opengl.glsl.glsl_message.GlslMessage";
    m.short_name = kMessageClass;
    m.basicsize = sizeof(GlslMessage);
    m.doc =
        "GlslMessage(parent_refs, source_file, int output_line, unit, int line_index, kind, "
        "origin, text, raw_line)\n\n"
        "One GLSL diagnostic, placed at the unit and line where its text was written.\n"
        "str() reads like a compiler diagnostic: \"unit:line: kind: text\" (1-based line),\n"
        "then one \"included from unit:line\" per include site, outermost last.";
    m.tp_new = message_new;
    m.tp_dealloc = message_dealloc;
    m.tp_traverse = message_traverse;
    m.tp_clear = message_clear;
    m.getset = message_getset;
    m.methods = message_methods;
    m.tp_repr = message_repr;
    if (frame::register_class(module, m) < 0) return -1;
    message_type.tp_str = message_str;

    frame::ClassSpec e{};
    e.type = &exception_type;
    e.dotted = "vesk.opengl.glsl.glsl_message.GlslException";
    e.short_name = kExceptionClass;
    e.basicsize = sizeof(GlslException);
    e.doc = "GlslException(message)\n\nA GLSL failure; `message` is the GlslMessage that reports it.";
    e.base = exception_base();
    e.tp_new = exception_new;
    e.tp_dealloc = exception_dealloc;
    e.tp_traverse = exception_traverse;
    e.tp_clear = exception_clear;
    e.getset = exception_getset;
    e.methods = exception_methods;
    // Exceptions pickle as (type, args); the message itself refuses.
    e.pickle = frame::Pickle::none;
    if (frame::register_class(module, e) < 0) return -1;
    exception_type.tp_init = exception_init;
    exception_type.tp_str = exception_str;
    PyType_Modified(&exception_type);
    PyType_Modified(&message_type);
    return 0;
}

int body(PyObject* module) {
    return frame::export_function(module, kCreateName, (void*)create_glsl_message_from_string,
                                  kCreateSig);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "glsl_message", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::glsl_message

PyMODINIT_FUNC PyInit_glsl_message() {
    using namespace vesk::glsl_message;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.body = body;
    return frame::init_module(init);
}
