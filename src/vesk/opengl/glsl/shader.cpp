// Shader: resolve a GLSL file, expand its include directives into one text
// with a source map, compile it, and report a failed compile at the file and
// line where the offending text was written.
#include "shader.hpp"

#include "glsl_message.hpp"
#include "glsl_reference_include.hpp"
#include "glsupport/glsupport.hpp"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/stat.h>

namespace vesk::shader {
namespace {

constexpr const char* kFile = "vesk\\opengl\\glsl\\shader.cpp";
constexpr const char kIncludeFile[] = "#include_file";
constexpr const char kIncludeReference[] = "#include_reference";

PyTypeObject type;
ShaderVtab vtab;

// Bound at import.
PyTypeObject* message_type;    // GlslMessage
PyTypeObject* exception_type;  // GlslException
PyTypeObject* reference_type;  // GlslReferenceInclude
glsl_message::CreateFn create_message;

const Py_ssize_t offsets[] = {offsetof(Shader, source_file), offsetof(Shader, source),
                              offsetof(Shader, source_map), offsetof(Shader, aux_dict)};
const frame::Fields fields{offsets, 4};

PyObject* py_process_errors(PyObject* self, PyObject*);
PyObject* py_process_source(PyObject* self, PyObject*);
PyObject* py_process_include_file(PyObject* self, PyObject* args, PyObject* kwds);
PyObject* py_load_include_file(PyObject* self, PyObject* path);

using frame::Ref;

// ------------------------------------------------------------------ helpers

// vesk.resource.get_shader_path, looked up at each call so that the
// resource helpers can be replaced (by tests, or by a host with its own
// data directory).
Ref get_shader_path(PyObject* name, bool default_none) {
    Ref resource = Ref::steal(PyImport_ImportModule("vesk.resource"));
    if (!resource) return resource;
    Ref fn = Ref::steal(PyObject_GetAttrString(resource.get(), "get_shader_path"));
    if (!fn) return fn;
    if (!default_none) return Ref::steal(PyObject_CallOneArg(fn.get(), name));
    Ref args = Ref::steal(PyTuple_Pack(1, name));
    Ref kwds = Ref::steal(PyDict_New());
    if (!args || !kwds || PyDict_SetItemString(kwds.get(), "default", Py_None) < 0) return Ref();
    return Ref::steal(PyObject_Call(fn.get(), args.get(), kwds.get()));
}

// The text of a UTF-8 file as open(path, encoding="utf-8").read() gives it:
// "\r\n" and "\r" become "\n". Errors are the ones open() raises (OSError
// subclasses by errno, with the file name; UnicodeDecodeError).
Ref read_text(PyObject* path) {
    Ref fspath = Ref::steal(PyOS_FSPath(path));
    if (!fspath) return fspath;
    Ref encoded = PyBytes_Check(fspath.get()) ? Ref::new_ref(fspath.get())
                                               : Ref::steal(PyUnicode_EncodeFSDefault(fspath.get()));
    if (!encoded) return encoded;
    const char* cpath = PyBytes_AS_STRING(encoded.get());
    if ((Py_ssize_t)std::strlen(cpath) != PyBytes_GET_SIZE(encoded.get())) {
        PyErr_SetString(PyExc_ValueError, "embedded null byte");
        return Ref();
    }
    std::string bytes;
    FILE* f = std::fopen(cpath, "rb");
    if (!f) {
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
        return Ref();
    }
    // Read in one go when the size is known; a file that grows meanwhile (or
    // a pipe) is read on in chunks.
    struct stat st;
    size_t want = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) ? (size_t)st.st_size + 1 : 65536;
    for (;;) {
        size_t have = bytes.size();
        bytes.resize(have + want);
        size_t n = std::fread(&bytes[have], 1, want, f);
        bytes.resize(have + n);
        if (n < want) break;
        want = 65536;
    }
    int failed = std::ferror(f);
    int err = errno;
    std::fclose(f);
    if (failed) {
        errno = err;
        PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
        return Ref();
    }
    // Newline normalisation on the bytes: '\r' never occurs inside a UTF-8
    // multi-byte sequence.
    if (std::memchr(bytes.data(), '\r', bytes.size())) {
        size_t o = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            char c = bytes[i];
            if (c == '\r') {
                bytes[o++] = '\n';
                if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            } else {
                bytes[o++] = c;
            }
        }
        bytes.resize(o);
    }
    return Ref::steal(PyUnicode_DecodeUTF8(bytes.data(), (Py_ssize_t)bytes.size(), "strict"));
}

// End of the line of `text` that starts at `start`: one past its "\n", or
// the end of the text.
Py_ssize_t line_end(int kind, const void* data, Py_ssize_t len, Py_ssize_t start) {
    if (kind == PyUnicode_1BYTE_KIND) {
        const char* base = static_cast<const char*>(data);
        const void* nl = std::memchr(base + start, '\n', (size_t)(len - start));
        return nl ? static_cast<const char*>(nl) - base + 1 : len;
    }
    Py_ssize_t end = start;
    while (end < len && PyUnicode_READ(kind, data, end) != '\n') ++end;
    return end < len ? end + 1 : len;
}

// readlines() of a normalised text: every line keeps its "\n".
Ref split_lines(PyObject* text) {
    Ref lines = Ref::steal(PyList_New(0));
    if (!lines) return lines;
    Py_ssize_t len = PyUnicode_GET_LENGTH(text);
    int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    for (Py_ssize_t start = 0; start < len;) {
        Py_ssize_t end = line_end(kind, data, len, start);
        Ref line = Ref::steal(PyUnicode_Substring(text, start, end));
        if (!line || PyList_Append(lines.get(), line.get()) < 0) return Ref();
        start = end;
    }
    return lines;
}

Ref read_lines(PyObject* path) {
    Ref text = read_text(path);
    if (!text) return text;
    return split_lines(text.get());
}

// Line indices repeat in every unit: keep the ints once instead of making
// one per source-map entry (bounded, so a huge file cannot pin much memory).
PyObject* line_index_object(Py_ssize_t i) {
    static PyObject* cache[1 << 16];
    if (i < 0 || i >= (Py_ssize_t)(sizeof cache / sizeof cache[0])) return PyLong_FromSsize_t(i);
    if (!cache[i]) {
        cache[i] = PyLong_FromSsize_t(i);
        if (!cache[i]) return nullptr;
    }
    Py_INCREF(cache[i]);
    return cache[i];
}

// The ASCII keyword stands at `start`, case-sensitive.
bool starts_with(int kind, const void* data, Py_ssize_t start, Py_ssize_t end, const char* kw,
                 Py_ssize_t kwlen) {
    if (end - start < kwlen) return false;
    if (kind == PyUnicode_1BYTE_KIND)
        return std::memcmp(static_cast<const char*>(data) + start, kw, (size_t)kwlen) == 0;
    for (Py_ssize_t i = 0; i < kwlen; ++i)
        if (PyUnicode_READ(kind, data, start + i) != (Py_UCS4)(unsigned char)kw[i]) return false;
    return true;
}

// line.replace(keyword, "").strip().replace('"', "").replace("'", "")
Ref directive_name(PyObject* line, const char* keyword) {
    Ref kw = Ref::steal(PyUnicode_FromString(keyword));
    Ref empty = Ref::steal(PyUnicode_FromStringAndSize("", 0));
    Ref dq = Ref::steal(PyUnicode_FromString("\""));
    Ref sq = Ref::steal(PyUnicode_FromString("'"));
    if (!kw || !empty || !dq || !sq) return Ref();
    Ref a = Ref::steal(PyUnicode_Replace(line, kw.get(), empty.get(), -1));
    if (!a) return a;
    Ref b = Ref::steal(PyObject_CallMethod(a.get(), "strip", nullptr));
    if (!b) return b;
    Ref c = Ref::steal(PyUnicode_Replace(b.get(), dq.get(), empty.get(), -1));
    if (!c) return c;
    return Ref::steal(PyUnicode_Replace(c.get(), sq.get(), empty.get(), -1));
}

// Raise GlslException for a directive that stops preprocessing. The message
// places it at the directive: the unit holding it, the directive's index and
// the include chain of that unit.
void raise_directive_error(Shader* self, PyObject* parent_refs, PyObject* src_info,
                           Py_ssize_t counter, const char* kind, PyObject* text, PyObject* line) {
    Ref kind_obj = Ref::steal(PyUnicode_FromString(kind));
    Ref origin = Ref::steal(PyUnicode_FromString("VESK"));
    if (!kind_obj || !origin) return;
    Py_ssize_t out_line = PyList_Check(self->source_map) ? PyList_GET_SIZE(self->source_map) : 0;
    Ref msg = Ref::steal(PyObject_CallFunction((PyObject*)message_type, "OOnOnOOOO", parent_refs,
                                               self->source_file, out_line, src_info, counter,
                                               kind_obj.get(), origin.get(), text, line));
    if (!msg) return;
    Ref exc = Ref::steal(PyObject_CallOneArg((PyObject*)exception_type, msg.get()));
    if (!exc) return;
    PyErr_SetObject((PyObject*)Py_TYPE(exc.get()), exc.get());
}

// The unit `target` is in the chain of the directive naming it (the units of
// parent_refs and the unit holding the directive): return 1 after raising
// the IncludeCycle message, 0 when there is no cycle, -1 on error.
int check_cycle(Shader* self, PyObject* target, PyObject* src_info, PyObject* parent_refs,
                Py_ssize_t counter, PyObject* line) {
    Ref refs = Ref::steal(PySequence_Fast(parent_refs, "parent_refs must be a list of include sites"));
    if (!refs) return -1;
    Py_ssize_t n = PySequence_Fast_GET_SIZE(refs.get());
    Ref chain = Ref::steal(PyList_New(0));
    if (!chain) return -1;
    bool cycle = false;
    for (Py_ssize_t i = 0; i <= n; ++i) {
        Ref unit = i < n ? Ref::steal(PySequence_GetItem(PySequence_Fast_GET_ITEM(refs.get(), i), 0))
                         : Ref::new_ref(src_info);
        if (!unit) return -1;
        if (!cycle) {
            int eq = PyObject_RichCompareBool(unit.get(), target, Py_EQ);
            if (eq < 0) return -1;
            cycle = eq;
        }
        Ref s = Ref::steal(PyObject_Str(unit.get()));
        if (!s || PyList_Append(chain.get(), s.get()) < 0) return -1;
    }
    if (!cycle) return 0;
    Ref t = Ref::steal(PyObject_Str(target));
    Ref sep = Ref::steal(PyUnicode_FromString(" -> "));
    if (!t || !sep || PyList_Append(chain.get(), t.get()) < 0) return -1;
    Ref joined = Ref::steal(PyUnicode_Join(sep.get(), chain.get()));
    if (!joined) return -1;
    Ref text = Ref::steal(PyUnicode_FromFormat("%U includes itself: %U.", t.get(), joined.get()));
    if (!text) return -1;
    raise_directive_error(self, parent_refs, src_info, counter, "IncludeCycle", text.get(), line);
    return 1;
}

// list(parent_refs) + [(src_info, counter)]: the chain of the unit a
// directive at `counter` names.
Ref child_refs(PyObject* parent_refs, PyObject* src_info, Py_ssize_t counter) {
    Ref refs = Ref::steal(PySequence_List(parent_refs));
    if (!refs) return refs;
    Ref site = Ref::steal(Py_BuildValue("(On)", src_info, counter));
    if (!site || PyList_Append(refs.get(), site.get()) < 0) return Ref();
    return refs;
}

// Whether the instance leaves the reading and the expansion of include files
// to the compiled bodies; then a file is expanded straight from its text,
// without making its list of lines first. The result is the same.
int uses_builtin_expansion(Shader* self) {
    Ref o = frame::find_override((PyObject*)self, frame::intern("_process_include_file"),
                                 (PyCFunction)(void (*)())py_process_include_file);
    if (o) return 0;
    if (PyErr_Occurred()) return -1;
    o = frame::find_override((PyObject*)self, frame::intern("_load_include_file"),
                             py_load_include_file);
    if (o) return 0;
    return PyErr_Occurred() ? -1 : 1;
}

int expand_text(Shader* self, PyObject* src_info, PyObject* text, PyObject* parent_refs);

// Expand the unit a directive names, through the method table (so that
// overrides see every unit) or, when nothing is overridden, from its text.
// `lines` is the unit's list of lines, or null for a file not yet read.
int expand_unit(Shader* self, PyObject* unit, PyObject* lines, PyObject* refs) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader._process_include_file", kFile};
    // Chains are cut at cycles, but a Python override could still recurse
    // without end: keep it a RecursionError rather than a stack overflow.
    if (Py_EnterRecursiveCall(" while expanding GLSL include directives")) return -1;
    int rc = -1;
    if (lines) {
        Ref r = Ref::steal(self->vtab->_process_include_file(self, unit, lines, refs, 0));
        rc = r ? 0 : -1;
    } else {
        int builtin = uses_builtin_expansion(self);
        if (builtin > 0) {
            Ref text = read_text(unit);
            if (!text) {
                // The traceback a read through _load_include_file would give.
                frame::add_traceback(
                    frame::Where{"vesk.opengl.glsl.shader.Shader._load_include_file", kFile}, __LINE__);
            } else if (expand_text(self, unit, text.get(), refs) < 0) {
                frame::add_traceback(here, __LINE__);
            } else {
                rc = 0;
            }
        } else if (builtin == 0) {
            Ref loaded = Ref::steal(self->vtab->_load_include_file(self, unit, 0));
            Ref r = loaded ? Ref::steal(self->vtab->_process_include_file(self, unit, loaded.get(), refs, 0))
                           : Ref();
            rc = r ? 0 : -1;
        }
    }
    Py_LeaveRecursiveCall();
    return rc;
}

// Expand one directive line. Returns 0, or -1 with an exception set
// (GlslException for an unresolved or cyclic directive).
int expand_directive(Shader* self, PyObject* src_info, PyObject* line, Py_ssize_t counter,
                     PyObject* parent_refs, bool is_file) {
    Ref name = directive_name(line, is_file ? kIncludeFile : kIncludeReference);
    if (!name) return -1;
    Ref unit, lines;
    if (is_file) {
        Ref path = get_shader_path(name.get(), true);
        if (!path) {
            // A name that cannot name a data file (empty, absolute, "..") is
            // not found, reported at its directive like any other.
            if (!PyErr_ExceptionMatches(PyExc_ValueError)) return -1;
            PyErr_Clear();
            path = Ref::new_ref(Py_None);
        }
        int found = PyObject_IsTrue(path.get());
        if (found < 0) return -1;
        if (found) {
            int c = check_cycle(self, path.get(), src_info, parent_refs, counter, line);
            if (c != 0) return -1;
            unit = std::move(path);
        }
    } else {
        Ref text = Ref::steal(PyObject_CallMethod((PyObject*)reference_type, "get_include_text",
                                                  "O", name.get()));
        if (!text) return -1;
        int found = PyObject_IsTrue(text.get());
        if (found < 0) return -1;
        if (found) {
            int c = check_cycle(self, name.get(), src_info, parent_refs, counter, line);
            if (c != 0) return -1;
            lines = PyUnicode_Check(text.get())
                        ? Ref::steal(PyUnicode_Splitlines(text.get(), 1))
                        : Ref::steal(PyObject_CallMethod(text.get(), "splitlines", "O", Py_True));
            if (!lines) return -1;
            unit = Ref::new_ref(name.get());
        }
    }
    if (!unit) {
        Ref text = Ref::steal(PyUnicode_FromFormat("%U was not found.", name.get()));
        if (!text) return -1;
        raise_directive_error(self, parent_refs, src_info, counter,
                              is_file ? "IncludeFileNotFound" : "IncludeReferenceNotFound",
                              text.get(), line);
        return -1;
    }
    Ref refs = child_refs(parent_refs, src_info, counter);
    if (!refs) return -1;
    return expand_unit(self, unit.get(), lines.get(), refs.get());
}

// One line of a unit: characters [start, end) of `str`, terminator included.
// `line` is that line as an object of its own when the caller has one
// (then str is line, start 0 and end its length). A directive is expanded;
// any other line is appended to the source map without trailing whitespace.
// While the compiled expansion of a shader runs, the text of every entry it
// appends is also written here, so `source` needs no second pass over the
// map. Saved and restored around each expansion: a callback may build
// another shader meanwhile.
struct SourceWriter {
    Shader* owner;
    _PyUnicodeWriter w;
    Py_ssize_t count;  // entries written
};
SourceWriter* active_writer = nullptr;

int write_source_line(Shader* self, PyObject* str, Py_ssize_t start, Py_ssize_t stop) {
    SourceWriter* sw = active_writer;
    if (!sw || sw->owner != self) return 0;
    if (sw->count > 0 && _PyUnicodeWriter_WriteChar(&sw->w, '\n') < 0) return -1;
    if (stop > start && _PyUnicodeWriter_WriteSubstring(&sw->w, str, start, stop) < 0) return -1;
    ++sw->count;
    return 0;
}

// `own_chain`: parent_refs is a list this module made (and never changes)
// and src_info a str, so the entry cannot be part of a reference cycle and
// is left untracked by the cycle collector, which would otherwise walk every
// entry of a large map again and again while the map is built.
int process_line(Shader* self, PyObject* map, PyObject* src_info, PyObject* parent_refs,
                 Py_ssize_t counter, PyObject* str, Py_ssize_t start, Py_ssize_t end, PyObject* line,
                 bool own_chain) {
    int kind = PyUnicode_KIND(str);
    const void* data = PyUnicode_DATA(str);
    if (end > start && PyUnicode_READ(kind, data, start) == '#') {
        // "#include_file" is tested first.
        bool is_file = starts_with(kind, data, start, end, kIncludeFile, sizeof kIncludeFile - 1);
        if (is_file || starts_with(kind, data, start, end, kIncludeReference,
                                   sizeof kIncludeReference - 1)) {
            Ref l = line ? Ref::new_ref(line) : Ref::steal(PyUnicode_Substring(str, start, end));
            if (!l) return -1;
            return expand_directive(self, src_info, l.get(), counter, parent_refs, is_file);
        }
    }
    Py_ssize_t stop = end;
    while (stop > start && Py_UNICODE_ISSPACE(PyUnicode_READ(kind, data, stop - 1))) --stop;
    PyObject* text;
    if (line && stop == end) {
        text = Ref::new_ref(line).release();
    } else if (PyUnicode_IS_ASCII(str) && stop > start) {
        // The common case, without PyUnicode_Substring's generic checks.
        text = PyUnicode_New(stop - start, 127);
        if (text)
            std::memcpy(PyUnicode_1BYTE_DATA(text), PyUnicode_1BYTE_DATA(str) + start,
                        (size_t)(stop - start));
    } else {
        text = PyUnicode_Substring(str, start, stop);
    }
    if (!text) return -1;
    PyObject* index = line_index_object(counter);
    PyObject* entry = index ? PyTuple_New(4) : nullptr;
    if (!entry) {
        Py_DECREF(text);
        Py_XDECREF(index);
        return -1;
    }
    Py_INCREF(src_info);
    Py_INCREF(parent_refs);
    PyTuple_SET_ITEM(entry, 0, text);
    PyTuple_SET_ITEM(entry, 1, src_info);
    PyTuple_SET_ITEM(entry, 2, index);
    PyTuple_SET_ITEM(entry, 3, parent_refs);
    if (own_chain) PyObject_GC_UnTrack(entry);
    int rc = PyList_Append(map, entry);
    Py_DECREF(entry);
    if (rc < 0) return -1;
    return write_source_line(self, str, start, stop);
}

PyObject* checked_map(Shader* self) {
    if (PyList_Check(self->source_map)) return self->source_map;
    PyErr_SetString(PyExc_TypeError, "source_map must be a list");
    return nullptr;
}

// The unit whose normalised text is `text`, line by line as readlines()
// would split it. parent_refs is the module's own chain list (the root's
// empty list or one made by child_refs).
int expand_text(Shader* self, PyObject* src_info, PyObject* text, PyObject* parent_refs) {
    PyObject* map = checked_map(self);
    if (!map) return -1;
    Py_ssize_t len = PyUnicode_GET_LENGTH(text);
    int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    bool own_chain = PyUnicode_CheckExact(src_info);
    Py_ssize_t counter = 0;
    for (Py_ssize_t start = 0; start < len; ++counter) {
        Py_ssize_t end = line_end(kind, data, len, start);
        if (process_line(self, map, src_info, parent_refs, counter, text, start, end, nullptr,
                         own_chain) < 0)
            return -1;
        start = end;
    }
    return 0;
}

// ------------------------------------------------------------------ method table

PyObject* process_include_file(Shader* self, PyObject* src_info, PyObject* src_lines,
                               PyObject* parent_refs, int skip) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader._process_include_file", kFile};
    if (!skip) {
        Ref o = frame::find_override((PyObject*)self, frame::intern("_process_include_file"),
                                     (PyCFunction)(void (*)())py_process_include_file);
        if (o) {
            PyObject* r = PyObject_CallFunctionObjArgs(o.get(), src_info, src_lines, parent_refs, nullptr);
            return r ? r : FRAME_FAIL(here, nullptr);
        }
        if (PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    }
    PyObject* map = checked_map(self);
    if (!map) return FRAME_FAIL(here, nullptr);
    Ref seq = Ref::steal(PySequence_Fast(src_lines, "src_lines must be a sequence of str"));
    if (!seq) return FRAME_FAIL(here, nullptr);
    Py_ssize_t n = PySequence_Fast_GET_SIZE(seq.get());
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* line = PySequence_Fast_GET_ITEM(seq.get(), i);
        if (!PyUnicode_Check(line)) {
            PyErr_Format(PyExc_TypeError, "source lines must be str, not %.200s",
                         Py_TYPE(line)->tp_name);
            return FRAME_FAIL(here, nullptr);
        }
        if (process_line(self, map, src_info, parent_refs, i, line, 0, PyUnicode_GET_LENGTH(line),
                         line, false) < 0)
            return FRAME_FAIL(here, nullptr);
    }
    Py_RETURN_NONE;
}

PyObject* load_include_file(Shader* self, PyObject* path, int skip) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader._load_include_file", kFile};
    if (!skip) {
        Ref o = frame::find_override((PyObject*)self, frame::intern("_load_include_file"),
                                     py_load_include_file);
        if (o) {
            PyObject* r = PyObject_CallOneArg(o.get(), path);
            return r ? r : FRAME_FAIL(here, nullptr);
        }
        if (PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    }
    Ref lines = read_lines(path);
    return lines ? lines.release() : FRAME_FAIL(here, nullptr);
}

PyObject* process_source(Shader* self, int skip) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader._process_source", kFile};
    if (!skip) {
        Ref o = frame::find_override((PyObject*)self, frame::intern("_process_source"),
                                     py_process_source);
        if (o) {
            PyObject* r = PyObject_CallNoArgs(o.get());
            return r ? r : FRAME_FAIL(here, nullptr);
        }
        if (PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    }
    Ref text = read_text(self->source_file);
    if (!text) return FRAME_FAIL(here, nullptr);
    Ref root_refs = Ref::steal(PyList_New(0));
    if (!root_refs) return FRAME_FAIL(here, nullptr);
    int builtin = uses_builtin_expansion(self);
    if (builtin < 0) return FRAME_FAIL(here, nullptr);
    if (builtin) {
        PyObject* map = checked_map(self);
        if (!map) return FRAME_FAIL(here, nullptr);
        Py_ssize_t before = PyList_GET_SIZE(map);
        SourceWriter sw{self, {}, 0};
        _PyUnicodeWriter_Init(&sw.w);
        sw.w.overallocate = 1;
        SourceWriter* saved = active_writer;
        active_writer = &sw;
        int rc = expand_text(self, self->source_file, text.get(), root_refs.get());
        active_writer = saved;
        if (rc < 0) {
            _PyUnicodeWriter_Dealloc(&sw.w);
            frame::add_traceback(
                frame::Where{"vesk.opengl.glsl.shader.Shader._process_include_file", kFile}, __LINE__);
            return FRAME_FAIL(here, nullptr);
        }
        // The written text is the join of the map only if the map held
        // nothing before and nothing else appended to it meanwhile.
        if (before == 0 && PyList_Check(self->source_map) &&
            PyList_GET_SIZE(self->source_map) == sw.count) {
            Ref source = Ref::steal(_PyUnicodeWriter_Finish(&sw.w));
            if (!source) return FRAME_FAIL(here, nullptr);
            frame::set_field(&self->source, source.get());
            Py_RETURN_NONE;
        }
        _PyUnicodeWriter_Dealloc(&sw.w);
    } else {
        Ref lines = split_lines(text.get());
        if (!lines) return FRAME_FAIL(here, nullptr);
        Ref r = Ref::steal(self->vtab->_process_include_file(self, self->source_file, lines.get(),
                                                             root_refs.get(), 0));
        if (!r) return FRAME_FAIL(here, nullptr);
    }
    // source = "\n".join(entry[0] for entry in source_map)
    Ref map = Ref::steal(PySequence_Fast(self->source_map, "source_map must be a list"));
    if (!map) return FRAME_FAIL(here, nullptr);
    Py_ssize_t n = PySequence_Fast_GET_SIZE(map.get());
    Ref texts = Ref::steal(PyList_New(n));
    if (!texts) return FRAME_FAIL(here, nullptr);
    for (Py_ssize_t i = 0; i < n; ++i) {
        PyObject* entry = PySequence_Fast_GET_ITEM(map.get(), i);
        PyObject* t;
        if (PyTuple_Check(entry) && PyTuple_GET_SIZE(entry) > 0) {
            t = PyTuple_GET_ITEM(entry, 0);
            Py_INCREF(t);
        } else {
            t = PySequence_GetItem(entry, 0);
            if (!t) return FRAME_FAIL(here, nullptr);
        }
        PyList_SET_ITEM(texts.get(), i, t);
    }
    Ref sep = Ref::steal(PyUnicode_FromString("\n"));
    if (!sep) return FRAME_FAIL(here, nullptr);
    Ref source = Ref::steal(PyUnicode_Join(sep.get(), texts.get()));
    if (!source) return FRAME_FAIL(here, nullptr);
    frame::set_field(&self->source, source.get());
    Py_RETURN_NONE;
}

// ------------------------------------------------------------------ GL functions

bool check_shader_name(unsigned int shader) {
    if (glIsShader(shader)) return true;
    PyErr_Format(PyExc_ValueError, "%u is not the name of a shader object", shader);
    return false;
}

void load_shader_source(unsigned int shader, PyObject* source) {
    static const frame::Where here{"vesk.opengl.glsl.shader.load_shader_source", kFile};
    if (!glsupport::require_context()) goto bad;
    if (!source || !PyUnicode_Check(source)) {
        PyErr_Format(PyExc_TypeError, "shader source must be str, not %.200s",
                     source ? Py_TYPE(source)->tp_name : "NULL");
        goto bad;
    }
    {
        Py_ssize_t size;
        const char* utf8 = PyUnicode_AsUTF8AndSize(source, &size);
        if (!utf8) goto bad;
        if (size > INT_MAX) {
            PyErr_SetString(PyExc_OverflowError, "shader source too long for glShaderSource");
            goto bad;
        }
        if (!check_shader_name(shader)) goto bad;
        // One string, its length the number of bytes of its UTF-8 encoding.
        GLint length = (GLint)size;
        glShaderSource(shader, 1, &utf8, &length);
    }
    return;
bad:
    frame::add_traceback(here, __LINE__);
    frame::write_unraisable(here.name);
}

bool known_shader_parameter(unsigned int parameter) {
    switch (parameter) {
        case GL_SHADER_TYPE:
        case GL_DELETE_STATUS:
        case GL_COMPILE_STATUS:
        case GL_INFO_LOG_LENGTH:
        case GL_SHADER_SOURCE_LENGTH:
        case 0x9552:  // GL_SPIR_V_BINARY
        case 0x91B1:  // GL_COMPLETION_STATUS_ARB
            return true;
        default:
            return false;
    }
}

int get_shader_parameter(unsigned int shader, unsigned int parameter) {
    if (!glsupport::require_context() || !check_shader_name(shader)) return -1;
    if (!known_shader_parameter(parameter)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", parameter);
        PyErr_Format(PyExc_ValueError, "%s is not a shader parameter", hex);
        return -1;
    }
    GLint value = 0;
    glGetShaderiv(shader, parameter, &value);
    return value;
}

int get_shader_compile_status(unsigned int shader) {
    return get_shader_parameter(shader, GL_COMPILE_STATUS);
}

PyObject* get_shader_info_log(unsigned int shader) {
    if (!glsupport::require_context() || !check_shader_name(shader)) return nullptr;
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length < 0) length = 0;
    char* buf = static_cast<char*>(PyMem_Malloc((size_t)length + 1));
    if (!buf) return PyErr_NoMemory();
    GLsizei written = 0;
    glGetShaderInfoLog(shader, length, &written, buf);
    if (written < 0 || written > length) written = 0;
    // A log that is not valid UTF-8 must not hide the compile error it reports.
    PyObject* r = PyUnicode_DecodeUTF8(buf, written, "replace");
    PyMem_Free(buf);
    return r;
}

// ------------------------------------------------------------------ _process_errors

// The log line the exception reports: the first that is an error (a log may
// list warnings before the error that failed the compile), else the first.
Ref message_for_log(Shader* self, PyObject* lines) {
    Py_ssize_t n = PyList_GET_SIZE(lines);
    for (Py_ssize_t i = 0; i < n; ++i) {
        Ref m = Ref::steal(create_message(PyList_GET_ITEM(lines, i), self->source_file, self->source_map));
        if (!m) return m;
        PyObject* kind = reinterpret_cast<glsl_message::GlslMessage*>(m.get())->kind;
        if (PyUnicode_Check(kind)) {
            Ref err = Ref::steal(PyUnicode_FromString("error"));
            if (!err) return err;
            int has = PyUnicode_Contains(kind, err.get());
            if (has < 0) return Ref();
            if (has) return m;
        }
    }
    return Ref::steal(create_message(PyList_GET_ITEM(lines, 0), self->source_file, self->source_map));
}

PyObject* process_errors(Shader* self, int skip) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader._process_errors", kFile};
    if (!skip) {
        Ref o = frame::find_override((PyObject*)self, frame::intern("_process_errors"),
                                     py_process_errors);
        if (o) {
            PyObject* r = PyObject_CallNoArgs(o.get());
            return r ? r : FRAME_FAIL(here, nullptr);
        }
        if (PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    }
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    GLint status = 0;
    glGetShaderiv(self->_gl_id, GL_COMPILE_STATUS, &status);
    if (status != 0) Py_RETURN_NONE;  // warnings in the log stay silent
    Ref log = Ref::steal(get_shader_info_log(self->_gl_id));
    if (!log) return FRAME_FAIL(here, nullptr);
    Ref lines = Ref::steal(PyUnicode_Splitlines(log.get(), 0));
    if (!lines) return FRAME_FAIL(here, nullptr);
    Ref print = frame::get_builtin("print");
    if (!print) return FRAME_FAIL(here, nullptr);
    Ref printed = Ref::steal(PyObject_CallOneArg(print.get(), lines.get()));
    if (!printed) return FRAME_FAIL(here, nullptr);
    Ref msg;
    if (PyList_GET_SIZE(lines.get()) > 0) {
        msg = message_for_log(self, lines.get());
    } else {
        // A failed compile is never reported as success, log or not.
        msg = Ref::steal(PyObject_CallFunction((PyObject*)message_type, "[]OiOissss",
                                               self->source_file, -1, Py_None, -1, "error", "GLSL",
                                               "compilation failed without an info log", ""));
    }
    if (!msg) return FRAME_FAIL(here, nullptr);
    Ref exc = Ref::steal(PyObject_CallOneArg((PyObject*)exception_type, msg.get()));
    if (!exc) return FRAME_FAIL(here, nullptr);
    PyErr_SetObject((PyObject*)Py_TYPE(exc.get()), exc.get());
    return FRAME_FAIL(here, nullptr);
}

// ------------------------------------------------------------------ construction

PyObject* arg_names[2];

int cinit(Shader* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader.__cinit__", kFile};
    PyObject* v[2];
    if (frame::parse_args("__cinit__", args, kwds, arg_names, 2, v) < 0) return FRAME_FAIL(here, -1);
    Ref path = get_shader_path(v[0], false);
    if (!path) return FRAME_FAIL(here, -1);
    if (path.get() != Py_None && !PyUnicode_CheckExact(path.get())) {
        PyErr_Format(PyExc_TypeError, "Expected %.16s, got %.200s", "str", Py_TYPE(path.get())->tp_name);
        return FRAME_FAIL(here, -1);
    }
    frame::set_field(&self->source_file, path.get());
    Ref map = Ref::steal(PyList_New(0));
    Ref empty = Ref::steal(PyUnicode_FromStringAndSize("", 0));
    if (!map || !empty) return FRAME_FAIL(here, -1);
    frame::set_field(&self->source_map, map.get());
    frame::set_field(&self->source, empty.get());
    Ref r = Ref::steal(self->vtab->_process_source(self, 0));
    if (!r) return FRAME_FAIL(here, -1);
    Ref aux = Ref::steal(PyDict_New());
    if (!aux) return FRAME_FAIL(here, -1);
    frame::set_field(&self->aux_dict, aux.get());
    uint32_t shader_type;
    if (!frame::to_glenum(v[1], &shader_type)) return FRAME_FAIL(here, -1);
    self->shader_type = shader_type;
    if (!glsupport::require_context()) return FRAME_FAIL(here, -1);
    self->_gl_id = glCreateShader(shader_type);
    if (self->_gl_id == 0) {
        // Nothing to compile into: an invalid stage must not pass as a shader.
        while (glGetError() != GL_NO_ERROR) {
        }
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", shader_type);
        PyErr_Format(PyExc_ValueError, "glCreateShader failed for shader type %s", hex);
        return FRAME_FAIL(here, -1);
    }
    load_shader_source(self->_gl_id, self->source);
    glCompileShader(self->_gl_id);
    r = Ref::steal(self->vtab->_process_errors(self, 0));
    if (!r) {
        // The failed shader object is unreachable once construction fails.
        glDeleteShader(self->_gl_id);
        self->_gl_id = 0;
        return FRAME_FAIL(here, -1);
    }
    return 0;
}

PyObject* tp_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* o = frame::alloc_instance(t, fields);
    if (!o) return nullptr;
    Shader* self = reinterpret_cast<Shader*>(o);
    self->vtab = &vtab;
    self->_gl_id = 0;
    self->shader_type = 0;
    if (cinit(self, args, kwds) < 0) {
        Py_DECREF(o);
        return nullptr;
    }
    return o;
}

int tp_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, fields, visit, arg);
}
int tp_clear(PyObject* o) {
    frame::clear_fields(o, fields);
    return 0;
}
// Releases the fields only: the GL shader object belongs to whoever links it.
void tp_dealloc(PyObject* o) { frame::dealloc_instance(o, fields); }

// ------------------------------------------------------------------ Python wrappers

Shader* cast(PyObject* o) { return reinterpret_cast<Shader*>(o); }

PyObject* py_process_errors(PyObject* self, PyObject*) { return process_errors(cast(self), 1); }
PyObject* py_process_source(PyObject* self, PyObject*) { return process_source(cast(self), 1); }
PyObject* py_load_include_file(PyObject* self, PyObject* path) {
    return load_include_file(cast(self), path, 1);
}

PyObject* py_process_include_file(PyObject* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.shader.Shader._process_include_file", kFile};
    static PyObject* names[3];
    if (!names[0]) {
        names[0] = frame::intern("src_info");
        names[1] = frame::intern("src_lines");
        names[2] = frame::intern("parent_refs");
        if (!names[0] || !names[1] || !names[2]) return nullptr;
    }
    PyObject* v[3];
    if (frame::parse_args("_process_include_file", args, kwds, names, 3, v) < 0)
        return FRAME_FAIL(here, nullptr);
    return process_include_file(cast(self), v[0], v[1], v[2], 1);
}

PyObject* get_gl_id(PyObject* o, void*) { return PyLong_FromUnsignedLong(cast(o)->_gl_id); }
PyObject* get_shader_type(PyObject* o, void*) { return PyLong_FromUnsignedLong(cast(o)->shader_type); }
PyObject* get_field(PyObject* o, void* closure) {
    auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + (Py_ssize_t)closure);
    return Ref::new_ref(*slot).release();
}

PyMethodDef methods[] = {
    {"_process_errors", py_process_errors, METH_NOARGS,
     "Shader._process_errors(self)"},
    {"_process_source", py_process_source, METH_NOARGS,
     "Shader._process_source(self)"},
    {"_process_include_file", (PyCFunction)(void (*)())py_process_include_file,
     METH_VARARGS | METH_KEYWORDS,
     "Shader._process_include_file(self, src_info, src_lines, parent_refs)"},
    {"_load_include_file", py_load_include_file, METH_O,
     "Shader._load_include_file(self, include_file_path)"},
    {nullptr, nullptr, 0, nullptr},
};

#define SHADER_FIELD(name) (void*)offsetof(Shader, name)
PyGetSetDef getset[] = {
    {"_gl_id", get_gl_id, nullptr, "Name of the GL shader object.", nullptr},
    {"source_file", get_field, nullptr, "Resolved path of the root source file.",
     SHADER_FIELD(source_file)},
    {"source", get_field, nullptr, "The preprocessed source text.", SHADER_FIELD(source)},
    {"source_map", get_field, nullptr,
     "One (text, unit, line index, parent_refs) entry per line of source.",
     SHADER_FIELD(source_map)},
    {"shader_type", get_shader_type, nullptr, "The shader stage (a GL enumerant).", nullptr},
    {"aux_dict", get_field, nullptr, "A dictionary for the owner's use.", SHADER_FIELD(aux_dict)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
#undef SHADER_FIELD

// ------------------------------------------------------------------ module functions

PyObject* py_load_shader_source(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.shader.load_shader_source", kFile};
    static PyObject* names[2];
    if (!names[0]) {
        names[0] = frame::intern("shader");
        names[1] = frame::intern("source");
        if (!names[0] || !names[1]) return nullptr;
    }
    PyObject* v[2];
    if (frame::parse_args("load_shader_source", args, kwds, names, 2, v) < 0)
        return FRAME_FAIL(here, nullptr);
    uint32_t shader;
    if (!frame::to_gluint(v[0], &shader)) return FRAME_FAIL(here, nullptr);
    if (!frame::check_arg_type(v[1], &PyUnicode_Type, "source")) return FRAME_FAIL(here, nullptr);
    load_shader_source(shader, v[1]);
    Py_RETURN_NONE;
}

PyObject* py_get_shader_parameter(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.shader.get_shader_parameter", kFile};
    static PyObject* names[2];
    if (!names[0]) {
        names[0] = frame::intern("shader");
        names[1] = frame::intern("parameter");
        if (!names[0] || !names[1]) return nullptr;
    }
    PyObject* v[2];
    if (frame::parse_args("get_shader_parameter", args, kwds, names, 2, v) < 0)
        return FRAME_FAIL(here, nullptr);
    uint32_t shader, parameter;
    if (!frame::to_gluint(v[0], &shader)) return FRAME_FAIL(here, nullptr);
    if (!frame::to_glenum(v[1], &parameter)) return FRAME_FAIL(here, nullptr);
    int r = get_shader_parameter(shader, parameter);
    if (r == -1 && PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    return PyLong_FromLong(r);
}

PyObject* py_get_shader_info_log(PyObject*, PyObject* arg) {
    static const frame::Where here{"vesk.opengl.glsl.shader.get_shader_info_log", kFile};
    uint32_t shader;
    if (!frame::to_gluint(arg, &shader)) return FRAME_FAIL(here, nullptr);
    PyObject* r = get_shader_info_log(shader);
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyObject* py_get_shader_compile_status(PyObject*, PyObject* arg) {
    static const frame::Where here{"vesk.opengl.glsl.shader.get_shader_compile_status", kFile};
    uint32_t shader;
    if (!frame::to_gluint(arg, &shader)) return FRAME_FAIL(here, nullptr);
    int r = get_shader_compile_status(shader);
    if (r == -1 && PyErr_Occurred()) return FRAME_FAIL(here, nullptr);
    return PyLong_FromLong(r);
}

PyMethodDef functions[] = {
    {"load_shader_source", (PyCFunction)(void (*)())py_load_shader_source,
     METH_VARARGS | METH_KEYWORDS,
     "load_shader_source(GLuint shader, str source) -> void"},
    {"get_shader_parameter", (PyCFunction)(void (*)())py_get_shader_parameter,
     METH_VARARGS | METH_KEYWORDS,
     "get_shader_parameter(GLuint shader, GLenum parameter) -> int"},
    {"get_shader_info_log", py_get_shader_info_log, METH_O,
     "get_shader_info_log(GLuint shader) -> str"},
    {"get_shader_compile_status", py_get_shader_compile_status, METH_O,
     "get_shader_compile_status(GLuint shader) -> int"},
    {nullptr, nullptr, 0, nullptr},
};

// ------------------------------------------------------------------ registration

int register_classes(PyObject* module) {
    arg_names[0] = frame::intern("source_file");
    arg_names[1] = frame::intern("shader_type");
    if (!arg_names[0] || !arg_names[1]) return -1;
    vtab._process_errors = process_errors;
    vtab._process_source = process_source;
    vtab._process_include_file = process_include_file;
    vtab._load_include_file = load_include_file;
    frame::ClassSpec class_spec{};
    class_spec.type = &type;
    class_spec.dotted = "vesk.opengl.glsl.shader.Shader";
    class_spec.short_name = kClass;
    class_spec.basicsize = sizeof(Shader);
    class_spec.doc =
        "Shader(source_file, GLenum shader_type)\n\n"
        "One compiled GL shader object made from a GLSL file. \"#include_file name\"\n"
        "and \"#include_reference name\" lines are replaced by the unit they name;\n"
        "source_map places every line of source in its unit. A failed compile\n"
        "raises GlslException at the file and line of the first error.";
    class_spec.tp_new = tp_new;
    class_spec.tp_dealloc = tp_dealloc;
    class_spec.tp_traverse = tp_traverse;
    class_spec.tp_clear = tp_clear;
    class_spec.methods = methods;
    class_spec.getset = getset;
    class_spec.vtable = &vtab;
    return frame::register_class(module, class_spec);
}

int import_classes(PyObject*) {
    message_type = frame::import_class(glsl_message::kModule, glsl_message::kMessageClass,
                                       sizeof(glsl_message::GlslMessage), glsl_message::kHeader);
    if (!message_type) return -1;
    exception_type = frame::import_class(glsl_message::kModule, glsl_message::kExceptionClass,
                                         sizeof(glsl_message::GlslException), glsl_message::kHeader);
    if (!exception_type) return -1;
    reference_type = frame::import_class(glsl_reference_include::kModule,
                                         glsl_reference_include::kClass,
                                         sizeof(glsl_reference_include::GlslReferenceInclude),
                                         glsl_reference_include::kHeader);
    return reference_type ? 0 : -1;
}

int import_functions(PyObject*) {
    create_message = reinterpret_cast<glsl_message::CreateFn>(frame::import_function(
        glsl_message::kModule, glsl_message::kCreateName, glsl_message::kCreateSig));
    return create_message ? 0 : -1;
}

int body(PyObject* module) {
    if (frame::export_function(module, kLoadShaderSourceName, (void*)load_shader_source,
                               kLoadShaderSourceSig) < 0 ||
        frame::export_function(module, kGetShaderParameterName, (void*)get_shader_parameter,
                               kGetShaderParameterSig) < 0 ||
        frame::export_function(module, kGetShaderInfoLogName, (void*)get_shader_info_log,
                               kGetShaderInfoLogSig) < 0 ||
        frame::export_function(module, kGetShaderCompileStatusName,
                               (void*)get_shader_compile_status, kGetShaderCompileStatusSig) < 0)
        return -1;
    return 0;
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "shader", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::shader

PyMODINIT_FUNC PyInit_shader() {
    using namespace vesk::shader;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.import_functions = import_functions;
    init.body = body;
    return frame::init_module(init);
}
