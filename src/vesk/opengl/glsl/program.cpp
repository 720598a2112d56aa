// Program: link the stages made from their files, then describe the active
// uniforms (values converted by GL type, set with glProgramUniform* so the
// program need not be bound) and the uniform blocks (bound to uniform
// buffers at a binding point of their own).
#include "program.hpp"

#include "glsl_message.hpp"
#include "glsupport/glsupport.hpp"
#include "linvec/matrix4.hpp"
#include "linvec/matrix4f.hpp"
#include "linvec/vector2.hpp"
#include "linvec/vector2f.hpp"
#include "linvec/vector3.hpp"
#include "linvec/vector3f.hpp"
#include "linvec/vector4.hpp"
#include "linvec/vector4f.hpp"
#include "shader.hpp"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vesk::program {
namespace {

using frame::Ref;

constexpr const char* kFile = "vesk\\opengl\\glsl\\program.cpp";

PyTypeObject program_type;
PyTypeObject uniform_type;
PyTypeObject block_type;
PyTypeObject member_type;
UniformVtab uniform_vtab;
UniformBlockVtab block_vtab;

// Bound at import.
PyTypeObject* shader_type;
PyTypeObject* message_type;
PyTypeObject* exception_type;

ContextRef current_ref() { return glsupport::current_context(); }

// ------------------------------------------------------------------ GL types

enum class Base : uint8_t { Float, Double, Int, Uint, Bool, Unit };

// One GL uniform type: scalars and vectors have one column of `rows`
// components, matrices `cols` columns of `rows` (GLSL matCxR). Unit types
// (samplers, images) take a texture or image unit as an int.
struct TypeInfo {
    GLenum type;
    const char* gl_name;
    const char* glsl;
    Base base;
    uint8_t cols;
    uint8_t rows;
};

#define T(e, glsl, base, cols, rows) {e, #e, glsl, Base::base, cols, rows}
#define UNIT(e, glsl) {e, #e, glsl, Base::Unit, 1, 1}
const TypeInfo kTypes[] = {
    T(GL_FLOAT, "float", Float, 1, 1),
    T(GL_FLOAT_VEC2, "vec2", Float, 1, 2),
    T(GL_FLOAT_VEC3, "vec3", Float, 1, 3),
    T(GL_FLOAT_VEC4, "vec4", Float, 1, 4),
    T(GL_DOUBLE, "double", Double, 1, 1),
    T(GL_DOUBLE_VEC2, "dvec2", Double, 1, 2),
    T(GL_DOUBLE_VEC3, "dvec3", Double, 1, 3),
    T(GL_DOUBLE_VEC4, "dvec4", Double, 1, 4),
    T(GL_INT, "int", Int, 1, 1),
    T(GL_INT_VEC2, "ivec2", Int, 1, 2),
    T(GL_INT_VEC3, "ivec3", Int, 1, 3),
    T(GL_INT_VEC4, "ivec4", Int, 1, 4),
    T(GL_UNSIGNED_INT, "uint", Uint, 1, 1),
    T(GL_UNSIGNED_INT_VEC2, "uvec2", Uint, 1, 2),
    T(GL_UNSIGNED_INT_VEC3, "uvec3", Uint, 1, 3),
    T(GL_UNSIGNED_INT_VEC4, "uvec4", Uint, 1, 4),
    T(GL_BOOL, "bool", Bool, 1, 1),
    T(GL_BOOL_VEC2, "bvec2", Bool, 1, 2),
    T(GL_BOOL_VEC3, "bvec3", Bool, 1, 3),
    T(GL_BOOL_VEC4, "bvec4", Bool, 1, 4),
    T(GL_FLOAT_MAT2, "mat2", Float, 2, 2),
    T(GL_FLOAT_MAT3, "mat3", Float, 3, 3),
    T(GL_FLOAT_MAT4, "mat4", Float, 4, 4),
    T(GL_FLOAT_MAT2x3, "mat2x3", Float, 2, 3),
    T(GL_FLOAT_MAT2x4, "mat2x4", Float, 2, 4),
    T(GL_FLOAT_MAT3x2, "mat3x2", Float, 3, 2),
    T(GL_FLOAT_MAT3x4, "mat3x4", Float, 3, 4),
    T(GL_FLOAT_MAT4x2, "mat4x2", Float, 4, 2),
    T(GL_FLOAT_MAT4x3, "mat4x3", Float, 4, 3),
    T(GL_DOUBLE_MAT2, "dmat2", Double, 2, 2),
    T(GL_DOUBLE_MAT3, "dmat3", Double, 3, 3),
    T(GL_DOUBLE_MAT4, "dmat4", Double, 4, 4),
    T(GL_DOUBLE_MAT2x3, "dmat2x3", Double, 2, 3),
    T(GL_DOUBLE_MAT2x4, "dmat2x4", Double, 2, 4),
    T(GL_DOUBLE_MAT3x2, "dmat3x2", Double, 3, 2),
    T(GL_DOUBLE_MAT3x4, "dmat3x4", Double, 3, 4),
    T(GL_DOUBLE_MAT4x2, "dmat4x2", Double, 4, 2),
    T(GL_DOUBLE_MAT4x3, "dmat4x3", Double, 4, 3),
    UNIT(GL_SAMPLER_1D, "sampler1D"),
    UNIT(GL_SAMPLER_2D, "sampler2D"),
    UNIT(GL_SAMPLER_3D, "sampler3D"),
    UNIT(GL_SAMPLER_CUBE, "samplerCube"),
    UNIT(GL_SAMPLER_1D_SHADOW, "sampler1DShadow"),
    UNIT(GL_SAMPLER_2D_SHADOW, "sampler2DShadow"),
    UNIT(GL_SAMPLER_1D_ARRAY, "sampler1DArray"),
    UNIT(GL_SAMPLER_2D_ARRAY, "sampler2DArray"),
    UNIT(GL_SAMPLER_1D_ARRAY_SHADOW, "sampler1DArrayShadow"),
    UNIT(GL_SAMPLER_2D_ARRAY_SHADOW, "sampler2DArrayShadow"),
    UNIT(GL_SAMPLER_CUBE_SHADOW, "samplerCubeShadow"),
    UNIT(GL_SAMPLER_2D_RECT, "sampler2DRect"),
    UNIT(GL_SAMPLER_2D_RECT_SHADOW, "sampler2DRectShadow"),
    UNIT(GL_SAMPLER_BUFFER, "samplerBuffer"),
    UNIT(GL_SAMPLER_2D_MULTISAMPLE, "sampler2DMS"),
    UNIT(GL_SAMPLER_2D_MULTISAMPLE_ARRAY, "sampler2DMSArray"),
    UNIT(GL_SAMPLER_CUBE_MAP_ARRAY, "samplerCubeArray"),
    UNIT(GL_SAMPLER_CUBE_MAP_ARRAY_SHADOW, "samplerCubeArrayShadow"),
    UNIT(GL_INT_SAMPLER_1D, "isampler1D"),
    UNIT(GL_INT_SAMPLER_2D, "isampler2D"),
    UNIT(GL_INT_SAMPLER_3D, "isampler3D"),
    UNIT(GL_INT_SAMPLER_CUBE, "isamplerCube"),
    UNIT(GL_INT_SAMPLER_1D_ARRAY, "isampler1DArray"),
    UNIT(GL_INT_SAMPLER_2D_ARRAY, "isampler2DArray"),
    UNIT(GL_INT_SAMPLER_2D_RECT, "isampler2DRect"),
    UNIT(GL_INT_SAMPLER_BUFFER, "isamplerBuffer"),
    UNIT(GL_INT_SAMPLER_2D_MULTISAMPLE, "isampler2DMS"),
    UNIT(GL_INT_SAMPLER_2D_MULTISAMPLE_ARRAY, "isampler2DMSArray"),
    UNIT(GL_INT_SAMPLER_CUBE_MAP_ARRAY, "isamplerCubeArray"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_1D, "usampler1D"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_2D, "usampler2D"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_3D, "usampler3D"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_CUBE, "usamplerCube"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_1D_ARRAY, "usampler1DArray"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_2D_ARRAY, "usampler2DArray"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_2D_RECT, "usampler2DRect"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_BUFFER, "usamplerBuffer"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_2D_MULTISAMPLE, "usampler2DMS"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_2D_MULTISAMPLE_ARRAY, "usampler2DMSArray"),
    UNIT(GL_UNSIGNED_INT_SAMPLER_CUBE_MAP_ARRAY, "usamplerCubeArray"),
    UNIT(GL_IMAGE_1D, "image1D"),
    UNIT(GL_IMAGE_2D, "image2D"),
    UNIT(GL_IMAGE_3D, "image3D"),
    UNIT(GL_IMAGE_2D_RECT, "image2DRect"),
    UNIT(GL_IMAGE_CUBE, "imageCube"),
    UNIT(GL_IMAGE_BUFFER, "imageBuffer"),
    UNIT(GL_IMAGE_1D_ARRAY, "image1DArray"),
    UNIT(GL_IMAGE_2D_ARRAY, "image2DArray"),
    UNIT(GL_IMAGE_CUBE_MAP_ARRAY, "imageCubeArray"),
    UNIT(GL_IMAGE_2D_MULTISAMPLE, "image2DMS"),
    UNIT(GL_IMAGE_2D_MULTISAMPLE_ARRAY, "image2DMSArray"),
    UNIT(GL_INT_IMAGE_1D, "iimage1D"),
    UNIT(GL_INT_IMAGE_2D, "iimage2D"),
    UNIT(GL_INT_IMAGE_3D, "iimage3D"),
    UNIT(GL_INT_IMAGE_2D_RECT, "iimage2DRect"),
    UNIT(GL_INT_IMAGE_CUBE, "iimageCube"),
    UNIT(GL_INT_IMAGE_BUFFER, "iimageBuffer"),
    UNIT(GL_INT_IMAGE_1D_ARRAY, "iimage1DArray"),
    UNIT(GL_INT_IMAGE_2D_ARRAY, "iimage2DArray"),
    UNIT(GL_INT_IMAGE_CUBE_MAP_ARRAY, "iimageCubeArray"),
    UNIT(GL_INT_IMAGE_2D_MULTISAMPLE, "iimage2DMS"),
    UNIT(GL_INT_IMAGE_2D_MULTISAMPLE_ARRAY, "iimage2DMSArray"),
    UNIT(GL_UNSIGNED_INT_IMAGE_1D, "uimage1D"),
    UNIT(GL_UNSIGNED_INT_IMAGE_2D, "uimage2D"),
    UNIT(GL_UNSIGNED_INT_IMAGE_3D, "uimage3D"),
    UNIT(GL_UNSIGNED_INT_IMAGE_2D_RECT, "uimage2DRect"),
    UNIT(GL_UNSIGNED_INT_IMAGE_CUBE, "uimageCube"),
    UNIT(GL_UNSIGNED_INT_IMAGE_BUFFER, "uimageBuffer"),
    UNIT(GL_UNSIGNED_INT_IMAGE_1D_ARRAY, "uimage1DArray"),
    UNIT(GL_UNSIGNED_INT_IMAGE_2D_ARRAY, "uimage2DArray"),
    UNIT(GL_UNSIGNED_INT_IMAGE_CUBE_MAP_ARRAY, "uimageCubeArray"),
    UNIT(GL_UNSIGNED_INT_IMAGE_2D_MULTISAMPLE, "uimage2DMS"),
    UNIT(GL_UNSIGNED_INT_IMAGE_2D_MULTISAMPLE_ARRAY, "uimage2DMSArray"),
};
#undef UNIT
#undef T

// Further names glew_enum_to_name knows: shader stages and atomic counters.
struct EnumName {
    GLenum value;
    const char* name;
};
#define E(e) {e, #e}
const EnumName kOtherNames[] = {
    E(GL_VERTEX_SHADER),          E(GL_FRAGMENT_SHADER),     E(GL_GEOMETRY_SHADER),
    E(GL_TESS_CONTROL_SHADER),    E(GL_TESS_EVALUATION_SHADER), E(GL_COMPUTE_SHADER),
    E(GL_UNSIGNED_INT_ATOMIC_COUNTER),
};
#undef E

const TypeInfo* find_type(GLenum type) {
    for (const TypeInfo& t : kTypes)
        if (t.type == type) return &t;
    return nullptr;
}

std::string hex_name(GLenum value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", value);
    return buf;
}

PyObject* glew_enum_to_name(unsigned int value) {
    if (const TypeInfo* t = find_type(value)) return PyUnicode_FromString(t->gl_name);
    for (const EnumName& e : kOtherNames)
        if (e.value == value) return PyUnicode_FromString(e.name);
    return PyUnicode_FromString(hex_name(value).c_str());
}

// ------------------------------------------------------------------ Uniform

const Py_ssize_t uniform_offsets[] = {offsetof(Uniform, name)};
const frame::Fields uniform_fields{uniform_offsets, 1};

Uniform* as_uniform(PyObject* o) { return reinterpret_cast<Uniform*>(o); }

// Type infos stay with the uniform's type; looked up once per uniform.
const TypeInfo* info_of(const Uniform* u) { return find_type(u->type); }

// "vec4", or "float[3]" for an array.
std::string type_text(const Uniform* u, const TypeInfo* t) {
    std::string s = t ? t->glsl : hex_name(u->type);
    if (u->size > 1) s += "[" + std::to_string(u->size) + "]";
    return s;
}

// The TypeError of a value that does not fit.
int does_not_fit(const Uniform* u, const TypeInfo* t, PyObject* value, const std::string& detail) {
    Ref name = Ref::steal(PyObject_Str(u->name));
    if (!name) return -1;
    PyErr_Format(PyExc_TypeError, "uniform '%U' of type %s cannot be set from %.200s%s", name.get(),
                 type_text(u, t).c_str(), Py_TYPE(value)->tp_name, detail.c_str());
    return -1;
}

int out_of_range(const Uniform* u, const TypeInfo* t, PyObject* number) {
    Ref name = Ref::steal(PyObject_Str(u->name));
    if (!name) return -1;
    PyErr_Format(t->base == Base::Unit ? PyExc_ValueError : PyExc_OverflowError,
                 t->base == Base::Unit ? "uniform '%U' of type %s takes a unit from 0 to 2147483647, not %R"
                                       : "uniform '%U' of type %s cannot hold %R",
                 name.get(), type_text(u, t).c_str(), number);
    return -1;
}

// Converted components, packed as the glProgramUniform* call of the base
// takes them: GLfloat, GLdouble, GLint or GLuint.
struct Packed {
    Base base;
    unsigned char* bytes;
    void put_real(int i, double v) const {
        if (base == Base::Double) reinterpret_cast<GLdouble*>(bytes)[i] = v;
        else reinterpret_cast<GLfloat*>(bytes)[i] = (GLfloat)v;
    }
    void put_int(int i, int32_t v) const { reinterpret_cast<GLint*>(bytes)[i] = v; }
    void put_uint(int i, uint32_t v) const { reinterpret_cast<GLuint*>(bytes)[i] = v; }
    Packed at(int i) const { return Packed{base, bytes + (size_t)i * width(base)}; }
    static size_t width(Base b) { return b == Base::Double ? sizeof(GLdouble) : 4; }
};

// One scalar. Returns 0; 1 when the object does not fit the base (no error
// set); -1 with an error set.
int convert_scalar(const Uniform* u, const TypeInfo* t, PyObject* v, const Packed& out, int i) {
    switch (t->base) {
        case Base::Float:
        case Base::Double: {
            double d;
            if (PyFloat_Check(v)) {
                d = PyFloat_AS_DOUBLE(v);
            } else if (PyLong_Check(v) || PyIndex_Check(v) ||
                       (Py_TYPE(v)->tp_as_number && Py_TYPE(v)->tp_as_number->nb_float)) {
                d = PyFloat_AsDouble(v);
                if (d == -1.0 && PyErr_Occurred()) {
                    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return -1;
                    PyErr_Clear();
                    return 1;
                }
            } else {
                return 1;
            }
            out.put_real(i, d);
            return 0;
        }
        case Base::Bool: {
            if (v == Py_True || v == Py_False) {
                out.put_int(i, v == Py_True);
                return 0;
            }
            PyNumberMethods* nb = Py_TYPE(v)->tp_as_number;
            if (!nb || !(nb->nb_index || nb->nb_int || nb->nb_float)) return 1;
            int truth = PyObject_IsTrue(v);
            if (truth < 0) return -1;
            out.put_int(i, truth);
            return 0;
        }
        case Base::Int:
        case Base::Uint:
        case Base::Unit: {
            if (!PyIndex_Check(v)) return 1;
            Ref n = Ref::steal(PyNumber_Index(v));
            if (!n) return -1;
            int overflow = 0;
            long long x = PyLong_AsLongLongAndOverflow(n.get(), &overflow);
            if (x == -1 && PyErr_Occurred()) return -1;
            long long lo = t->base == Base::Int ? INT32_MIN : 0;
            long long hi = t->base == Base::Uint ? (long long)UINT32_MAX : INT32_MAX;
            if (overflow || x < lo || x > hi) return out_of_range(u, t, n.get());
            if (t->base == Base::Uint) out.put_uint(i, (uint32_t)x);
            else out.put_int(i, (int32_t)x);
            return 0;
        }
    }
    return 1;
}

bool is_text(PyObject* v) { return PyUnicode_Check(v) || PyBytes_Check(v) || PyByteArray_Check(v); }

// A vector or matrix from a linvec object of the same shape (float bases
// only). Returns 0 when it was one, 1 when not.
int convert_linvec(const TypeInfo* t, PyObject* v, const Packed& out) {
    if (t->base != Base::Float && t->base != Base::Double) return 1;
    double c[16];
    int n = t->cols * t->rows;
    if (t->cols == 4 && t->rows == 4) {
        if (linvec::matrix4f::check(v)) {
            for (int i = 0; i < 16; ++i) c[i] = reinterpret_cast<linvec::matrix4f::Matrix4f*>(v)->m[i];
        } else if (linvec::matrix4::check(v)) {
            for (int i = 0; i < 16; ++i) c[i] = reinterpret_cast<linvec::matrix4::Matrix4*>(v)->m[i];
        } else {
            return 1;
        }
    } else if (t->cols == 1 && t->rows == 2) {
        if (linvec::vector2f::check(v)) {
            auto* p = reinterpret_cast<linvec::vector2f::Vector2f*>(v);
            c[0] = p->x, c[1] = p->y;
        } else if (linvec::vector2::check(v)) {
            auto* p = reinterpret_cast<linvec::vector2::Vector2*>(v);
            c[0] = p->x, c[1] = p->y;
        } else {
            return 1;
        }
    } else if (t->cols == 1 && t->rows == 3) {
        if (linvec::vector3f::check(v)) {
            auto* p = reinterpret_cast<linvec::vector3f::Vector3f*>(v);
            c[0] = p->x, c[1] = p->y, c[2] = p->z;
        } else if (linvec::vector3::check(v)) {
            auto* p = reinterpret_cast<linvec::vector3::Vector3*>(v);
            c[0] = p->x, c[1] = p->y, c[2] = p->z;
        } else {
            return 1;
        }
    } else if (t->cols == 1 && t->rows == 4) {
        if (linvec::vector4f::check(v)) {
            auto* p = reinterpret_cast<linvec::vector4f::Vector4f*>(v);
            c[0] = p->x, c[1] = p->y, c[2] = p->z, c[3] = p->w;
        } else if (linvec::vector4::check(v)) {
            auto* p = reinterpret_cast<linvec::vector4::Vector4*>(v);
            c[0] = p->x, c[1] = p->y, c[2] = p->z, c[3] = p->w;
        } else {
            return 1;
        }
    } else {
        return 1;
    }
    for (int i = 0; i < n; ++i) out.put_real(i, c[i]);
    return 0;
}

// A matrix given as `cols` columns of `rows` numbers each (the order linvec
// matrices iterate in, and GL's).
int convert_columns(const Uniform* u, const TypeInfo* t, PyObject* v, PyObject* columns,
                    const Packed& out) {
    for (int c = 0; c < t->cols; ++c) {
        PyObject* column = PySequence_Fast_GET_ITEM(columns, c);
        if (is_text(column) || !PySequence_Check(column))
            return does_not_fit(u, t, v, " (column " + std::to_string(c) + ": " + Py_TYPE(column)->tp_name + ")");
        Ref col = Ref::steal(PySequence_Fast(column, "a sequence is required"));
        if (!col) return -1;
        if (PySequence_Fast_GET_SIZE(col.get()) != t->rows)
            return does_not_fit(u, t, v, " (column " + std::to_string(c) + " of length " +
                                             std::to_string(PySequence_Fast_GET_SIZE(col.get())) + ")");
        for (int r = 0; r < t->rows; ++r) {
            PyObject* item = PySequence_Fast_GET_ITEM(col.get(), r);
            int rc = convert_scalar(u, t, item, out, c * t->rows + r);
            if (rc < 0) return -1;
            if (rc == 1)
                return does_not_fit(u, t, v, " (column " + std::to_string(c) + ", row " + std::to_string(r) +
                                                 ": " + Py_TYPE(item)->tp_name + ")");
        }
    }
    return 0;
}

// One element of the uniform (a scalar, vector or matrix) into out[0..n).
// Returns 0, or -1 with an error set (the TypeError naming the uniform when
// the value does not fit).
int convert_element(const Uniform* u, const TypeInfo* t, PyObject* v, const Packed& out) {
    int n = t->cols * t->rows;
    if (n == 1) {
        int r = convert_scalar(u, t, v, out, 0);
        return r == 1 ? does_not_fit(u, t, v, "") : r;
    }
    if (convert_linvec(t, v, out) == 0) return 0;
    if (is_text(v) || !PySequence_Check(v)) return does_not_fit(u, t, v, "");
    Ref seq = Ref::steal(PySequence_Fast(v, "a sequence is required"));
    if (!seq) return -1;
    Py_ssize_t len = PySequence_Fast_GET_SIZE(seq.get());
    if (t->cols > 1 && len == t->cols) return convert_columns(u, t, v, seq.get(), out);
    if (len != n) return does_not_fit(u, t, v, " of length " + std::to_string(len));
    for (int i = 0; i < n; ++i) {
        PyObject* item = PySequence_Fast_GET_ITEM(seq.get(), i);
        int r = convert_scalar(u, t, item, out, i);
        if (r < 0) return -1;
        if (r == 1)
            return does_not_fit(u, t, v, " (item " + std::to_string(i) + ": " + Py_TYPE(item)->tp_name + ")");
    }
    return 0;
}

void upload(const TypeInfo* t, GLuint program, GLint location, GLsizei count, const void* p) {
    if (t->cols > 1) {
        bool d = t->base == Base::Double;
        auto f = static_cast<const GLfloat*>(p);
        auto g = static_cast<const GLdouble*>(p);
        switch (t->cols * 10 + t->rows) {
            case 22: d ? glProgramUniformMatrix2dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix2fv(program, location, count, GL_FALSE, f); break;
            case 33: d ? glProgramUniformMatrix3dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix3fv(program, location, count, GL_FALSE, f); break;
            case 44: d ? glProgramUniformMatrix4dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix4fv(program, location, count, GL_FALSE, f); break;
            case 23: d ? glProgramUniformMatrix2x3dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix2x3fv(program, location, count, GL_FALSE, f); break;
            case 24: d ? glProgramUniformMatrix2x4dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix2x4fv(program, location, count, GL_FALSE, f); break;
            case 32: d ? glProgramUniformMatrix3x2dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix3x2fv(program, location, count, GL_FALSE, f); break;
            case 34: d ? glProgramUniformMatrix3x4dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix3x4fv(program, location, count, GL_FALSE, f); break;
            case 42: d ? glProgramUniformMatrix4x2dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix4x2fv(program, location, count, GL_FALSE, f); break;
            case 43: d ? glProgramUniformMatrix4x3dv(program, location, count, GL_FALSE, g)
                       : glProgramUniformMatrix4x3fv(program, location, count, GL_FALSE, f); break;
        }
        return;
    }
    switch (t->base) {
        case Base::Float: {
            auto f = static_cast<const GLfloat*>(p);
            switch (t->rows) {
                case 1: glProgramUniform1fv(program, location, count, f); break;
                case 2: glProgramUniform2fv(program, location, count, f); break;
                case 3: glProgramUniform3fv(program, location, count, f); break;
                case 4: glProgramUniform4fv(program, location, count, f); break;
            }
            break;
        }
        case Base::Double: {
            auto g = static_cast<const GLdouble*>(p);
            switch (t->rows) {
                case 1: glProgramUniform1dv(program, location, count, g); break;
                case 2: glProgramUniform2dv(program, location, count, g); break;
                case 3: glProgramUniform3dv(program, location, count, g); break;
                case 4: glProgramUniform4dv(program, location, count, g); break;
            }
            break;
        }
        case Base::Uint: {
            auto v = static_cast<const GLuint*>(p);
            switch (t->rows) {
                case 1: glProgramUniform1uiv(program, location, count, v); break;
                case 2: glProgramUniform2uiv(program, location, count, v); break;
                case 3: glProgramUniform3uiv(program, location, count, v); break;
                case 4: glProgramUniform4uiv(program, location, count, v); break;
            }
            break;
        }
        case Base::Int:
        case Base::Bool:
        case Base::Unit: {
            auto v = static_cast<const GLint*>(p);
            switch (t->rows) {
                case 1: glProgramUniform1iv(program, location, count, v); break;
                case 2: glProgramUniform2iv(program, location, count, v); break;
                case 3: glProgramUniform3iv(program, location, count, v); break;
                case 4: glProgramUniform4iv(program, location, count, v); break;
            }
            break;
        }
    }
}

// The program exists and its context is current; else RuntimeError.
bool check_usable(PyObject* name, uint32_t program, const ContextRef& context, const char* what) {
    if (program == 0) {
        PyErr_Format(PyExc_RuntimeError, "%s '%S' belongs to a released program", what, name);
        return false;
    }
    if (!glsupport::is_current(context)) {
        PyErr_Format(PyExc_RuntimeError, "the OpenGL context of %s '%S' is not current", what, name);
        return false;
    }
    return true;
}

int set_value(Uniform* self, PyObject* value) {
    if (!check_usable(self->name, self->program, self->context, "uniform")) return -1;
    const TypeInfo* t = info_of(self);
    if (!t) {
        Ref name = Ref::steal(PyObject_Str(self->name));
        if (!name) return -1;
        PyErr_Format(PyExc_TypeError, "uniform '%U' of type %s cannot be set", name.get(),
                     hex_name(self->type).c_str());
        return -1;
    }
    int n = t->cols * t->rows;
    if (self->size <= 1) {
        alignas(GLdouble) unsigned char one[16 * sizeof(GLdouble)];
        if (convert_element(self, t, value, Packed{t->base, one}) < 0) return -1;
        upload(t, self->program, self->location, 1, one);
        return 0;
    }
    // An array: a sequence of 1 to size elements, from element 0 on.
    if (is_text(value) || !PySequence_Check(value)) return does_not_fit(self, t, value, "");
    Ref seq = Ref::steal(PySequence_Fast(value, "a sequence is required"));
    if (!seq) return -1;
    Py_ssize_t count = PySequence_Fast_GET_SIZE(seq.get());
    if (count < 1 || count > self->size)
        return does_not_fit(self, t, value, " of length " + std::to_string(count));
    std::vector<GLdouble> storage((size_t)(count * n));  // wide enough for any base
    Packed data{t->base, reinterpret_cast<unsigned char*>(storage.data())};
    for (Py_ssize_t i = 0; i < count; ++i)
        if (convert_element(self, t, PySequence_Fast_GET_ITEM(seq.get(), i), data.at((int)(i * n))) < 0)
            return -1;
    upload(t, self->program, self->location, (GLsizei)count, storage.data());
    return 0;
}

// One element read back at `location`.
PyObject* read_element(const Uniform* u, const TypeInfo* t, GLint location) {
    int n = t->cols * t->rows;
    alignas(GLdouble) unsigned char s[16 * sizeof(GLdouble)];
    switch (t->base) {
        case Base::Float: glGetUniformfv(u->program, location, reinterpret_cast<GLfloat*>(s)); break;
        case Base::Double: glGetUniformdv(u->program, location, reinterpret_cast<GLdouble*>(s)); break;
        case Base::Uint: glGetUniformuiv(u->program, location, reinterpret_cast<GLuint*>(s)); break;
        default: glGetUniformiv(u->program, location, reinterpret_cast<GLint*>(s)); break;
    }
    auto item = [&](int i) -> PyObject* {
        // glGetUniform* writes a packed array of its own element type.
        switch (t->base) {
            case Base::Float: return PyFloat_FromDouble(reinterpret_cast<const GLfloat*>(s)[i]);
            case Base::Double: return PyFloat_FromDouble(reinterpret_cast<const GLdouble*>(s)[i]);
            case Base::Uint: return PyLong_FromUnsignedLong(reinterpret_cast<const GLuint*>(s)[i]);
            case Base::Bool: return PyBool_FromLong(reinterpret_cast<const GLint*>(s)[i]);
            default: return PyLong_FromLong(reinterpret_cast<const GLint*>(s)[i]);
        }
    };
    if (n == 1) return item(0);
    Ref tuple = Ref::steal(PyTuple_New(n));
    if (!tuple) return nullptr;
    for (int i = 0; i < n; ++i) {
        PyObject* x = item(i);
        if (!x) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), i, x);
    }
    return tuple.release();
}

PyObject* get_value(Uniform* self) {
    if (!check_usable(self->name, self->program, self->context, "uniform")) return nullptr;
    const TypeInfo* t = info_of(self);
    if (!t) {
        PyErr_Format(PyExc_TypeError, "uniform '%S' of type %s cannot be read", self->name,
                     hex_name(self->type).c_str());
        return nullptr;
    }
    if (self->size <= 1) return read_element(self, t, self->location);
    Ref tuple = Ref::steal(PyTuple_New(self->size));
    if (!tuple) return nullptr;
    for (int32_t i = 0; i < self->size; ++i) {
        GLint location = self->location;
        if (i > 0) {
            Ref element = Ref::steal(PyUnicode_FromFormat("%S[%d]", self->name, (int)i));
            const char* text = element ? PyUnicode_AsUTF8(element.get()) : nullptr;
            if (!text) return nullptr;
            location = glGetUniformLocation(self->program, text);
        }
        PyObject* x = location < 0 ? frame::none() : read_element(self, t, location);
        if (!x) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), i, x);
    }
    return tuple.release();
}

PyObject* create_uniform_from_type(unsigned int program, PyObject* name, int location,
                                   unsigned int type, int size) {
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "uniform name must be str, not %.200s", Py_TYPE(name)->tp_name);
        return nullptr;
    }
    if (!find_type(type)) {
        PyErr_Format(PyExc_TypeError, "uniform '%U' has a type that cannot be set: %s", name,
                     hex_name(type).c_str());
        return nullptr;
    }
    PyObject* o = frame::alloc_instance(&uniform_type, uniform_fields);
    if (!o) return nullptr;
    Uniform* u = as_uniform(o);
    u->vtab = &uniform_vtab;
    frame::set_field(&u->name, name);
    u->program = program;
    u->location = location;
    u->type = type;
    u->size = size < 1 ? 1 : size;
    u->context = current_ref();
    return o;
}

PyObject* uniform_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError,
                    "Uniform objects come from Program.uniforms or create_uniform_from_type");
    return nullptr;
}

int uniform_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, uniform_fields, visit, arg);
}
int uniform_clear(PyObject* o) {
    frame::clear_fields(o, uniform_fields);
    return 0;
}
void uniform_dealloc(PyObject* o) { frame::dealloc_instance(o, uniform_fields); }

PyObject* uniform_get_value(PyObject* o, void*) {
    static const frame::Where here{"vesk.opengl.glsl.program.Uniform.value.__get__", kFile};
    PyObject* r = as_uniform(o)->vtab->get_value(as_uniform(o));
    return r ? r : FRAME_FAIL(here, nullptr);
}

int uniform_set_value(PyObject* o, PyObject* v, void*) {
    static const frame::Where here{"vesk.opengl.glsl.program.Uniform.value.__set__", kFile};
    if (!v) {
        PyErr_SetString(PyExc_NotImplementedError, "__del__");
        return FRAME_FAIL(here, -1);
    }
    return as_uniform(o)->vtab->set_value(as_uniform(o), v) < 0 ? FRAME_FAIL(here, -1) : 0;
}

PyObject* uniform_get_name(PyObject* o, void*) { return Ref::new_ref(as_uniform(o)->name).release(); }
PyObject* uniform_get_location(PyObject* o, void*) { return PyLong_FromLong(as_uniform(o)->location); }
PyObject* uniform_get_type(PyObject* o, void*) { return PyLong_FromUnsignedLong(as_uniform(o)->type); }
PyObject* uniform_get_size(PyObject* o, void*) { return PyLong_FromLong(as_uniform(o)->size); }
PyObject* uniform_get_program(PyObject* o, void*) { return PyLong_FromUnsignedLong(as_uniform(o)->program); }
PyObject* uniform_get_type_name(PyObject* o, void*) {
    const Uniform* u = as_uniform(o);
    return PyUnicode_FromString(type_text(u, info_of(u)).c_str());
}

PyGetSetDef uniform_getset[] = {
    {"value", uniform_get_value, uniform_set_value,
     "The uniform's value, set without binding the program. float and double types take\n"
     "numbers; int, uint and sampler/image types ints (units for samplers); bool types\n"
     "numbers or bools; vectors a linvec vector or a sequence of numbers; mat4 a Matrix4f or\n"
     "Matrix4; matrices a sequence of columns or a flat sequence in column-major order;\n"
     "arrays a sequence of elements. Reading gives the values back from GL as floats,\n"
     "ints, bools and tuples (matrices flat, column-major).",
     nullptr},
    {"name", uniform_get_name, nullptr, "The uniform's name (an array's without \"[0]\").", nullptr},
    {"location", uniform_get_location, nullptr, "The uniform's location.", nullptr},
    {"type", uniform_get_type, nullptr, "The GL type enumerant (GL_FLOAT_VEC4, ...).", nullptr},
    {"type_name", uniform_get_type_name, nullptr, "The GLSL type (\"vec4\", \"float[3]\").", nullptr},
    {"size", uniform_get_size, nullptr, "Array length; 1 for a plain uniform.", nullptr},
    {"program", uniform_get_program, nullptr, "The GL program name; 0 once it is released.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* uniform_repr(PyObject* o) {
    const Uniform* u = as_uniform(o);
    return PyUnicode_FromFormat("<Uniform %R %s location=%d>", u->name, type_text(u, info_of(u)).c_str(),
                                (int)u->location);
}

// ------------------------------------------------------------------ UniformBlockMember

const Py_ssize_t member_offsets[] = {offsetof(UniformBlockMember, name)};
const frame::Fields member_fields{member_offsets, 1};

UniformBlockMember* as_member(PyObject* o) { return reinterpret_cast<UniformBlockMember*>(o); }

PyObject* create_uniform_block_member(PyObject* name, unsigned int type, int offset, int size,
                                      int array_stride, int matrix_stride) {
    PyObject* o = frame::alloc_instance(&member_type, member_fields);
    if (!o) return nullptr;
    UniformBlockMember* m = as_member(o);
    frame::set_field(&m->name, name);
    m->type = type;
    m->offset = offset;
    m->size = size;
    m->array_stride = array_stride;
    m->matrix_stride = matrix_stride;
    return o;
}

PyObject* member_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError,
                    "UniformBlockMember objects come from UniformBlock.members or "
                    "create_uniform_block_member");
    return nullptr;
}

int member_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, member_fields, visit, arg);
}
int member_clear(PyObject* o) {
    frame::clear_fields(o, member_fields);
    return 0;
}
void member_dealloc(PyObject* o) { frame::dealloc_instance(o, member_fields); }

PyObject* member_get_name(PyObject* o, void*) { return Ref::new_ref(as_member(o)->name).release(); }
PyObject* member_get_type(PyObject* o, void*) { return PyLong_FromUnsignedLong(as_member(o)->type); }
PyObject* member_get_int(PyObject* o, void* closure) {
    return PyLong_FromLong(*reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(o) +
                                                             (Py_ssize_t)closure));
}

PyGetSetDef member_getset[] = {
    {"name", member_get_name, nullptr, "The member's name as GL reports it.", nullptr},
    {"type", member_get_type, nullptr, "The GL type enumerant.", nullptr},
    {"offset", member_get_int, nullptr, "Byte offset from the start of the block.",
     (void*)offsetof(UniformBlockMember, offset)},
    {"size", member_get_int, nullptr, "Array length; 1 for a plain member.",
     (void*)offsetof(UniformBlockMember, size)},
    {"array_stride", member_get_int, nullptr, "Bytes between array elements (0: not an array).",
     (void*)offsetof(UniformBlockMember, array_stride)},
    {"matrix_stride", member_get_int, nullptr, "Bytes between matrix columns (0: not a matrix).",
     (void*)offsetof(UniformBlockMember, matrix_stride)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* member_repr(PyObject* o) {
    const UniformBlockMember* m = as_member(o);
    Ref type = Ref::steal(glew_enum_to_name(m->type));
    if (!type) return nullptr;
    return PyUnicode_FromFormat("<UniformBlockMember %R %U offset=%d>", m->name, type.get(),
                                (int)m->offset);
}

// ------------------------------------------------------------------ UniformBlock

const Py_ssize_t block_offsets[] = {offsetof(UniformBlock, name), offsetof(UniformBlock, members)};
const frame::Fields block_fields{block_offsets, 2};

UniformBlock* as_block(PyObject* o) { return reinterpret_cast<UniformBlock*>(o); }

int bind(UniformBlock* self, PyObject* buffer) {
    if (!check_usable(self->name, self->program, self->context, "uniform block")) return -1;
    uint32_t id = 0;
    if (buffer != Py_None) {
        Ref gl_id;
        if (PyLong_Check(buffer)) {
            gl_id = Ref::new_ref(buffer);
        } else {
            gl_id = Ref::steal(PyObject_GetAttrString(buffer, "_gl_id"));
            if (!gl_id) {
                if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
                PyErr_Clear();
                PyErr_Format(PyExc_TypeError,
                             "uniform block '%S' binds a buffer with _gl_id or a GL buffer name, "
                             "not %.200s",
                             self->name, Py_TYPE(buffer)->tp_name);
                return -1;
            }
        }
        if (!frame::to_gluint(gl_id.get(), &id)) return -1;
        if (id != 0 && !glIsBuffer(id)) {
            PyErr_Format(PyExc_ValueError, "%u is not the name of a buffer object", id);
            return -1;
        }
    }
    glBindBufferBase(GL_UNIFORM_BUFFER, self->binding, id);
    return 0;
}

PyObject* block_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "UniformBlock objects come from Program.uniform_blocks");
    return nullptr;
}

int block_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, block_fields, visit, arg);
}
int block_clear(PyObject* o) {
    frame::clear_fields(o, block_fields);
    return 0;
}
void block_dealloc(PyObject* o) { frame::dealloc_instance(o, block_fields); }

PyObject* py_bind(PyObject* o, PyObject* buffer) {
    static const frame::Where here{"vesk.opengl.glsl.program.UniformBlock.bind", kFile};
    if (as_block(o)->vtab->bind(as_block(o), buffer) < 0) return FRAME_FAIL(here, nullptr);
    Py_RETURN_NONE;
}

PyMethodDef block_methods[] = {
    {"bind", py_bind, METH_O,
     "UniformBlock.bind(self, buffer)"},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* block_get_name(PyObject* o, void*) { return Ref::new_ref(as_block(o)->name).release(); }
PyObject* block_get_members(PyObject* o, void*) { return PyDictProxy_New(as_block(o)->members); }
PyObject* block_get_uint(PyObject* o, void* closure) {
    return PyLong_FromUnsignedLong(*reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(o) +
                                                                      (Py_ssize_t)closure));
}
PyObject* block_get_data_size(PyObject* o, void*) { return PyLong_FromLong(as_block(o)->data_size); }

PyGetSetDef block_getset[] = {
    {"name", block_get_name, nullptr, "The block's name.", nullptr},
    {"members", block_get_members, nullptr, "Read-only mapping: member name -> UniformBlockMember.",
     nullptr},
    {"program", block_get_uint, nullptr, "The GL program name; 0 once it is released.",
     (void*)offsetof(UniformBlock, program)},
    {"index", block_get_uint, nullptr, "The block's index in the program.",
     (void*)offsetof(UniformBlock, index)},
    {"binding", block_get_uint, nullptr, "The uniform-buffer binding point bind() uses.",
     (void*)offsetof(UniformBlock, binding)},
    {"data_size", block_get_data_size, nullptr, "Bytes a buffer bound to the block must hold.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* block_repr(PyObject* o) {
    const UniformBlock* b = as_block(o);
    return PyUnicode_FromFormat("<UniformBlock %R binding=%u data_size=%d>", b->name,
                                (unsigned)b->binding, (int)b->data_size);
}

// ------------------------------------------------------------------ Program

const Py_ssize_t program_offsets[] = {
    offsetof(Program, vertex_shader), offsetof(Program, fragment_shader),
    offsetof(Program, geometry_shader), offsetof(Program, uniforms),
    offsetof(Program, uniform_blocks),
};
const frame::Fields program_fields{program_offsets, 5};

Program* as_program(PyObject* o) { return reinterpret_cast<Program*>(o); }

// Forget the program in every uniform and block (their values can no longer
// be set), then delete the program and the shaders it made, if their
// context is current; otherwise the names are only forgotten.
void release_gl(Program* self) {
    for (PyObject* mapping : {self->uniforms, self->uniform_blocks}) {
        if (!mapping || !PyDict_Check(mapping)) continue;
        Py_ssize_t pos = 0;
        PyObject *key, *value;
        while (PyDict_Next(mapping, &pos, &key, &value)) {
            if (Py_TYPE(value) == &uniform_type) as_uniform(value)->program = 0;
            else if (Py_TYPE(value) == &block_type) as_block(value)->program = 0;
        }
    }
    bool current = glsupport::is_current(self->context);
    if (current && self->_gl_id) glDeleteProgram(self->_gl_id);
    for (uint32_t& id : self->shader_ids) {
        if (current && id) glDeleteShader(id);
        id = 0;
    }
    self->_gl_id = 0;
}

Ref program_info_log(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> buf((size_t)(length > 0 ? length : 0) + 1);
    GLsizei written = 0;
    glGetProgramInfoLog(program, length, &written, buf.data());
    if (written < 0 || written > length) written = 0;
    return Ref::steal(PyUnicode_DecodeUTF8(buf.data(), written, "replace"));
}

// GlslException for a failed link: a message without a place whose text is
// the whole link log.
void raise_link_error(GLuint program) {
    Ref log = program_info_log(program);
    if (!log) return;
    Ref text = Ref::steal(PyObject_CallMethod(log.get(), "strip", nullptr));
    if (!text) return;
    if (PyUnicode_GET_LENGTH(text.get()) == 0) {
        text = Ref::steal(PyUnicode_FromString("linking failed without an info log"));
        if (!text) return;
    }
    Ref msg = Ref::steal(PyObject_CallFunction((PyObject*)message_type, "[]OiOissOO", Py_None, -1,
                                               Py_None, -1, "LinkError", "GLSL", text.get(), log.get()));
    if (!msg) return;
    Ref exc = Ref::steal(PyObject_CallOneArg((PyObject*)exception_type, msg.get()));
    if (exc) PyErr_SetObject((PyObject*)Py_TYPE(exc.get()), exc.get());
}

// The active uniforms outside blocks, by name ("arr[0]" becomes "arr").
int collect_uniforms(Program* self, PyObject* dict) {
    GLuint p = self->_gl_id;
    GLint count = 0, max_len = 0;
    glGetProgramiv(p, GL_ACTIVE_UNIFORMS, &count);
    glGetProgramiv(p, GL_ACTIVE_UNIFORM_MAX_LENGTH, &max_len);
    std::vector<char> buf((size_t)max_len + 1);
    for (GLint i = 0; i < count; ++i) {
        GLsizei len = 0;
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(p, (GLuint)i, max_len + 1, &len, &size, &type, buf.data());
        std::string name(buf.data(), (size_t)len);
        GLint location = glGetUniformLocation(p, name.c_str());
        if (location < 0) continue;  // a block member or an atomic counter
        if (name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0) name.resize(name.size() - 3);
        Ref key = Ref::steal(PyUnicode_FromStringAndSize(name.data(), (Py_ssize_t)name.size()));
        if (!key) return -1;
        Ref u;
        if (find_type(type)) {
            u = Ref::steal(create_uniform_from_type(p, key.get(), location, type, size));
        } else {
            // Listed, so the name is known, but its value cannot be set.
            u = Ref::steal(frame::alloc_instance(&uniform_type, uniform_fields));
            if (u) {
                Uniform* x = as_uniform(u.get());
                x->vtab = &uniform_vtab;
                frame::set_field(&x->name, key.get());
                x->program = p;
                x->location = location;
                x->type = type;
                x->size = size;
                x->context = self->context;
            }
        }
        if (!u || PyDict_SetItem(dict, key.get(), u.get()) < 0) return -1;
    }
    return 0;
}

// The active uniform blocks by name, each with its members and a binding
// point of its own: block i binds at point i.
int collect_blocks(Program* self, PyObject* dict) {
    GLuint p = self->_gl_id;
    GLint count = 0, max_len = 0, max_member = 0;
    glGetProgramiv(p, GL_ACTIVE_UNIFORM_BLOCKS, &count);
    glGetProgramiv(p, GL_ACTIVE_UNIFORM_BLOCK_MAX_NAME_LENGTH, &max_len);
    glGetProgramiv(p, GL_ACTIVE_UNIFORM_MAX_LENGTH, &max_member);
    std::vector<char> buf((size_t)(max_len > max_member ? max_len : max_member) + 1);
    for (GLint b = 0; b < count; ++b) {
        GLsizei len = 0;
        glGetActiveUniformBlockName(p, (GLuint)b, (GLsizei)buf.size(), &len, buf.data());
        Ref name = Ref::steal(PyUnicode_FromStringAndSize(buf.data(), len));
        Ref members = Ref::steal(PyDict_New());
        if (!name || !members) return -1;
        GLint data_size = 0, n = 0;
        glGetActiveUniformBlockiv(p, (GLuint)b, GL_UNIFORM_BLOCK_DATA_SIZE, &data_size);
        glGetActiveUniformBlockiv(p, (GLuint)b, GL_UNIFORM_BLOCK_ACTIVE_UNIFORMS, &n);
        std::vector<GLint> indices((size_t)(n > 0 ? n : 0));
        if (n > 0) glGetActiveUniformBlockiv(p, (GLuint)b, GL_UNIFORM_BLOCK_ACTIVE_UNIFORM_INDICES, indices.data());
        for (GLint index : indices) {
            GLuint ui = (GLuint)index;
            GLint type = 0, offset = 0, size = 0, astride = 0, mstride = 0;
            glGetActiveUniformsiv(p, 1, &ui, GL_UNIFORM_TYPE, &type);
            glGetActiveUniformsiv(p, 1, &ui, GL_UNIFORM_OFFSET, &offset);
            glGetActiveUniformsiv(p, 1, &ui, GL_UNIFORM_SIZE, &size);
            glGetActiveUniformsiv(p, 1, &ui, GL_UNIFORM_ARRAY_STRIDE, &astride);
            glGetActiveUniformsiv(p, 1, &ui, GL_UNIFORM_MATRIX_STRIDE, &mstride);
            GLsizei mlen = 0;
            glGetActiveUniformName(p, ui, (GLsizei)buf.size(), &mlen, buf.data());
            Ref mname = Ref::steal(PyUnicode_FromStringAndSize(buf.data(), mlen));
            if (!mname) return -1;
            Ref m = Ref::steal(create_uniform_block_member(mname.get(), (GLenum)type, offset, size,
                                                           astride, mstride));
            if (!m || PyDict_SetItem(members.get(), mname.get(), m.get()) < 0) return -1;
        }
        glUniformBlockBinding(p, (GLuint)b, (GLuint)b);
        PyObject* o = frame::alloc_instance(&block_type, block_fields);
        if (!o) return -1;
        Ref block = Ref::steal(o);
        UniformBlock* x = as_block(o);
        x->vtab = &block_vtab;
        frame::set_field(&x->name, name.get());
        frame::set_field(&x->members, members.get());
        x->program = p;
        x->index = (uint32_t)b;
        x->binding = (uint32_t)b;
        x->data_size = data_size;
        x->context = self->context;
        if (PyDict_SetItem(dict, name.get(), o) < 0) return -1;
    }
    return 0;
}

PyObject* program_arg_names[3];

// One stage; its GL shader is recorded at once, so a later failure deletes it.
int make_stage(Program* self, PyObject* file, GLenum stage, PyObject** field, int slot) {
    Ref s = Ref::steal(PyObject_CallFunction((PyObject*)shader_type, "OI", file, (unsigned)stage));
    if (!s) return -1;
    self->shader_ids[slot] = reinterpret_cast<shader::Shader*>(s.get())->_gl_id;
    frame::set_field(field, s.get());
    return 0;
}

int program_cinit(Program* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.program.Program.__cinit__", kFile};
    // geometry_file may be left out: it defaults to None.
    Ref kw;
    if (PyTuple_GET_SIZE(args) < 3) {
        kw = Ref::steal(kwds ? PyDict_Copy(kwds) : PyDict_New());
        if (!kw) return FRAME_FAIL(here, -1);
        int has = PyDict_Contains(kw.get(), program_arg_names[2]);
        if (has < 0 || (!has && PyDict_SetItem(kw.get(), program_arg_names[2], Py_None) < 0))
            return FRAME_FAIL(here, -1);
        kwds = kw.get();
    }
    PyObject* v[3];
    if (frame::parse_args("__cinit__", args, kwds, program_arg_names, 3, v) < 0)
        return FRAME_FAIL(here, -1);
    if (!glsupport::require_context()) return FRAME_FAIL(here, -1);
    self->context = current_ref();
    if (make_stage(self, v[0], GL_VERTEX_SHADER, &self->vertex_shader, 0) < 0) return FRAME_FAIL(here, -1);
    if (make_stage(self, v[1], GL_FRAGMENT_SHADER, &self->fragment_shader, 1) < 0)
        return FRAME_FAIL(here, -1);
    if (v[2] != Py_None && make_stage(self, v[2], GL_GEOMETRY_SHADER, &self->geometry_shader, 2) < 0)
        return FRAME_FAIL(here, -1);
    GLuint p = glCreateProgram();
    if (!p) {
        PyErr_SetString(PyExc_RuntimeError, "glCreateProgram failed");
        return FRAME_FAIL(here, -1);
    }
    self->_gl_id = p;
    for (uint32_t id : self->shader_ids)
        if (id) glAttachShader(p, id);
    glLinkProgram(p);
    GLint linked = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &linked);
    if (!linked) {
        raise_link_error(p);
        return FRAME_FAIL(here, -1);
    }
    Ref uniforms = Ref::steal(PyDict_New());
    Ref blocks = Ref::steal(PyDict_New());
    if (!uniforms || !blocks) return FRAME_FAIL(here, -1);
    frame::set_field(&self->uniforms, uniforms.get());
    frame::set_field(&self->uniform_blocks, blocks.get());
    if (collect_uniforms(self, uniforms.get()) < 0) return FRAME_FAIL(here, -1);
    if (collect_blocks(self, blocks.get()) < 0) return FRAME_FAIL(here, -1);
    return 0;
}

PyObject* program_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* o = frame::alloc_instance(t, program_fields);
    if (!o) return nullptr;
    Program* self = as_program(o);
    self->_gl_id = 0;
    std::memset(self->shader_ids, 0, sizeof self->shader_ids);
    self->context = ContextRef{};
    if (program_cinit(self, args, kwds) < 0) {
        Py_DECREF(o);
        return nullptr;
    }
    return o;
}

int program_traverse(PyObject* o, visitproc visit, void* arg) {
    return frame::traverse_fields(o, program_fields, visit, arg);
}
int program_clear(PyObject* o) {
    release_gl(as_program(o));
    frame::clear_fields(o, program_fields);
    return 0;
}
void program_dealloc(PyObject* o) {
    PyObject_GC_UnTrack(o);
    // GL calls must not see or clobber an error being propagated.
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    release_gl(as_program(o));
    PyErr_Restore(type, value, tb);
    frame::dealloc_instance(o, program_fields);
}

PyObject* program_get_gl_id(PyObject* o, void*) { return PyLong_FromUnsignedLong(as_program(o)->_gl_id); }
PyObject* program_get_field(PyObject* o, void* closure) {
    auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + (Py_ssize_t)closure);
    return Ref::new_ref(*slot).release();
}
PyObject* program_get_mapping(PyObject* o, void* closure) {
    auto** slot = reinterpret_cast<PyObject**>(reinterpret_cast<char*>(o) + (Py_ssize_t)closure);
    if (!PyDict_Check(*slot)) return Ref::new_ref(*slot).release();
    return PyDictProxy_New(*slot);
}

PyGetSetDef program_getset[] = {
    {"_gl_id", program_get_gl_id, nullptr, "Name of the GL program object; 0 once released.", nullptr},
    {"vertex_shader", program_get_field, nullptr, "The vertex stage (a Shader).",
     (void*)offsetof(Program, vertex_shader)},
    {"fragment_shader", program_get_field, nullptr, "The fragment stage (a Shader).",
     (void*)offsetof(Program, fragment_shader)},
    {"geometry_shader", program_get_field, nullptr, "The geometry stage (a Shader), or None.",
     (void*)offsetof(Program, geometry_shader)},
    {"uniforms", program_get_mapping, nullptr,
     "Read-only mapping: active uniform name -> Uniform (uniforms inside blocks excluded).",
     (void*)offsetof(Program, uniforms)},
    {"uniform_blocks", program_get_mapping, nullptr,
     "Read-only mapping: active uniform block name -> UniformBlock.",
     (void*)offsetof(Program, uniform_blocks)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------------ module functions

PyObject* py_create_uniform(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.program.create_uniform_from_type", kFile};
    static PyObject* names[5];
    if (!names[0]) {
        const char* n[] = {"program", "name", "location", "type", "size"};
        for (int i = 0; i < 5; ++i)
            if (!(names[i] = frame::intern(n[i]))) return nullptr;
    }
    PyObject* v[5];
    if (frame::parse_args("create_uniform_from_type", args, kwds, names, 5, v) < 0)
        return FRAME_FAIL(here, nullptr);
    uint32_t program, type;
    int32_t location, size;
    if (!frame::to_gluint(v[0], &program) || !frame::to_int32(v[2], &location) ||
        !frame::to_glenum(v[3], &type) || !frame::to_int32(v[4], &size))
        return FRAME_FAIL(here, nullptr);
    if (!glsupport::require_context()) return FRAME_FAIL(here, nullptr);
    PyObject* r = create_uniform_from_type(program, v[1], location, type, size);
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyObject* py_create_member(PyObject*, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.opengl.glsl.program.create_uniform_block_member", kFile};
    static PyObject* names[6];
    if (!names[0]) {
        const char* n[] = {"name", "type", "offset", "size", "array_stride", "matrix_stride"};
        for (int i = 0; i < 6; ++i)
            if (!(names[i] = frame::intern(n[i]))) return nullptr;
    }
    PyObject* v[6];
    if (frame::parse_args("create_uniform_block_member", args, kwds, names, 6, v) < 0)
        return FRAME_FAIL(here, nullptr);
    uint32_t type;
    int32_t ints[4];
    if (!frame::to_glenum(v[1], &type)) return FRAME_FAIL(here, nullptr);
    for (int i = 0; i < 4; ++i)
        if (!frame::to_int32(v[2 + i], &ints[i])) return FRAME_FAIL(here, nullptr);
    PyObject* r = create_uniform_block_member(v[0], type, ints[0], ints[1], ints[2], ints[3]);
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyObject* py_enum_to_name(PyObject*, PyObject* arg) {
    static const frame::Where here{"vesk.opengl.glsl.program.glew_enum_to_name", kFile};
    uint32_t value;
    if (!frame::to_glenum(arg, &value)) return FRAME_FAIL(here, nullptr);
    PyObject* r = glew_enum_to_name(value);
    return r ? r : FRAME_FAIL(here, nullptr);
}

PyMethodDef functions[] = {
    {"create_uniform_from_type", (PyCFunction)(void (*)())py_create_uniform,
     METH_VARARGS | METH_KEYWORDS,
     "create_uniform_from_type(GLuint program, str name, GLint location, GLenum type, GLint size)"},
    {"create_uniform_block_member", (PyCFunction)(void (*)())py_create_member,
     METH_VARARGS | METH_KEYWORDS,
     "create_uniform_block_member(str name, GLenum type, GLint offset, GLint size, "
     "GLint array_stride, GLint matrix_stride)"},
    {"glew_enum_to_name", py_enum_to_name, METH_O,
     "glew_enum_to_name(GLenum value)"},
    {nullptr, nullptr, 0, nullptr},
};

// ------------------------------------------------------------------ registration

int register_classes(PyObject* module) {
    program_arg_names[0] = frame::intern("vertex_file");
    program_arg_names[1] = frame::intern("fragment_file");
    program_arg_names[2] = frame::intern("geometry_file");
    for (PyObject* n : program_arg_names)
        if (!n) return -1;
    uniform_vtab.set_value = set_value;
    uniform_vtab.get_value = get_value;
    block_vtab.bind = bind;

    frame::ClassSpec u{};
    u.type = &uniform_type;
    u.dotted = "vesk.opengl.glsl.program.Uniform";
    u.short_name = kUniformClass;
    u.basicsize = sizeof(Uniform);
    u.doc = "One active uniform of a Program; set `value` to change it.";
    u.tp_new = uniform_new;
    u.tp_dealloc = uniform_dealloc;
    u.tp_traverse = uniform_traverse;
    u.tp_clear = uniform_clear;
    u.getset = uniform_getset;
    u.tp_repr = uniform_repr;
    u.vtable = &uniform_vtab;
    u.final = true;
    if (frame::register_class(module, u) < 0) return -1;

    frame::ClassSpec m{};
    m.type = &member_type;
    m.dotted = "vesk.opengl.glsl.program.UniformBlockMember";
    m.short_name = kUniformBlockMemberClass;
    m.basicsize = sizeof(UniformBlockMember);
    m.doc = "The layout of one member of a uniform block.";
    m.tp_new = member_new;
    m.tp_dealloc = member_dealloc;
    m.tp_traverse = member_traverse;
    m.tp_clear = member_clear;
    m.getset = member_getset;
    m.tp_repr = member_repr;
    m.final = true;
    if (frame::register_class(module, m) < 0) return -1;

    frame::ClassSpec b{};
    b.type = &block_type;
    b.dotted = "vesk.opengl.glsl.program.UniformBlock";
    b.short_name = kUniformBlockClass;
    b.basicsize = sizeof(UniformBlock);
    b.doc = "One active uniform block of a Program; bind() attaches a uniform buffer.";
    b.tp_new = block_new;
    b.tp_dealloc = block_dealloc;
    b.tp_traverse = block_traverse;
    b.tp_clear = block_clear;
    b.methods = block_methods;
    b.getset = block_getset;
    b.tp_repr = block_repr;
    b.vtable = &block_vtab;
    b.final = true;
    if (frame::register_class(module, b) < 0) return -1;

    frame::ClassSpec p{};
    p.type = &program_type;
    p.dotted = "vesk.opengl.glsl.program.Program";
    p.short_name = kProgramClass;
    p.basicsize = sizeof(Program);
    p.doc =
        "Program(vertex_file, fragment_file, geometry_file=None)\n\n"
        "A linked GL program whose stages are Shader objects made from the files\n"
        "(resolved by vesk.resource.get_shader_path). A failed link raises\n"
        "GlslException with the link log. Releasing the program deletes it and the\n"
        "shaders it made while their context is current. Needs a current GL context.";
    p.tp_new = program_new;
    p.tp_dealloc = program_dealloc;
    p.tp_traverse = program_traverse;
    p.tp_clear = program_clear;
    p.getset = program_getset;
    return frame::register_class(module, p);
}

int import_classes(PyObject*) {
    shader_type = frame::import_class(shader::kModule, shader::kClass, sizeof(shader::Shader),
                                      shader::kHeader);
    if (!shader_type || !frame::import_vtable(shader_type)) return -1;
    message_type = frame::import_class(glsl_message::kModule, glsl_message::kMessageClass,
                                       sizeof(glsl_message::GlslMessage), glsl_message::kHeader);
    if (!message_type) return -1;
    exception_type = frame::import_class(glsl_message::kModule, glsl_message::kExceptionClass,
                                         sizeof(glsl_message::GlslException), glsl_message::kHeader);
    if (!exception_type) return -1;
    if (linvec::vector2::import_api() < 0 || linvec::vector2f::import_api() < 0 ||
        linvec::vector3::import_api() < 0 || linvec::vector3f::import_api() < 0 ||
        linvec::vector4::import_api() < 0 || linvec::vector4f::import_api() < 0 ||
        linvec::matrix4::import_api() < 0 || linvec::matrix4f::import_api() < 0)
        return -1;
    return 0;
}

int body(PyObject* module) {
    if (frame::export_function(module, kCreateUniformName, (void*)create_uniform_from_type,
                               kCreateUniformSig) < 0 ||
        frame::export_function(module, kCreateMemberName, (void*)create_uniform_block_member,
                               kCreateMemberSig) < 0 ||
        frame::export_function(module, kEnumToNameName, (void*)glew_enum_to_name, kEnumToNameSig) < 0)
        return -1;
    return 0;
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "program", nullptr, -1, functions,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::program

PyMODINIT_FUNC PyInit_program() {
    using namespace vesk::program;
    frame::ModuleInit init{&def, kModule, kFile};
    init.register_classes = register_classes;
    init.import_classes = import_classes;
    init.body = body;
    return frame::init_module(init);
}
