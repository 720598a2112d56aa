// Which GL context a name belongs to. Free of GL headers, so layouts in
// module headers can hold a token without pulling GL in.
#pragma once

#include <cstdint>

namespace glsupport {

// Identifies the context current when a GL name was generated.
struct ContextToken {
    const void* handle = nullptr;
    uint64_t serial = 0;
    bool valid() const { return handle != nullptr; }
};

// The context current on this thread (EGL or GLX), or an invalid token.
ContextToken current_context();

// True when `t` is the context current now: a name generated under it may
// be deleted.
bool is_current(const ContextToken& t);

}  // namespace glsupport
