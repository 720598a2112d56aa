// Ownership of one GL name: an object deletes only a name it generated, and
// only while the context it generated the name in is current. Released after
// that context closed, or under another context, it forgets the name: the
// number may by then name someone else's object.
#pragma once

#include "glsupport/glsupport.hpp"

namespace glsupport {

struct OwnedName {
    uint32_t id;           // 0: nothing owned
    ContextToken context;  // current when `id` was generated
};

// Record `id` as just generated under the current context.
inline void own(OwnedName* n, uint32_t id) {
    n->id = id;
    n->context = current_context();
}

// Delete the name with `del` (glDeleteBuffers, glDeleteVertexArrays) when
// its context is current, otherwise forget it; nothing is owned afterwards.
inline void release(OwnedName* n, void(GLAPIENTRY* del)(GLsizei, const GLuint*)) {
    if (n->id != 0 && is_current(n->context)) del(1, &n->id);
    n->id = 0;
    n->context = ContextToken{};
}

}  // namespace glsupport
