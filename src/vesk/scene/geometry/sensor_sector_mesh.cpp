// The sensor sector mesh and its cone vertex buffer.
//
// Every builder emits quads (v0, v1, v2, v3) = (u0 w0, u0 w1, u1 w0, u1 w1)
// of a face parameterised by (u, w); each quad brings four new vertices and
// the triangles (v0, v1, v2) and (v1, v3, v2). Angles are formed as
// step * k + lower for every k, never by accumulation, so neighbouring quads
// share bit-identical edges.
//
// Winding: every triangle's normal by the right-hand rule points into the
// volume (for az_min < az_max, el_min < el_max and 0 <= near < far; capped
// also |el_min| < el_max, where the lower boundary lies outside the upper
// cone), so a renderer can cull consistently. With one (u, w) order for opposite faces
// that holds on one side only; the faces on the other side (the upper
// cone, the az_min wall and the near cap) emit (u0 w0, u1 w0, u0 w1, u1 w1)
// instead: the same triangles, turned.
//
// Emission has two paths with the same result:
//  * the general path builds Vector3 objects and calls add_vertices /
//    add_single through the method table for each quad (so a Python
//    subclass's override receives every quad, in order);
//  * the direct path writes the records and indices straight into the two
//    buffers' arrays, reserved exactly for the builder's counts, with no
//    Python objects at all.
// A builder takes the direct path only when nothing could tell the two
// apart: neither add_vertices nor add_single (where used) is overridden,
// both buffers are the mesh's own exact classes, neither array has an
// exported view, the counts stay within the 32-bit index range and the
// storage could be reserved. Otherwise it takes the general path, which then
// reports whatever error the per-quad calls meet. The override check is made
// once per builder call: only an override that itself changes the class
// while a builder runs could make a per-quad check differ.
#include "sensor_sector_mesh.hpp"

#include "frame/override_call.hpp"
#include "vesk/opengl/buffers/index_buffer.hpp"
#include "vesk/scene/geometry/mesh_common.hpp"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <type_traits>
#include <utility>

namespace vesk::sensor_sector_mesh {
namespace {

using index_buffer::IndexBuffer;
using index_buffer::IndexBufferVtab;
using linvec::ds_math::double_single3;

constexpr const char* kFile = "vesk\\scene\\geometry\\sensor_sector_mesh.cpp";
constexpr const char* kMeshDotted = "vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh";

// ================================================================== ConeVertexBuffer

inline constexpr ds_vertex_buffer::Field kConeVertexFields[] = {
    {"_position", 0, ds_vertex_buffer::kDoubleSingle3Fields, 2},
};

struct ConeTraits {
    using Record = ConeVertex;
    using Vtab = ConeVertexBufferVtab;
    static constexpr const char* kDotted = "vesk.scene.geometry.sensor_sector_mesh.ConeVertexBuffer";
    static constexpr const char* kName = "ConeVertexBuffer";
    static constexpr const char* kFile = sensor_sector_mesh::kFile;
    static constexpr const char* kDoc =
        "ConeVertexBuffer()\n\n"
        "Vertices of a sensor-sector mesh: positions in double-single form\n"
        "(a high and a low single-precision triple, 24 bytes per vertex),\n"
        "collected on the CPU and uploaded by buffer_data().";
    static constexpr const ds_vertex_buffer::Field* kFields = kConeVertexFields;
    static constexpr int kFieldCount = 1;
    // Every vertex must be addressable by a 32-bit index.
    static constexpr Py_ssize_t kMaxRecords = Py_ssize_t(1) << 32;
};
using Cone = ds_vertex_buffer::DsVertexBuffer<ConeTraits>;

// ================================================================== SensorSectorMesh

constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kEps = 1e-7;

PyTypeObject mesh_type;
SensorSectorMeshVtab mesh_vtab;
using MeshClass = mesh_common::MeshClass<SensorSectorMesh>;
// add_vertices and add_single; their traceback entries name this line.
using Quads = mesh_common::QuadEmission<SensorSectorMesh, Cone, __LINE__>;
using mesh_common::report;

PyObject* s_build[6];
PyObject* ctor_names[9];

SensorSectorMesh* cast(PyObject* o) { return reinterpret_cast<SensorSectorMesh*>(o); }

// ------------------------------------------------------------------ points

struct Pt {
    double x, y, z;
};

// P(az, el, r) from the cosines and sines, each product left to right.
inline Pt point(double ca, double sa, double ce, double se, double r) {
    return Pt{-((ca * ce) * r), se * r, (sa * ce) * r};
}

// cos and sin of step * k + lower for k = 0 .. n. A table when it can be
// had; the values are the same either way (the same double angle goes into
// the same libm call).
class Angles {
public:
    Angles(double step, double lower, int64_t n) : step_(step), lower_(lower) {
        if (n < 0 || n >= (int64_t(1) << 24)) return;
        cs_ = static_cast<double*>(PyMem_Malloc(sizeof(double) * 2 * static_cast<size_t>(n + 1)));
        if (!cs_) return;
        for (int64_t k = 0; k <= n; ++k) {
            double a = angle(k);
            cs_[2 * k] = std::cos(a);
            cs_[2 * k + 1] = std::sin(a);
        }
    }
    ~Angles() { PyMem_Free(cs_); }
    Angles(const Angles&) = delete;
    Angles& operator=(const Angles&) = delete;

    double angle(int64_t k) const { return step_ * static_cast<double>(k) + lower_; }
    void get(int64_t k, double* c, double* s) const {
        if (cs_) {
            *c = cs_[2 * k];
            *s = cs_[2 * k + 1];
        } else {
            double a = angle(k);
            *c = std::cos(a);
            *s = std::sin(a);
        }
    }

private:
    double step_, lower_;
    double* cs_ = nullptr;
};

// ------------------------------------------------------------------ sinks

// The direct path: records and indices written in place.
struct DirectSink {
    ConeVertex* v;
    uint32_t* idx;
    uint32_t b;

    static void put(ConeVertex* out, const Pt& p) {
        out->_position = linvec::ds_math::split3(p.x, p.y, p.z);
    }
    // The quad's six indices (mesh_common::kQuadIndices from b); next quad.
    void quad_indices() {
        for (int k = 0; k < 6; ++k) idx[k] = b + mesh_common::kQuadIndices[k];
        v += 4;
        idx += 6;
        b += 4;
    }
    bool quad(const Pt& p0, const Pt& p1, const Pt& p2, const Pt& p3) {
        put(v, p0);
        put(v + 1, p1);
        put(v + 2, p2);
        put(v + 3, p3);
        quad_indices();
        return true;
    }
    // One quad of ready records; `stream` when `v` is 16-byte aligned (a
    // quad is 96 bytes, so it stays aligned).
    void copy_quad(const ConeVertex* r0, const ConeVertex* r1, const ConeVertex* r2,
                   const ConeVertex* r3, bool stream) {
#if defined(__SSE2__)
        if (stream) {
            // 4 records of 24 bytes = 6 aligned 16-byte stores.
            auto lo16 = [](const ConeVertex* r, int at) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(reinterpret_cast<const char*>(r) + at));
            };
            auto lo8 = [](const ConeVertex* r, int at) {
                return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(reinterpret_cast<const char*>(r) + at));
            };
            __m128i* out = reinterpret_cast<__m128i*>(v);
            _mm_stream_si128(out, lo16(r0, 0));
            _mm_stream_si128(out + 1, _mm_unpacklo_epi64(lo8(r0, 16), lo8(r1, 0)));
            _mm_stream_si128(out + 2, lo16(r1, 8));
            _mm_stream_si128(out + 3, lo16(r2, 0));
            _mm_stream_si128(out + 4, _mm_unpacklo_epi64(lo8(r2, 16), lo8(r3, 0)));
            _mm_stream_si128(out + 5, lo16(r3, 8));
            for (int k = 0; k < 6; ++k)
                _mm_stream_si32(reinterpret_cast<int*>(idx + k), static_cast<int>(b + mesh_common::kQuadIndices[k]));
            v += 4;
            idx += 6;
            b += 4;
            return;
        }
#endif
        (void)stream;
        v[0] = *r0;
        v[1] = *r1;
        v[2] = *r2;
        v[3] = *r3;
        quad_indices();
    }
    bool tri(const Pt& p0, const Pt& p1, const Pt& p2) {
        put(v, p0);
        put(v + 1, p1);
        put(v + 2, p2);
        v += 3;
        idx[0] = b;
        idx[1] = b + 1;
        idx[2] = b + 2;
        idx += 3;
        b += 3;
        return true;
    }
};

// Streaming stores for the bulk copy: the arrays are written once, front to
// back, and are far larger than the caches, so writing around the caches
// saves reading every line before it is overwritten.
#if defined(__SSE2__)
inline bool stream_aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }
inline void stream_fence() { _mm_sfence(); }
#else
inline bool stream_aligned(const void*) { return false; }
inline void stream_fence() {}
#endif

// The general path: Vector3 objects through the method table. Returns false
// with the error pending when a Vector3 cannot be built (the builder ends).
struct GeneralSink {
    SensorSectorMesh* self;

    static frame::Ref vec(const Pt& p) { return frame::Ref::steal(linvec::vector3::make(p.x, p.y, p.z)); }
    bool quad(const Pt& p0, const Pt& p1, const Pt& p2, const Pt& p3) {
        frame::Ref v0 = vec(p0);
        if (!v0) return false;
        frame::Ref v1 = vec(p1);
        if (!v1) return false;
        frame::Ref v2 = vec(p2);
        if (!v2) return false;
        frame::Ref v3 = vec(p3);
        if (!v3) return false;
        self->vtab->add_vertices(self, v0.get(), v1.get(), v2.get(), v3.get(), 0);
        return true;
    }
    bool tri(const Pt& p0, const Pt& p1, const Pt& p2) {
        frame::Ref v0 = vec(p0);
        if (!v0) return false;
        frame::Ref v1 = vec(p1);
        if (!v1) return false;
        frame::Ref v2 = vec(p2);
        if (!v2) return false;
        self->vtab->add_single(self, v0.get(), v1.get(), v2.get(), 0);
        return true;
    }
};

// True when `name` may resolve to something other than the built-in method
// (a Python subclass's override, an instance attribute) or the look-up
// fails: the general path then makes the call and meets the same outcome.
bool maybe_overridden(SensorSectorMesh* self, PyObject* name, PyCFunction builtin) {
    PyTypeObject* t = Py_TYPE(self);
    if (t->tp_dictoffset == 0 && !(t->tp_flags & Py_TPFLAGS_HEAPTYPE)) return false;
    frame::Ref o = frame::find_override((PyObject*)self, name, builtin);
    if (o) return true;
    if (PyErr_Occurred()) {
        PyErr_Clear();
        return true;
    }
    return false;
}

// Set up the direct path for `nq` quads and `nt` triangles, or return false
// (nothing changed, no error) when the general path must run.
bool begin_direct(SensorSectorMesh* self, int64_t nq, int64_t nt, DirectSink* d) {
    if (Py_TYPE(self->vertex_buffer) != &Cone::type ||
        Py_TYPE(self->indexbuffer) != mesh_common::imported.int_index_buffer)
        return false;
    if (nq > 0 && maybe_overridden(self, Quads::s_add_vertices, mesh_common::as_method(Quads::py_add_vertices)))
        return false;
    if (nt > 0 && maybe_overridden(self, Quads::s_add_single, mesh_common::as_method(Quads::py_add_single)))
        return false;
    auto* vb = reinterpret_cast<ConeVertexBuffer*>(self->vertex_buffer);
    auto* ib = reinterpret_cast<IndexBuffer*>(self->indexbuffer);
    if (vb->_vertices.exports > 0 || ib->_indices.exports > 0 || ib->index_size != 4) return false;
    const int64_t nv = 4 * nq + 3 * nt;
    const int64_t ni = 6 * nq + 3 * nt;
    const int64_t have_v = Cone::count(vb);
    const int64_t have_i = index_buffer::index_count(ib);
    if (!mesh_common::indices_fit(self->next_index, nv) || have_v + nv > ConeTraits::kMaxRecords ||
        have_i + ni > index_buffer::kMaxIndices)
        return false;
    if (mesh_common::reserve_more<Cone>(vb, ib, nv, ni) < 0) {
        // Storage exhaustion: the general path meets it quad by quad.
        PyErr_Clear();
        return false;
    }
    d->v = Cone::extend(vb, nv);  // reserved above: cannot fail
    d->idx = reinterpret_cast<uint32_t*>(ib->_indices.end);
    ib->_indices.end += static_cast<size_t>(ni) * sizeof(uint32_t);
    d->b = self->next_index;
    return true;
}

// Run one builder's emission: the direct path when it applies, else the
// general path; a Vector3 failure on the general path ends the builder and
// is reported.
template <class Body>
void emit(SensorSectorMesh* self, const frame::Where& here, int64_t nq, int64_t nt, Body&& body) {
    if (nq <= 0 && nt <= 0) return;
    DirectSink d;
    if (begin_direct(self, nq, nt, &d)) {
        body(d);
        self->next_index = d.b;
        self->index_count = static_cast<int32_t>(static_cast<uint32_t>(self->index_count) +
                                                 static_cast<uint32_t>(6 * nq + 3 * nt));
        return;
    }
    GeneralSink g{self};
    if (!body(g)) report(here, __LINE__);
}

// A void method's override dispatch: true when the override ran (its error
// reported), false when the compiled body should run.
bool dispatch(SensorSectorMesh* self, PyObject* name, PyCFunction builtin, const frame::Where& here,
              std::initializer_list<PyObject*> args = {}) {
    frame::Ref r;
    if (!frame::call_override((PyObject*)self, name, builtin, &r, args)) return false;
    if (!r) report(here, __LINE__);
    return true;
}

int64_t nonneg(int32_t n) { return n > 0 ? n : 0; }

// *step = span / precision; a zero precision is ZeroDivisionError "float
// division", reported from `here` (false: the builder emits nothing).
bool step_of(double span, int32_t precision, const frame::Where& here, double* step) {
    if (precision == 0) {
        mesh_common::float_division();
        report(here, __LINE__);
        return false;
    }
    *step = span / precision;
    return true;
}

// A quad of a face on the side where the (u, w) order turns outward: v1 and
// v2 trade places, which keeps the quad's diagonal and turns both triangles
// to face into the volume.
template <class Sink>
bool turned(Sink& sink, const Pt& p0, const Pt& p1, const Pt& p2, const Pt& p3) {
    return sink.quad(p0, p2, p1, p3);
}

// ------------------------------------------------------------------ emission

PyObject* py_build_x_faces(PyObject*, PyObject*);
PyObject* py_build_y_faces(PyObject*, PyObject*);
PyObject* py_build_z_faces(PyObject*, PyObject*);
PyObject* py_build_x_flat_faces(PyObject*, PyObject*);
PyObject* py_build_y_flat_faces(PyObject*, PyObject*);
PyObject* py_build_z_flat_faces(PyObject*, PyObject*);

// ------------------------------------------------------------------ rounded builders

// The lower and upper boundaries, quads across the azimuth: the lower one
// at el_min with the height sine `lower_se` (sin el_min: the rounded cone;
// sin el_max: the capped mesh's flat ring, Pf), the upper cone at el_max
// (turned) unless el_max is within 1e-7 of the zenith.
void build_boundaries(SensorSectorMesh* self, const frame::Where& here, double lower_se) {
    double step;
    if (!step_of(self->az_max - self->az_min, self->az_precision, here, &step)) return;
    const int64_t A = nonneg(self->az_precision);
    const bool upper = kHalfPi - self->el_max > kEps;
    const double n = self->near_range, f = self->far_range;
    const double ce0 = std::cos(self->el_min), se0 = lower_se;
    const double ce1 = std::cos(self->el_max), se1 = std::sin(self->el_max);
    Angles az(step, self->az_min, A);
    emit(self, here, A * (upper ? 2 : 1), 0, [&](auto& sink) {
        for (int64_t i = 0; i < A; ++i) {
            double c0, s0, c1, s1;
            az.get(i, &c0, &s0);
            az.get(i + 1, &c1, &s1);
            if (!sink.quad(point(c0, s0, ce0, se0, n), point(c0, s0, ce0, se0, f),
                           point(c1, s1, ce0, se0, n), point(c1, s1, ce0, se0, f)))
                return false;
            if (upper && !turned(sink, point(c0, s0, ce1, se1, n), point(c0, s0, ce1, se1, f),
                                 point(c1, s1, ce1, se1, n), point(c1, s1, ce1, se1, f)))
                return false;
        }
        return true;
    });
}

// Lower and upper elevation cones.
void build_x_faces(SensorSectorMesh* self, int skip) {
    static const frame::Where here{"vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.build_x_faces",
                                   kFile};
    if (!skip && dispatch(self, s_build[0], py_build_x_faces, here)) return;
    build_boundaries(self, here, std::sin(self->el_min));
}

// The two side walls.
void build_y_faces(SensorSectorMesh* self, int skip) {
    static const frame::Where here{"vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.build_y_faces",
                                   kFile};
    if (!skip && dispatch(self, s_build[1], py_build_y_faces, here)) return;
    double step;
    if (!step_of(self->el_max - self->el_min, self->el_precision, here, &step)) return;
    const int64_t E = nonneg(self->el_precision);
    const double n = self->near_range, f = self->far_range;
    const double ca0 = std::cos(self->az_min), sa0 = std::sin(self->az_min);
    const double ca1 = std::cos(self->az_max), sa1 = std::sin(self->az_max);
    Angles el(step, self->el_min, E);
    emit(self, here, 2 * E, 0, [&](auto& sink) {
        for (int64_t j = 0; j < E; ++j) {
            double c0, s0, c1, s1;
            el.get(j, &c0, &s0);
            el.get(j + 1, &c1, &s1);
            if (!turned(sink, point(ca0, sa0, c0, s0, n), point(ca0, sa0, c0, s0, f),
                        point(ca0, sa0, c1, s1, n), point(ca0, sa0, c1, s1, f)))
                return false;
            if (!sink.quad(point(ca1, sa1, c0, s0, n), point(ca1, sa1, c0, s0, f),
                           point(ca1, sa1, c1, s1, n), point(ca1, sa1, c1, s1, f)))
                return false;
        }
        return true;
    });
}

// The caps on the direct path. Every grid point P(a_i, e_j, r) is a corner
// of up to four quads; it is computed and split once, into a row of records
// for a_i and one for a_i+1, and copied into each quad (the same arithmetic,
// so the same bits). False when the rows cannot be had.
bool cap_rows(DirectSink& sink, const Angles& az, const Angles& el, int64_t A, int64_t E,
              bool near_cap, double n, double f) {
    if (E + 1 >= (int64_t(1) << 24)) return false;
    const size_t row = static_cast<size_t>(E + 1);
    ConeVertex* rows = static_cast<ConeVertex*>(PyMem_Malloc(4 * row * sizeof(ConeVertex)));
    if (!rows) {
        PyErr_Clear();
        return false;
    }
    // [near, far] x [a_i, a_i+1]
    ConeVertex* cur[2] = {rows, rows + row};
    ConeVertex* next[2] = {rows + 2 * row, rows + 3 * row};
    const double ranges[2] = {n, f};
    auto fill = [&](ConeVertex* const out[2], int64_t i) {
        double ca, sa;
        az.get(i, &ca, &sa);
        for (int64_t j = 0; j <= E; ++j) {
            double ce, se;
            el.get(j, &ce, &se);
            for (int c = near_cap ? 0 : 1; c < 2; ++c) DirectSink::put(out[c] + j, point(ca, sa, ce, se, ranges[c]));
        }
    };
    fill(cur, 0);
    const bool stream = stream_aligned(sink.v);
    for (int64_t i = 0; i < A; ++i) {
        fill(next, i + 1);
        for (int64_t j = 0; j < E; ++j) {
            if (near_cap)  // turned, as in build_z_faces
                sink.copy_quad(cur[0] + j, next[0] + j, cur[0] + j + 1, next[0] + j + 1, stream);
            sink.copy_quad(cur[1] + j, cur[1] + j + 1, next[1] + j, next[1] + j + 1, stream);
        }
        std::swap(cur[0], next[0]);
        std::swap(cur[1], next[1]);
    }
    stream_fence();
    PyMem_Free(rows);
    return true;
}

// The near and far spherical caps.
void build_z_faces(SensorSectorMesh* self, int skip) {
    static const frame::Where here{"vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.build_z_faces",
                                   kFile};
    if (!skip && dispatch(self, s_build[2], py_build_z_faces, here)) return;
    double astep, estep;  // the azimuth checked first
    if (!step_of(self->az_max - self->az_min, self->az_precision, here, &astep) ||
        !step_of(self->el_max - self->el_min, self->el_precision, here, &estep))
        return;
    const int64_t A = nonneg(self->az_precision), E = nonneg(self->el_precision);
    const bool near_cap = self->near_range >= kEps;
    const double n = self->near_range, f = self->far_range;
    Angles az(astep, self->az_min, A);
    Angles el(estep, self->el_min, E);
    emit(self, here, A * E * (near_cap ? 2 : 1), 0, [&](auto& sink) {
        if constexpr (std::is_same_v<std::decay_t<decltype(sink)>, DirectSink>) {
            if (cap_rows(sink, az, el, A, E, near_cap, n, f)) return true;
        }
        for (int64_t i = 0; i < A; ++i) {
            double ca0, sa0, ca1, sa1;
            az.get(i, &ca0, &sa0);
            az.get(i + 1, &ca1, &sa1);
            for (int64_t j = 0; j < E; ++j) {
                double ce0, se0, ce1, se1;
                el.get(j, &ce0, &se0);
                el.get(j + 1, &ce1, &se1);
                if (near_cap &&
                    !turned(sink, point(ca0, sa0, ce0, se0, n), point(ca0, sa0, ce1, se1, n),
                            point(ca1, sa1, ce0, se0, n), point(ca1, sa1, ce1, se1, n)))
                    return false;
                if (!sink.quad(point(ca0, sa0, ce0, se0, f), point(ca0, sa0, ce1, se1, f),
                               point(ca1, sa1, ce0, se0, f), point(ca1, sa1, ce1, se1, f)))
                    return false;
            }
        }
        return true;
    });
}

// ------------------------------------------------------------------ capped builders

// Pf(az, el, r): P with the height taken from el_max whatever el is.
inline Pt flat_point(double ca, double sa, double ce, double se_max, double r) {
    return point(ca, sa, ce, se_max, r);
}

// Lower and upper boundary: the flat ring Pf(a, el_min, r) and the upper cone.
void build_x_flat_faces(SensorSectorMesh* self, int skip) {
    static const frame::Where here{
        "vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.build_x_flat_faces", kFile};
    if (!skip && dispatch(self, s_build[3], py_build_x_flat_faces, here)) return;
    build_boundaries(self, here, std::sin(self->el_max));
}

// The two side walls, one planar quad each.
void build_y_flat_faces(SensorSectorMesh* self, int skip) {
    static const frame::Where here{
        "vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.build_y_flat_faces", kFile};
    if (!skip && dispatch(self, s_build[4], py_build_y_flat_faces, here)) return;
    const double n = self->near_range, f = self->far_range;
    const double ca0 = std::cos(self->az_min), sa0 = std::sin(self->az_min);
    const double ca1 = std::cos(self->az_max), sa1 = std::sin(self->az_max);
    const double ce0 = std::cos(self->el_min);
    const double ce1 = std::cos(self->el_max), se1 = std::sin(self->el_max);
    emit(self, here, 2, 0, [&](auto& sink) {
        if (!turned(sink, flat_point(ca0, sa0, ce0, se1, n), flat_point(ca0, sa0, ce0, se1, f),
                    flat_point(ca0, sa0, ce1, se1, n), flat_point(ca0, sa0, ce1, se1, f)))
            return false;
        return sink.quad(flat_point(ca1, sa1, ce0, se1, n), flat_point(ca1, sa1, ce0, se1, f),
                         flat_point(ca1, sa1, ce1, se1, n), flat_point(ca1, sa1, ce1, se1, f));
    });
}

// The flat caps: annular sectors, or pie sectors closed at the axis when
// el_max is at the zenith.
void build_z_flat_faces(SensorSectorMesh* self, int skip) {
    static const frame::Where here{
        "vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.build_z_flat_faces", kFile};
    if (!skip && dispatch(self, s_build[5], py_build_z_flat_faces, here)) return;
    double step;
    if (!step_of(self->az_max - self->az_min, self->az_precision, here, &step)) return;
    const int64_t A = nonneg(self->az_precision);
    const bool near_cap = self->near_range >= kEps;
    const bool zenith = kHalfPi - self->el_max < kEps;
    const int64_t caps = A * (near_cap ? 2 : 1);
    const double ce0 = std::cos(self->el_min);
    const double ce1 = std::cos(self->el_max), se1 = std::sin(self->el_max);
    Angles az(step, self->az_min, A);
    emit(self, here, zenith ? 0 : caps, zenith ? caps : 0, [&](auto& sink) {
        for (int64_t i = 0; i < A; ++i) {
            double c0, s0, c1, s1;
            az.get(i, &c0, &s0);
            az.get(i + 1, &c1, &s1);
            for (int cap = near_cap ? 0 : 1; cap < 2; ++cap) {
                const double r = cap == 0 ? self->near_range : self->far_range;
                const Pt p0 = flat_point(c0, s0, ce0, se1, r);
                const Pt p2 = flat_point(c1, s1, ce0, se1, r);
                if (zenith) {
                    // The apex stands in for Pf(a0, el_max, r).
                    const Pt apex{0.0, se1 * r, 0.0};
                    if (!(cap == 0 ? sink.tri(p0, p2, apex) : sink.tri(p0, apex, p2))) return false;
                } else {
                    const Pt p1 = flat_point(c0, s0, ce1, se1, r);
                    const Pt p3 = flat_point(c1, s1, ce1, se1, r);
                    if (!(cap == 0 ? turned(sink, p0, p1, p2, p3) : sink.quad(p0, p1, p2, p3))) return false;
                }
            }
        }
        return true;
    });
}

// ------------------------------------------------------------------ Python wrappers

#define BUILDER_WRAPPER(name)                          \
    PyObject* py_##name(PyObject* self, PyObject*) {   \
        name(cast(self), 1);                           \
        Py_RETURN_NONE;                                \
    }
BUILDER_WRAPPER(build_x_faces)
BUILDER_WRAPPER(build_y_faces)
BUILDER_WRAPPER(build_z_faces)
BUILDER_WRAPPER(build_x_flat_faces)
BUILDER_WRAPPER(build_y_flat_faces)
BUILDER_WRAPPER(build_z_flat_faces)
#undef BUILDER_WRAPPER

// ------------------------------------------------------------------ construction

// Quads and triangles the compiled builders emit for these limits; false
// with OverflowError when the vertices would pass the 32-bit index range or
// the indices what an index buffer holds.
bool check_counts(const SensorSectorMesh* m, int64_t* nverts, int64_t* nindices) {
    using wide = __int128;
    const wide A = nonneg(m->az_precision), E = nonneg(m->el_precision);
    const wide U = kHalfPi - m->el_max > kEps;
    const wide W = kTwoPi - (m->az_max - m->az_min) >= kEps;
    const wide N = m->near_range >= kEps;
    wide quads, tris = 0;
    if (m->is_rounded) {
        quads = A * (1 + U) + 2 * E * W + A * E * (1 + N);
    } else {
        const wide T = kHalfPi - m->el_max < kEps;
        quads = A * (1 + U) + 2 * W + A * (1 + N) * (1 - T);
        tris = A * (1 + N) * T;
    }
    const wide v = 4 * quads + 3 * tris, i = 6 * quads + 3 * tris;
    if (v > mesh_common::kMaxVertices || i > index_buffer::kMaxIndices) {
        char msg[200];
        std::snprintf(msg, sizeof msg,
                      "SensorSectorMesh of %.0f vertices and %.0f indices passes the 32-bit "
                      "index range",
                      static_cast<double>(v), static_cast<double>(i));
        PyErr_SetString(PyExc_OverflowError, msg);
        return false;
    }
    *nverts = static_cast<int64_t>(v);
    *nindices = static_cast<int64_t>(i);
    return true;
}

int mesh_cinit(SensorSectorMesh* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here{"vesk.scene.geometry.sensor_sector_mesh.SensorSectorMesh.__cinit__",
                                   kFile};
    PyObject* v[9];
    if (frame::parse_args("__cinit__", args, kwds, ctor_names, 9, v) < 0) return FRAME_FAIL(here, -1);
    double limits[6];
    for (int k = 0; k < 6; ++k)
        if (!frame::to_double(v[k], &limits[k])) return FRAME_FAIL(here, -1);
    int32_t az_precision, el_precision;
    if (!frame::to_int32(v[6], &az_precision) || !frame::to_int32(v[7], &el_precision))
        return FRAME_FAIL(here, -1);
    bool rounded;
    if (!frame::to_bool(v[8], &rounded)) return FRAME_FAIL(here, -1);

    self->az_min = limits[0];
    self->az_max = limits[1];
    self->el_min = limits[2];
    self->el_max = limits[3];
    self->near_range = limits[4];
    self->far_range = limits[5];
    self->az_precision = az_precision;
    self->el_precision = el_precision;
    self->is_rounded = rounded ? 1 : 0;
    self->next_index = 0;
    self->index_count = 0;
    int64_t nverts, nindices;
    if (!check_counts(self, &nverts, &nindices)) return FRAME_FAIL(here, -1);

    frame::Ref vb, ib;
    if (mesh_common::make_buffers<Cone>(self, &vb, &ib) < 0) return FRAME_FAIL(here, -1);

    // The compiled builders need exactly these counts; reserving them once
    // spares the per-builder growth. A Python subclass may emit anything,
    // so its builders reserve their own.
    if (Py_TYPE(self) == &mesh_type) {
        if (mesh_common::reserve_more<Cone>(Cone::cast(vb.get()), reinterpret_cast<IndexBuffer*>(ib.get()), nverts,
                                            nindices) < 0)
            PyErr_Clear();  // the builders meet and report the shortage
    }

    SensorSectorMeshVtab* vt = self->vtab;
    if (self->is_rounded) {
        vt->build_x_faces(self, 0);
        if (kTwoPi - (self->az_max - self->az_min) >= kEps) vt->build_y_faces(self, 0);
        vt->build_z_faces(self, 0);
    } else {
        vt->build_x_flat_faces(self, 0);
        if (kTwoPi - (self->az_max - self->az_min) >= kEps) vt->build_y_flat_faces(self, 0);
        vt->build_z_flat_faces(self, 0);
    }

    // Upload, vertices first, through the buffers held here: a builder
    // override may run any code meanwhile. hi at location 0, lo at 1.
    static const mesh_common::Attribute attributes[] = {{0, 3, 0}, {1, 3, 12}};
    if (mesh_common::upload_and_bind<Cone>(self, vb.get(), ib.get(), attributes) < 0) return FRAME_FAIL(here, -1);
    return 0;
}

PyObject* mesh_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* o = MeshClass::alloc(t);
    if (!o) return nullptr;
    cast(o)->vtab = &mesh_vtab;
    if (mesh_cinit(cast(o), args, kwds) < 0) {
        Py_DECREF(o);
        return nullptr;
    }
    return o;
}

PyMethodDef mesh_methods[] = {
    {"build_x_faces", py_build_x_faces, METH_NOARGS, "SensorSectorMesh.build_x_faces(self) -> void"},
    {"build_y_faces", py_build_y_faces, METH_NOARGS, "SensorSectorMesh.build_y_faces(self) -> void"},
    {"build_z_faces", py_build_z_faces, METH_NOARGS, "SensorSectorMesh.build_z_faces(self) -> void"},
    {"build_x_flat_faces", py_build_x_flat_faces, METH_NOARGS,
     "SensorSectorMesh.build_x_flat_faces(self) -> void"},
    {"build_y_flat_faces", py_build_y_flat_faces, METH_NOARGS,
     "SensorSectorMesh.build_y_flat_faces(self) -> void"},
    {"build_z_flat_faces", py_build_z_flat_faces, METH_NOARGS,
     "SensorSectorMesh.build_z_flat_faces(self) -> void"},
    {"add_vertices", mesh_common::as_method(Quads::py_add_vertices), METH_VARARGS | METH_KEYWORDS,
     "SensorSectorMesh.add_vertices(self, Vector3 v0, Vector3 v1, Vector3 v2, Vector3 v3) -> void"},
    {"add_single", mesh_common::as_method(Quads::py_add_single), METH_VARARGS | METH_KEYWORDS,
     "SensorSectorMesh.add_single(self, Vector3 v0, Vector3 v1, Vector3 v2) -> void"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef mesh_getset[] = {
    {"vertex_buffer", mesh_common::get_object, nullptr, "The ConeVertexBuffer of the mesh.",
     mesh_common::field_at(offsetof(SensorSectorMesh, vertex_buffer))},
    {"indexbuffer", mesh_common::get_object, nullptr, "The IntIndexBuffer of the mesh.",
     mesh_common::field_at(offsetof(SensorSectorMesh, indexbuffer))},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ------------------------------------------------------------------ registration

int register_classes(PyObject* module) {
    if (Cone::register_class(module) < 0) return -1;

    static const char* const builders[6] = {"build_x_faces",      "build_y_faces",
                                            "build_z_faces",      "build_x_flat_faces",
                                            "build_y_flat_faces", "build_z_flat_faces"};
    for (int k = 0; k < 6; ++k)
        if (!(s_build[k] = frame::intern(builders[k]))) return -1;
    static const char* const ctor[9] = {"az_min",       "az_max",       "el_min",
                                        "el_max",       "near_range",   "far_range",
                                        "az_precision", "el_precision", "is_rounded"};
    for (int k = 0; k < 9; ++k)
        if (!(ctor_names[k] = frame::intern(ctor[k]))) return -1;
    if (Quads::init(kMeshDotted, kFile) < 0) return -1;

    mesh_vtab.build_x_faces = build_x_faces;
    mesh_vtab.build_y_faces = build_y_faces;
    mesh_vtab.build_z_faces = build_z_faces;
    mesh_vtab.build_x_flat_faces = build_x_flat_faces;
    mesh_vtab.build_y_flat_faces = build_y_flat_faces;
    mesh_vtab.build_z_flat_faces = build_z_flat_faces;
    Quads::install(&mesh_vtab);

    static const char* const doc =
        " Geometry for a cone defined by azimuth, elevation, and range limits.\n"
        "        Cone can be capped or rounded.\n"
        "    ";
    return MeshClass::register_class(module, &mesh_type, kMeshDotted, kSensorSectorMesh, doc, mesh_new, mesh_methods,
                                     mesh_getset, &mesh_vtab);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "sensor_sector_mesh", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::sensor_sector_mesh

PyMODINIT_FUNC PyInit_sensor_sector_mesh() {
    using namespace vesk::sensor_sector_mesh;
    return vesk::mesh_common::init_module(&def, kModule, kFile, register_classes);
}
