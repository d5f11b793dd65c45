#pragma once

#include <type_traits>
#include <utility>

namespace velmora {

// Whether something looked for (a file, a directory entry) is there.
enum class Presence { Missing, Present };

// What a look for something that may be missing found: the thing, or that nothing is there. A
// call that can also fail returns Result<Found<T>>, so its three answers (failed, missing,
// present) cannot be mistaken for one another, and a missing file is never an empty one.
template <typename T> struct Found {
    Presence presence = Presence::Missing;
    T value = {}; // only when Present

    static Found missing() { return {}; }
    bool isPresent() const { return presence == Presence::Present; }
};

template <typename T> Found<std::decay_t<T>> found(T&& value)
{
    return {Presence::Present, std::forward<T>(value)};
}

} // namespace velmora
