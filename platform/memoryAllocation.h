// Allocation that never throws: failures become -52000 in a status record.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

#include "status/tStatus.h"

namespace nZU7461_14_0 {

// Every allocation of the component's own objects goes through these two, so a test that
// replaces the global allocation functions reaches each of them.
inline void* rawAllocate(std::size_t a_Size) noexcept {
    return ::operator new(a_Size == 0 ? 1 : a_Size, std::nothrow);
}
inline void rawRelease(void* a_pMemory) noexcept {
    ::operator delete(a_pMemory);
}

// Yields null, and records -52000 (memoryAllocation, 291) when memory runs out; allocates
// nothing while the status holds an error.
void* allocateWithStatus(std::size_t a_Size, tStatus* a_pStatus) noexcept;

// Allocates and constructs a T (whose constructor must not throw) through allocateWithStatus.
template <class T, class... tArgs>
T* createWithStatus(tStatus* a_pStatus, tArgs&&... a_Args) noexcept {
    void* l_pMemory = allocateWithStatus(sizeof(T), a_pStatus);
    if (l_pMemory == nullptr) {
        return nullptr;
    }
    return new (l_pMemory) T(std::forward<tArgs>(a_Args)...);
}

template <class T> void destroyAndRelease(T* a_pObject) noexcept {
    if (a_pObject != nullptr) {
        a_pObject->~T();
        rawRelease(a_pObject);
    }
}

} // namespace nZU7461_14_0
