// Module-wide state of the finder: the static status, the finder lock, the session manager and
// the count of open lists, with the module-level operations over them.
#pragma once

#include <cstdint>

#include "status/tStatus.h"

namespace nZU7461_14_0 {

// Run when the process attaches and detaches the module (or by tests that link the finder
// directly). Attaching again after a detach starts from a fresh static status.
void moduleAttach() noexcept;
void moduleDetach() noexcept;

void openList(void** a_ppList, std::uint32_t* a_pCount, tStatus* a_pStatus) noexcept;
void closeList(void* a_pList) noexcept;

// The queries of the exported functions; a handle that names nothing open is refused at the
// operation's own place, also while no list is open at all.
void getNthItem(void* a_pList, std::uint32_t a_Index, void** a_ppItem, tStatus* a_pStatus) noexcept;
void getU32Attribute(void* a_pItem, std::uint32_t a_AttributeId, std::uint32_t* a_pValue,
                     tStatus* a_pStatus) noexcept;
void getStringAttribute(void* a_pItem, std::uint32_t a_AttributeId, const char** a_ppValue,
                        tStatus* a_pStatus) noexcept;

} // namespace nZU7461_14_0
