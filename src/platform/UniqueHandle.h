#pragma once

#include <memory>

namespace kesto {

// Frees a C library's handle with that library's own function: the deleter
// of UniqueHandle. A null handle is not passed on.
template <auto Free>
struct FreeWith {
    template <typename T>
    void operator()(T* handle) const noexcept {
        if (handle != nullptr) {
            Free(handle);
        }
    }
};

// Owns one handle of a C library, freed with `Free` when it goes away:
//   UniqueHandle<CURL, curl_easy_cleanup> curl{curl_easy_init()};
//   UniqueHandle<GstElement, gst_object_unref> pipeline{gst_parse_launch(...)};
// Where the library's function is a macro or needs more than the handle,
// pass a captureless lambda: UniqueHandle<T, [](T* t) { ... }>.
// Threads: as std::unique_ptr.
template <typename T, auto Free>
using UniqueHandle = std::unique_ptr<T, FreeWith<Free>>;

}  // namespace kesto
