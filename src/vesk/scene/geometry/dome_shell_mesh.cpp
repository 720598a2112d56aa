// The dome shell mesh: an ellipsoid of revolution as eight patches, each a
// subdivided polar cap and a band of latitude/longitude quads, vertices
// shared by their key (position and texture coordinate).
//
// Two ways to build, one result. The documented build keeps `vertex_data`
// as a Python dict that a Python override of `split` sees and may change;
// it runs whenever such an override exists (and for every C-level call of
// add_quadrant/add_quad/add_vector/convert/split, which receive a dict).
// When nothing can see the dictionary, create_geometry uses a native table
// keyed by the same (x, y, z, u, v) with the same numeric equality (-0.0
// equals 0.0, a NaN key never matches), evaluates every vertex with the same
// double arithmetic in the same order and creates vertices in the same
// order, so the records and indices come out bit for bit the same; it makes
// no Python object per vertex. Whether `split` is overridden is decided once
// per create_geometry call: only Python code run from inside the build (an
// unraisable hook while an error is reported) could change the class in
// between, and such a change takes effect at the next call.
#include "dome_shell_mesh.hpp"

#include "frame/override_call.hpp"
#include "linvec/vector3.hpp"
#include "vesk/scene/geometry/mesh_common.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace vesk::dome_shell_mesh {
namespace {

constexpr const char* kFile = "vesk\\scene\\geometry\\dome_shell_mesh.cpp";

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kQuadrants[5] = {0.0, 1.5707963267948966, 3.141592653589793, 4.71238898038469,
                                  6.283185307179586};

// ------------------------------------------------------------------ CappedSphereVertexBuffer

namespace dvb = ds_vertex_buffer;

constexpr dvb::Field kCappedSphereVertexFields[] = {
    {"_position", offsetof(CappedSphereVertex, _position), dvb::kDoubleSingle3Fields, 2},
    {"_normal", offsetof(CappedSphereVertex, _normal), dvb::kFloat3Fields, 3},
    {"_texture_coord", offsetof(CappedSphereVertex, _texture_coord), dvb::kFloat2Fields, 2},
};

struct CappedSphereTraits {
    using Record = CappedSphereVertex;
    using Vtab = CappedSphereVertexBufferVtab;
    static constexpr const char* kDotted = "vesk.scene.geometry.dome_shell_mesh.CappedSphereVertexBuffer";
    static constexpr const char* kName = "CappedSphereVertexBuffer";
    static constexpr const char* kFile = dome_shell_mesh::kFile;
    static constexpr const char* kDoc =
        "CappedSphereVertexBuffer()\n\n"
        "Vertex buffer of the dome shell: one 44-byte record per vertex (position\n"
        "high x, y, z and low x, y, z, normal x, y, z, texture coordinate x, y;\n"
        "32-bit floats), kept on the CPU in the uploaded layout and uploaded by\n"
        "buffer_data() in one call. Records are appended by the mesh only.";
    static constexpr const dvb::Field* kFields = kCappedSphereVertexFields;
    static constexpr int kFieldCount = 3;
    // get_last_index() is a signed 32-bit index.
    static constexpr Py_ssize_t kMaxRecords = 0x7fffffff;
};
using Buffer = dvb::DsVertexBuffer<CappedSphereTraits>;

// ------------------------------------------------------------------ DomeShellMesh state

PyTypeObject mesh_type;
DomeShellMeshVtab mesh_vtab;
using MeshClass = mesh_common::MeshClass<DomeShellMesh>;

PyObject* s_create_geometry;
PyObject* s_split;
PyObject* ctor_names[3];   // ecc, radius, depth
PyObject* split_names[4];  // v1, v2, depth, vertex_data

#define DOME_NAME(method) "vesk.scene.geometry.dome_shell_mesh.DomeShellMesh." method
const frame::Where kCinit{DOME_NAME("__cinit__"), kFile};
const frame::Where kAddQuadrant{DOME_NAME("add_quadrant"), kFile};
const frame::Where kAddQuad{DOME_NAME("add_quad"), kFile};
const frame::Where kAddVector{DOME_NAME("add_vector"), kFile};
const frame::Where kConvert{DOME_NAME("convert"), kFile};
const frame::Where kCreateGeometry{DOME_NAME("create_geometry"), kFile};
const frame::Where kSplit{DOME_NAME("split"), kFile};
#undef DOME_NAME

DomeShellMesh* cast(PyObject* o) { return reinterpret_cast<DomeShellMesh*>(o); }

#define DOME_REPORT(where) mesh_common::report((where), __LINE__)

// ------------------------------------------------------------------ sizes

// Triangles of one patch at depth d >= 1: the pole triangle, seven for each
// of the 2^d - 1 subdivision steps, two for each band quad. Evaluated in
// double so that any depth gives a finite, comparable number.
double patch_triangles(int32_t depth) {
    const double segments = std::trunc(std::pow(2.0, depth));
    const double band_start = depth;  // what trunc(1 / k) gives for depth >= 1
    return 1.0 + 7.0 * (segments - 1.0) + 2.0 * segments * (segments - band_start);
}

Py_ssize_t mesh_indices(const DomeShellMesh* self) {
    return static_cast<Py_ssize_t>(24.0 * patch_triangles(self->depth));
}

// An upper bound of the vertices one create_geometry makes: per hemisphere
// the pole, the cap rows (row 1 with one piece per quadrant, rows 2k and
// 2k + 1 with 2^k) and the band rows below the cap's edge, quadrant
// boundaries shared; the equator once; plus the inner points of the cap's
// last row in every quadrant, which the bands may fail to share when their
// longitudes differ in the last bit.
Py_ssize_t mesh_vertex_bound(const DomeShellMesh* self) {
    const Py_ssize_t s = self->segments, d = self->depth, b = self->band_start;
    const Py_ssize_t ring = 4 * s + 1;
    const Py_ssize_t hemisphere = 1 + 5 + 8 * (2 * s - 2) + 2 * d + (s - b) * ring;
    return 2 * hemisphere - ring + 8 * (s - 1);
}

// ------------------------------------------------------------------ arithmetic

// A parameter point (longitude, row, hemisphere).
struct Pt {
    double x, y, z;
};

// p + (0, 1.0, 0) and (a + b) * 0.5, as the Vector3 operations evaluate them.
Pt down(const Pt& p) { return Pt{p.x + 0.0, p.y + 1.0, p.z + 0.0}; }
Pt half_sum(const Pt& a, const Pt& b) {
    return Pt{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5, (a.z + b.z) * 0.5};
}

// Cap mapping: y counts rows from the pole (0) to the cap's edge (rows).
double cap_phi(const DomeShellMesh* m, const Pt& p) {
    return p.z * (kHalfPi - (std::pow(p.y, 2.0) / std::pow(m->rows, 2.0)) * (m->cap_fraction * kPi / 2));
}
// Band mapping: y runs from the pole (0) to the equator (1).
double band_phi(double h, double y) { return h * (kHalfPi - (y * kPi) / 2); }

// What a vertex takes from its latitude.
struct Lat {
    double cphi, sphi, nr, pz;
    float v;
    bool ok;  // false: w is zero ("float division")
};
Lat latitude(const DomeShellMesh* m, double phi) {
    Lat l;
    l.cphi = std::cos(phi);
    l.sphi = std::sin(phi);
    const double w = std::sqrt(1 - m->ecc_squared * l.sphi * l.sphi);
    l.ok = w != 0;
    l.nr = l.ok ? m->radius / w : 0.0;
    l.pz = (1 - m->ecc_squared) * l.nr * l.sphi;
    l.v = static_cast<float>(0.5 - phi / kPi);
    return l;
}
// ... and from its longitude.
struct Lon {
    double c, s;
    float u;
};
Lon longitude(double lam) { return Lon{std::cos(lam), std::sin(lam), static_cast<float>(lam / (2 * kPi))}; }

// The dictionary key: 64-bit position, 32-bit texture coordinate widened.
struct Key {
    double v[5];
};

void make_vertex(const Lat& l, const Lon& o, CappedSphereVertex* out, Key* key) {
    const double nx = o.c * l.cphi;
    const double ny = o.s * l.cphi;
    const double px = nx * l.nr, py = ny * l.nr;
    out->_position = linvec::ds_math::split3(px, py, l.pz);
    out->_normal = {static_cast<float>(nx), static_cast<float>(ny), static_cast<float>(l.sphi)};
    out->_texture_coord = {o.u, l.v};
    *key = Key{{px, py, l.pz, static_cast<double>(o.u), static_cast<double>(l.v)}};
}

// ------------------------------------------------------------------ buffers

bool buffers_ok(const DomeShellMesh* self) { return mesh_common::has_buffers<Buffer>(self); }
CappedSphereVertexBuffer* vbuf(const DomeShellMesh* self) {
    return reinterpret_cast<CappedSphereVertexBuffer*>(self->vertex_buffer);
}
index_buffer::IndexBuffer* ibuf(const DomeShellMesh* self) {
    return reinterpret_cast<index_buffer::IndexBuffer*>(self->indexbuffer);
}

// Appends indices as IntIndexBuffer.add (entry 3, skip 0) does; an exact
// IntIndexBuffer with room and no exported view takes them in place. Holds
// both buffers for the build: Python code reached from inside it (an
// override, an unraisable hook) may run anything.
struct Sink {
    frame::Ref vb_ref, ib_ref;
    index_buffer::IndexBuffer* ib;
    bool direct;

    explicit Sink(DomeShellMesh* self)
        : vb_ref(frame::Ref::new_ref(self->vertex_buffer)),
          ib_ref(frame::Ref::new_ref(self->indexbuffer)),
          ib(ibuf(self)),
          direct(Py_TYPE(ib) == mesh_common::imported.int_index_buffer) {}

    int put(uint32_t v) {
        frame::RecordArray& a = ib->_indices;
        if (FRAME_LIKELY(direct && a.end != a.capacity && a.exports == 0 &&
                         a.end - a.begin < index_buffer::kMaxIndices * 4)) {
            std::memcpy(a.end, &v, sizeof v);
            a.end += sizeof v;
            return 0;
        }
        PyObject* r = ib->vtab->add(ib, v, 0);
        if (!r) return -1;
        Py_DECREF(r);
        return 0;
    }
};

// Give back room reserved beyond what was used (nothing moves while views
// are exported; a failed shrink keeps the larger block).
void trim(frame::RecordArray* a) {
    if (a->exports > 0 || !a->begin || a->end == a->capacity || a->end == a->begin) return;
    const size_t used = static_cast<size_t>(a->end - a->begin);
    char* p = static_cast<char*>(PyMem_Realloc(a->begin, used));
    if (!p) return;
    a->begin = p;
    a->end = p + used;
    a->capacity = p + used;
}

// ------------------------------------------------------------------ the documented form: a dict

Pt point_of(PyObject* v) {
    auto* p = reinterpret_cast<linvec::vector3::Vector3*>(v);
    return Pt{p->x, p->y, p->z};
}

bool check_point(PyObject* o, const char* argname) { return ds_vertex_buffer::require_vector3(o, argname); }

bool check_dict(PyObject* o) {
    if (o && PyDict_Check(o)) return true;
    PyErr_Format(PyExc_TypeError, "Expected %.16s, got %.200s", "dict", o ? Py_TYPE(o)->tp_name : "NULL");
    return false;
}

// The vertex with this key from `dict`, or a new one stored under it.
// Returns the index, or -1 with an error set.
int64_t dict_vertex(DomeShellMesh* self, PyObject* dict, const Lat& lat, const Lon& lon) {
    CappedSphereVertex rec;
    Key k;
    make_vertex(lat, lon, &rec, &k);
    frame::Ref key = frame::Ref::steal(PyTuple_New(5));
    if (!key) return -1;
    for (int n = 0; n < 5; ++n) {
        PyObject* f = PyFloat_FromDouble(k.v[n]);
        if (!f) return -1;
        PyTuple_SET_ITEM(key.get(), n, f);
    }
    PyObject* found = PyDict_GetItemWithError(dict, key.get());
    if (found) {
        frame::Ref keep = frame::Ref::new_ref(found);
        uint32_t idx;
        if (!frame::to_gluint(keep.get(), &idx)) return -1;
        return idx;
    }
    if (PyErr_Occurred()) return -1;
    CappedSphereVertexBuffer* vb = vbuf(self);
    auto* vt = reinterpret_cast<CappedSphereVertexBufferVtab*>(vb->base.vtab);
    frame::Ref r = frame::Ref::steal(vt->add(vb, rec));
    if (!r) return -1;
    const int32_t idx = vt->get_last_index(vb, 0);
    frame::Ref value = frame::Ref::steal(PyLong_FromLong(idx));
    if (!value || PyDict_SetItem(dict, key.get(), value.get()) < 0) return -1;
    return static_cast<uint32_t>(idx);
}

// The index of the vertex at latitude `phi` and the longitude of `p` from
// `dict`, made when missing; an error is reported from `w` (convert or
// add_vector) and index 0 used.
uint32_t dict_index(DomeShellMesh* self, PyObject* dict, double phi, const Pt& p, const frame::Where& w) {
    const Lat lat = latitude(self, phi);
    if (!lat.ok) {
        mesh_common::float_division();
        DOME_REPORT(w);
        return 0;
    }
    const int64_t idx = dict_vertex(self, dict, lat, longitude(p.x));
    if (idx < 0) {
        DOME_REPORT(w);
        return 0;
    }
    return static_cast<uint32_t>(idx);
}

// Cap mapping.
uint32_t dict_convert(DomeShellMesh* self, PyObject* dict, const Pt& p) {
    return dict_index(self, dict, cap_phi(self, p), p, kConvert);
}

// Band mapping.
uint32_t dict_add_vector(DomeShellMesh* self, PyObject* dict, const Pt& p) {
    return dict_index(self, dict, band_phi(p.z, p.y), p, kAddVector);
}

// The corner order of a band quad: triangles (c00, c10, c01), (c01, c10,
// c11) in the north, mirrored in the south. Offsets (di, dj) from (i, j).
struct Corner {
    int di, dj;
};
constexpr Corner kNorthQuad[6] = {{0, 0}, {0, 1}, {1, 0}, {1, 0}, {0, 1}, {1, 1}};
constexpr Corner kSouthQuad[6] = {{0, 0}, {1, 0}, {0, 1}, {0, 1}, {1, 0}, {1, 1}};

int dict_add_quad(DomeShellMesh* self, PyObject* dict, Sink& sink, double start, int32_t i, int32_t j,
                  double h) {
    if (self->segments == 0) {
        mesh_common::float_division();
        return FRAME_FAIL(kAddQuad, -1);
    }
    const double step = 1.0 / self->segments;
    const double lam[2] = {static_cast<double>(j) * step * kPi * 0.5 + start,
                           static_cast<double>(static_cast<int64_t>(j) + 1) * step * kPi * 0.5 + start};
    const double y[2] = {step * i, (i + 1.0) * step};
    for (const Corner& c : h > 0 ? kNorthQuad : kSouthQuad) {
        const uint32_t idx = dict_add_vector(self, dict, Pt{lam[c.dj], y[c.di], h});
        if (sink.put(idx) < 0) return FRAME_FAIL(kAddQuad, -1);
    }
    return 0;
}

// The build through the dictionary: split and add_quad as the method table
// has them (a Python override of split runs).
struct DictBuild {
    DomeShellMesh* self;
    PyObject* dict;
    Sink sink;

    uint32_t convert(const Pt& p) { return dict_convert(self, dict, p); }
    int put(uint32_t v) { return sink.put(v); }
    int split(const Pt& a, const Pt& b, int32_t depth) {
        frame::Ref va = frame::Ref::steal(linvec::vector3::make(a.x, a.y, a.z));
        frame::Ref vb = frame::Ref::steal(linvec::vector3::make(b.x, b.y, b.z));
        if (!va || !vb) return -1;
        self->vtab->split(self, va.get(), vb.get(), depth, dict, 0);
        return 0;
    }
    void begin_band(double, double) {}
    int quad(double start, int32_t i, int32_t j, double h) {
        return dict_add_quad(self, dict, sink, start, i, j, h);
    }
};

// ------------------------------------------------------------------ the native form

// Storage from the Python allocator for plain values.
template <class T>
struct Array {
    T* p = nullptr;
    size_t n = 0;
    Array() = default;
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    ~Array() { PyMem_Free(p); }
    bool resize(size_t count) {
        if (count > PY_SSIZE_T_MAX / sizeof(T)) {
            PyErr_NoMemory();
            return false;
        }
        T* q = static_cast<T*>(PyMem_Realloc(p, count * sizeof(T)));
        if (!q) {
            PyErr_NoMemory();
            return false;
        }
        p = q;
        n = count;
        return true;
    }
    T& operator[](size_t i) { return p[i]; }
    const T& operator[](size_t i) const { return p[i]; }
};

// Key -> vertex index with the dictionary's equality on floats: -0.0 and
// 0.0 are one key; a key holding a NaN equals nothing, so it is never
// stored (the dictionary would store it unfindable).
class KeyMap {
public:
    bool init(size_t expected) {
        size_t n = 64;
        while (n < expected * 2) n <<= 1;
        if (!slots_.resize(n) || !entries_.resize(expected < 64 ? 64 : expected)) return false;
        std::memset(slots_.p, 0, n * sizeof(uint32_t));
        used_ = 0;
        return true;
    }

    static bool findable(const Key& k) {
        for (double d : k.v)
            if (d != d) return false;
        return true;
    }

    static uint64_t hash(const Key& k) {
        uint64_t h = 0x243f6a8885a308d3ull;
        for (double d : k.v) {
            const double z = d + 0.0;  // -0.0 hashes as 0.0
            uint64_t b;
            std::memcpy(&b, &z, sizeof b);
            h = (h ^ b) * 0x9e3779b97f4a7c15ull;
            h ^= h >> 32;
        }
        return h ^ (h >> 29);
    }

    // The index stored under `k`, or -1.
    int64_t find(const Key& k, uint64_t h) const {
        const size_t mask = slots_.n - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const uint32_t s = slots_[i];
            if (s == 0) return -1;
            const Entry& e = entries_[s - 1];
            if (e.key.v[0] == k.v[0] && e.key.v[1] == k.v[1] && e.key.v[2] == k.v[2] &&
                e.key.v[3] == k.v[3] && e.key.v[4] == k.v[4])
                return e.index;
        }
    }

    // Store a key that find() did not hold. false with MemoryError set.
    bool insert(const Key& k, uint64_t h, uint32_t index) {
        if (used_ == entries_.n && !entries_.resize(entries_.n * 2)) return false;
        if (2 * (used_ + 1) > slots_.n && !rehash(slots_.n * 2)) return false;
        entries_[used_] = Entry{k, index};
        ++used_;
        place(h, static_cast<uint32_t>(used_));
        return true;
    }

private:
    struct Entry {
        Key key;
        uint32_t index;
    };

    void place(uint64_t h, uint32_t slot_value) {
        const size_t mask = slots_.n - 1;
        size_t i = h & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = slot_value;
    }

    bool rehash(size_t n) {
        if (!slots_.resize(n)) return false;
        std::memset(slots_.p, 0, n * sizeof(uint32_t));
        for (size_t e = 0; e < used_; ++e) place(hash(entries_[e].key), static_cast<uint32_t>(e + 1));
        return true;
    }

    Array<uint32_t> slots_;  // 0 empty, else entry number + 1
    Array<Entry> entries_;
    size_t used_ = 0;
};

template <class Build>
void split_body(Build& c, DomeShellMesh* self, const Pt& v1, const Pt& v2, int32_t depth);

// The build without Python objects: the key table above, and for each
// quadrant's band a grid of the vertex each grid point resolved to, its
// latitude and longitude terms evaluated once per row and column (each is
// a function of its own row or column only, so the results are the same).
struct NativeBuild {
    static constexpr uint32_t kUnset = 0xffffffffu;

    DomeShellMesh* self;
    CappedSphereVertexBuffer* vb;
    Sink sink;
    KeyMap keys;
    Array<Lon> cols;   // j = 0 .. segments
    Array<Lat> lats;   // i = band_start .. segments
    Array<uint32_t> grid;
    size_t ncols = 0, nrows = 0;

    explicit NativeBuild(DomeShellMesh* m) : self(m), vb(vbuf(m)), sink(m) {}

    bool init(size_t expected_vertices) {
        ncols = static_cast<size_t>(self->segments) + 1;
        nrows = static_cast<size_t>(self->segments - self->band_start) + 1;
        return keys.init(expected_vertices) && cols.resize(ncols) && lats.resize(nrows) &&
               grid.resize(ncols * nrows);
    }

    // The vertex for (lat, lon): found by key or appended. -1 with an error
    // set; *cacheable false when the key can never be found again.
    int64_t vertex(const Lat& lat, const Lon& lon, bool* cacheable) {
        CappedSphereVertex rec;
        Key k;
        make_vertex(lat, lon, &rec, &k);
        const bool findable = KeyMap::findable(k);
        *cacheable = findable;
        uint64_t h = 0;
        if (findable) {
            h = KeyMap::hash(k);
            const int64_t found = keys.find(k, h);
            if (found >= 0) return found;
        }
        if (Buffer::append(vb, rec) < 0) return -1;
        const uint32_t idx = static_cast<uint32_t>(Buffer::count(vb) - 1);
        if (findable && !keys.insert(k, h, idx)) return -1;
        return idx;
    }

    uint32_t convert(const Pt& p) {
        const Lat lat = latitude(self, cap_phi(self, p));
        if (!lat.ok) {
            mesh_common::float_division();
            DOME_REPORT(kConvert);
            return 0;
        }
        bool cacheable;
        const int64_t idx = vertex(lat, longitude(p.x), &cacheable);
        if (idx < 0) {
            DOME_REPORT(kConvert);
            return 0;
        }
        return static_cast<uint32_t>(idx);
    }

    int put(uint32_t v) { return sink.put(v); }

    int split(const Pt& a, const Pt& b, int32_t depth) {
        split_body(*this, self, a, b, depth);
        return 0;
    }

    // Rows and columns of the quadrant starting at `start`, as add_quad
    // forms them: lambda_j = j * step * pi * 0.5 + start, y_i = step * i.
    void begin_band(double start, double h) {
        const double step = 1.0 / self->segments;
        for (size_t j = 0; j < ncols; ++j) cols[j] = longitude(static_cast<double>(j) * step * kPi * 0.5 + start);
        for (size_t r = 0; r < nrows; ++r)
            lats[r] = latitude(self, band_phi(h, step * static_cast<double>(self->band_start + static_cast<int32_t>(r))));
        for (size_t g = 0; g < ncols * nrows; ++g) grid[g] = kUnset;
    }

    uint32_t band_vertex(size_t r, size_t j) {
        uint32_t& g = grid[r * ncols + j];
        if (g != kUnset) return g;
        const Lat& lat = lats[r];
        if (!lat.ok) {
            mesh_common::float_division();
            DOME_REPORT(kAddVector);
            return 0;
        }
        bool cacheable;
        const int64_t idx = vertex(lat, cols[j], &cacheable);
        if (idx < 0) {
            DOME_REPORT(kAddVector);
            return 0;
        }
        if (cacheable) g = static_cast<uint32_t>(idx);
        return static_cast<uint32_t>(idx);
    }

    int quad(double, int32_t i, int32_t j, double h) {
        const size_t r = static_cast<size_t>(i - self->band_start), c = static_cast<size_t>(j);
        for (const Corner& k : h > 0 ? kNorthQuad : kSouthQuad)
            if (sink.put(band_vertex(r + k.di, c + k.dj)) < 0) return FRAME_FAIL(kAddQuad, -1);
        return 0;
    }
};

// ------------------------------------------------------------------ shared steps

// One subdivision step: the odd row (three triangles) and the even row (four)
// below the edge v1-v2, then the two halves of the new edge, one level down.
template <class Build>
void split_body(Build& c, DomeShellMesh*, const Pt& v1, const Pt& v2, int32_t depth) {
    const Pt o1 = down(v1), o2 = down(v2);
    const Pt vmid = half_sum(o1, o2);
    const Pt odd[9] = {v1, v2, vmid, v1, vmid, o1, o2, vmid, v2};
    for (const Pt& p : odd)
        if (c.put(c.convert(p)) < 0) return DOME_REPORT(kSplit);
    const Pt e1 = down(o1), emid = down(vmid), e2 = down(o2);
    const Pt even[12] = {o1, vmid, e1, e1, vmid, emid, vmid, o2, emid, emid, o2, e2};
    for (const Pt& p : even)
        if (c.put(c.convert(p)) < 0) return DOME_REPORT(kSplit);
    if (depth > 0) {
        if (c.split(e1, emid, depth - 1) < 0) return DOME_REPORT(kSplit);
        if (c.split(emid, e2, depth - 1) < 0) return DOME_REPORT(kSplit);
    }
}

// One patch: the pole triangle, the cap's subdivision, the band quads.
template <class Build>
int quadrant_body(Build& c, DomeShellMesh* self, double start, double end, double h) {
    const Pt pole{0.0, 0.0, h}, va{start, 1.0, h}, vb{end, 1.0, h};
    const Pt& first = h > 0 ? vb : va;
    const Pt& second = h > 0 ? va : vb;
    for (const Pt* p : {&pole, &first, &second})
        if (c.put(c.convert(*p)) < 0) return FRAME_FAIL(kAddQuadrant, -1);
    if (c.split(second, first, self->depth - 1) < 0) return FRAME_FAIL(kAddQuadrant, -1);
    c.begin_band(start, h);
    for (int32_t i = self->band_start; i < self->segments; ++i)
        for (int32_t j = 0; j < self->segments; ++j)
            if (c.quad(start, i, j, h) < 0) return FRAME_FAIL(kAddQuadrant, -1);
    return 0;
}

// ------------------------------------------------------------------ method table

PyObject* py_create_geometry(PyObject* self, PyObject*);
PyObject* py_split(PyObject* self, PyObject* args, PyObject* kwds);

PyObject* add_quadrant(DomeShellMesh* self, double start, double end, double h, PyObject* vertex_data) {
    if (!check_dict(vertex_data) || !buffers_ok(self)) return FRAME_FAIL(kAddQuadrant, nullptr);
    DictBuild c{self, vertex_data, Sink(self)};
    if (quadrant_body(c, self, start, end, h) < 0) return nullptr;
    return frame::none();
}

PyObject* add_quad(DomeShellMesh* self, double start, int32_t i, int32_t j, double h, PyObject* vertex_data) {
    if (self->segments == 0) {
        mesh_common::float_division();
        return FRAME_FAIL(kAddQuad, nullptr);
    }
    if (!check_dict(vertex_data) || !buffers_ok(self)) return FRAME_FAIL(kAddQuad, nullptr);
    Sink sink(self);
    if (dict_add_quad(self, vertex_data, sink, start, i, j, h) < 0) return nullptr;
    return frame::none();
}

uint32_t add_vector(DomeShellMesh* self, PyObject* point, PyObject* vertex_data) {
    if (!check_point(point, "point") || !check_dict(vertex_data) || !buffers_ok(self)) {
        DOME_REPORT(kAddVector);
        return 0;
    }
    return dict_add_vector(self, vertex_data, point_of(point));
}

uint32_t convert(DomeShellMesh* self, PyObject* point, PyObject* vertex_data) {
    if (!check_point(point, "point") || !check_dict(vertex_data) || !buffers_ok(self)) {
        DOME_REPORT(kConvert);
        return 0;
    }
    return dict_convert(self, vertex_data, point_of(point));
}

// Indices one split step of `depth` appends with its recursion: 21 per step.
double split_indices(int32_t depth) { return 21.0 * (std::pow(2.0, depth > 0 ? depth + 1.0 : 1.0) - 1.0); }

// Whether `more` indices still fit the index buffer; OverflowError if not.
bool indices_fit(DomeShellMesh* self, double more) {
    if (static_cast<double>(index_buffer::index_count(ibuf(self))) + more <=
        static_cast<double>(index_buffer::kMaxIndices))
        return true;
    PyErr_Format(PyExc_OverflowError, "the mesh would need more than %zd indices", index_buffer::kMaxIndices);
    return false;
}

void split(DomeShellMesh* self, PyObject* v1, PyObject* v2, int32_t depth, PyObject* vertex_data, int skip) {
    frame::Ref r;
    if (!skip) {
        frame::Ref d = frame::Ref::steal(PyLong_FromLong(depth));
        if (!d) return DOME_REPORT(kSplit);
        if (frame::call_override((PyObject*)self, s_split, (PyCFunction)(void (*)())py_split, &r,
                                 {v1, v2, d.get(), vertex_data})) {
            if (!r) DOME_REPORT(kSplit);
            return;
        }
    }
    if (!check_point(v1, "v1") || !check_point(v2, "v2") || !check_dict(vertex_data) || !buffers_ok(self) ||
        !indices_fit(self, split_indices(depth)))
        return DOME_REPORT(kSplit);
    DictBuild c{self, vertex_data, Sink(self)};
    split_body(c, self, point_of(v1), point_of(v2), depth);
}

void create_geometry(DomeShellMesh* self, int skip) {
    frame::Ref r;
    if (!skip && frame::call_override((PyObject*)self, s_create_geometry, py_create_geometry, &r)) {
        if (!r) DOME_REPORT(kCreateGeometry);
        return;
    }
    if (!buffers_ok(self)) return DOME_REPORT(kCreateGeometry);
    frame::Ref split_override = frame::find_override((PyObject*)self, s_split, (PyCFunction)(void (*)())py_split);
    if (!split_override && PyErr_Occurred()) return DOME_REPORT(kCreateGeometry);
    const bool through_dict = static_cast<bool>(split_override);
    split_override.reset();

    // Room for exactly the indices and at most the vertices of one build;
    // unused vertex room is given back at the end.
    frame::Ref vb_ref = frame::Ref::new_ref(self->vertex_buffer);
    frame::Ref ib_ref = frame::Ref::new_ref(self->indexbuffer);
    CappedSphereVertexBuffer* vb = vbuf(self);
    index_buffer::IndexBuffer* ib = ibuf(self);
    const Py_ssize_t nidx = mesh_indices(self);
    const Py_ssize_t nvert = mesh_vertex_bound(self);
    if (!indices_fit(self, static_cast<double>(nidx)) || mesh_common::reserve_more<Buffer>(vb, ib, nvert, nidx) < 0)
        return DOME_REPORT(kCreateGeometry);

    if (through_dict) {
        frame::Ref vertex_data = frame::Ref::steal(PyDict_New());
        if (!vertex_data) return DOME_REPORT(kCreateGeometry);
        for (double h : {1.0, -1.0}) {
            for (int q = 0; q < 4; ++q) {
                r = frame::Ref::steal(self->vtab->add_quadrant(self, kQuadrants[q], kQuadrants[q + 1], h,
                                                               vertex_data.get()));
                if (!r) {
                    DOME_REPORT(kCreateGeometry);
                    goto done;
                }
            }
        }
    } else {
        NativeBuild c(self);
        if (!c.init(static_cast<size_t>(nvert))) {
            DOME_REPORT(kCreateGeometry);
            goto done;
        }
        for (double h : {1.0, -1.0}) {
            for (int q = 0; q < 4; ++q) {
                if (quadrant_body(c, self, kQuadrants[q], kQuadrants[q + 1], h) < 0) {
                    DOME_REPORT(kCreateGeometry);
                    goto done;
                }
            }
        }
    }
done:
    trim(&vb->_vertices);
    trim(&ib->_indices);
}

// ------------------------------------------------------------------ Python entry points

PyObject* py_create_geometry(PyObject* self, PyObject*) {
    create_geometry(cast(self), 1);
    return frame::none();
}

PyObject* py_split(PyObject* self, PyObject* args, PyObject* kwds) {
    static const frame::Where here = kSplit;
    PyObject* v[4];
    if (frame::parse_args("split", args, kwds, split_names, 4, v) < 0) return FRAME_FAIL(here, nullptr);
    int32_t depth;
    if (!check_point(v[0], "v1") || !check_point(v[1], "v2") || !frame::to_int32(v[2], &depth))
        return FRAME_FAIL(here, nullptr);
    if (!frame::require_arg_type(v[3], &PyDict_Type, "vertex_data")) return FRAME_FAIL(here, nullptr);
    split(cast(self), v[0], v[1], depth, v[3], 1);
    return frame::none();
}

// ------------------------------------------------------------------ construction

int build(DomeShellMesh* self, double ecc, double radius, int32_t depth) {
    frame::Ref vb, ib;
    if (mesh_common::make_buffers<Buffer>(self, &vb, &ib) < 0) return FRAME_FAIL(kCinit, -1);

    self->ecc = ecc;
    self->ecc_squared = std::pow(ecc, 2.0);
    self->depth = depth;
    self->radius = radius;
    self->rows = 2.0 * depth + 1;
    const double k = 1 - std::pow(self->rows - 1, 2.0) / std::pow(self->rows, 2.0);
    const double segments = std::trunc(std::pow(2.0, depth));
    if (segments == 0) {  // a negative depth
        mesh_common::float_division();
        return FRAME_FAIL(kCinit, -1);
    }
    // Depth 0 has no well-formed mesh: its two cap rows would lie beyond
    // the pole.
    if (depth < 1) {
        PyErr_Format(PyExc_ValueError, "depth must be at least 1, got %d", depth);
        return FRAME_FAIL(kCinit, -1);
    }
    // Every index must fit the index buffer: refuse before building.
    if (24.0 * patch_triangles(depth) > static_cast<double>(index_buffer::kMaxIndices)) {
        PyErr_Format(PyExc_OverflowError,
                     "a dome of depth %d needs more than %zd indices, the most an index buffer holds", depth,
                     index_buffer::kMaxIndices);
        return FRAME_FAIL(kCinit, -1);
    }
    self->band_start = static_cast<int32_t>(std::trunc(1 / k));
    self->segments = static_cast<int32_t>(segments);
    self->cap_fraction = static_cast<double>(self->band_start) / self->segments;

    self->vtab->create_geometry(self, 0);

    // position hi (0), position lo (1), normal (2), texture coordinate (3)
    static const mesh_common::Attribute attributes[] = {{0, 3, 0}, {1, 3, 12}, {2, 3, 24}, {3, 2, 36}};
    if (mesh_common::upload_and_bind<Buffer>(self, vb.get(), ib.get(), attributes) < 0) return FRAME_FAIL(kCinit, -1);
    return 0;
}

PyObject* mesh_new(PyTypeObject* t, PyObject* args, PyObject* kwds) {
    PyObject* v[3];
    if (frame::parse_args("__cinit__", args, kwds, ctor_names, 3, v) < 0) return FRAME_FAIL(kCinit, nullptr);
    double ecc, radius;
    int32_t depth;
    if (!frame::to_double(v[0], &ecc) || !frame::to_double(v[1], &radius) || !frame::to_int32(v[2], &depth))
        return FRAME_FAIL(kCinit, nullptr);
    frame::Ref o = frame::Ref::steal(MeshClass::alloc(t));
    if (!o) return FRAME_FAIL(kCinit, nullptr);
    cast(o.get())->vtab = &mesh_vtab;
    if (build(cast(o.get()), ecc, radius, depth) < 0) return nullptr;
    return o.release();
}

// ------------------------------------------------------------------ properties

#define DOME_FIELD(name) mesh_common::field_at(offsetof(DomeShellMesh, name))
using mesh_common::get_double;
using mesh_common::get_int32;
using mesh_common::get_object;
PyGetSetDef mesh_getset[] = {
    {"vertex_buffer", get_object, nullptr, "The CappedSphereVertexBuffer of the mesh.", DOME_FIELD(vertex_buffer)},
    {"indexbuffer", get_object, nullptr, "The IntIndexBuffer of the mesh.", DOME_FIELD(indexbuffer)},
    {"binding", get_object, nullptr, "The AttribBinding over the description and the index buffer.",
     DOME_FIELD(binding)},
    {"description", get_object, nullptr,
     "The VertexDescription: position hi (0), position lo (1), normal (2), texture coordinate (3).",
     DOME_FIELD(description)},
    {"radius", get_double, nullptr, "Equatorial radius.", DOME_FIELD(radius)},
    {"ecc", get_double, nullptr, "Eccentricity.", DOME_FIELD(ecc)},
    {"ecc_squared", get_double, nullptr, "ecc ** 2.0.", DOME_FIELD(ecc_squared)},
    {"depth", get_int32, nullptr, "Subdivision depth.", DOME_FIELD(depth)},
    {"rows", get_double, nullptr, "Rows of each polar cap: 2 * depth + 1.", DOME_FIELD(rows)},
    {"band_start", get_int32, nullptr, "First band of latitude/longitude quads.", DOME_FIELD(band_start)},
    {"cap_fraction", get_double, nullptr, "band_start / segments: the caps' share of each pole-to-equator arc.",
     DOME_FIELD(cap_fraction)},
    {"segments", get_int32, nullptr, "2 ** depth: quads across a quadrant and pieces of a cap's edge.",
     DOME_FIELD(segments)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};
#undef DOME_FIELD

PyMethodDef mesh_methods[] = {
    {"create_geometry", py_create_geometry, METH_NOARGS,
     "DomeShellMesh.create_geometry(self) -> void\n\n"
     "Append all eight patches to the CPU-side buffers with a new vertex\n"
     "dictionary (so a second call repeats every vertex); upload with the\n"
     "buffers' buffer_data()."},
    {"split", (PyCFunction)(void (*)())py_split, METH_VARARGS | METH_KEYWORDS,
     "DomeShellMesh.split(self, Vector3 v1, Vector3 v2, int depth, dict vertex_data) -> void\n\n"
     "Append one two-row subdivision step below the cap edge v1-v2 (parameter\n"
     "points: longitude, row, hemisphere) and, while depth > 0, the steps below\n"
     "both halves of its new edge. vertex_data maps each vertex's\n"
     "(x, y, z, u, v) to its index."},
    {nullptr, nullptr, 0, nullptr},
};

// ------------------------------------------------------------------ registration

int register_classes(PyObject* module) {
    s_create_geometry = frame::intern("create_geometry");
    s_split = frame::intern("split");
    const char* const ctor[3] = {"ecc", "radius", "depth"};
    const char* const sp[4] = {"v1", "v2", "depth", "vertex_data"};
    for (int n = 0; n < 3; ++n)
        if (!(ctor_names[n] = frame::intern(ctor[n]))) return -1;
    for (int n = 0; n < 4; ++n)
        if (!(split_names[n] = frame::intern(sp[n]))) return -1;
    if (!s_create_geometry || !s_split) return -1;
    if (Buffer::register_class(module) < 0) return -1;

    mesh_vtab.add_quadrant = add_quadrant;
    mesh_vtab.add_quad = add_quad;
    mesh_vtab.add_vector = add_vector;
    mesh_vtab.convert = convert;
    mesh_vtab.create_geometry = create_geometry;
    mesh_vtab.split = split;
    static const char* const doc =
        "DomeShellMesh(ecc, radius, depth)\n\n"
        "Closed triangle mesh of the ellipsoid of revolution about the z axis with\n"
        "equatorial radius `radius` and eccentricity `ecc`: vertices at zero\n"
        "height by geodetic latitude and longitude, with the ellipsoid normal and\n"
        "an equirectangular texture coordinate. Eight patches (four longitude\n"
        "quadrants per hemisphere), each a polar cap grown by `depth` two-row\n"
        "subdivision steps and a band of 2**depth quads across down to the\n"
        "equator. Built, uploaded and bound on construction; seen from outside\n"
        "every triangle turns clockwise. depth must be at least 1.";
    return MeshClass::register_class(module, &mesh_type, "vesk.scene.geometry.dome_shell_mesh.DomeShellMesh",
                                     kDomeShellMesh, doc, mesh_new, mesh_methods, mesh_getset, &mesh_vtab);
}

PyModuleDef def = {PyModuleDef_HEAD_INIT, "dome_shell_mesh", nullptr, -1, nullptr,
                   nullptr, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace vesk::dome_shell_mesh

PyMODINIT_FUNC PyInit_dome_shell_mesh() {
    using namespace vesk::dome_shell_mesh;
    return vesk::mesh_common::init_module(&def, kModule, kFile, register_classes);
}
