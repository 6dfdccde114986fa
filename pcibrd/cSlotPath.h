// The slot path value (a root bus and the path elements below it) and the growable text that
// carries it to and from the bridge driver library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "status/tStatus.h"

namespace nZU7461_14_0 {

// A growable NUL-terminated text whose growth failures become -52000 (cAllocator, 51) in the
// caller's status instead of exceptions.
class cCheckedString {
public:
    cCheckedString() noexcept = default;
    ~cCheckedString();
    cCheckedString(const cCheckedString&) = delete;
    cCheckedString& operator=(const cCheckedString&) = delete;

    // Empties the text; the storage stays for the next use.
    void Clear() noexcept;
    // Makes room for a_Needed characters plus the terminator.
    void Reserve(std::uint64_t a_Needed, tStatus* a_pStatus) noexcept;
    // Appends a_Count characters. The range may lie inside this text's own storage.
    void Append(const char* a_pText, std::uint64_t a_Count, tStatus* a_pStatus) noexcept;
    void Append(const char* a_pText, tStatus* a_pStatus) noexcept;
    // Drops the last character; does nothing on an empty text.
    void EraseLast() noexcept;

    // Null until the first growth.
    const char* Data() const noexcept { return m_pData; }
    // Never null: the empty text while there is no storage.
    const char* CStr() const noexcept { return m_pData != nullptr ? m_pData : ""; }
    std::uint64_t Capacity() const noexcept { return m_Capacity; }
    std::uint64_t Length() const noexcept { return m_Length; }
    bool Empty() const noexcept { return m_Length == 0; }

private:
    char* m_pData = nullptr;
    std::uint64_t m_Capacity = 0;
    std::uint64_t m_Length = 0;
};

// Identifies a bridge by its root bus and the 8-bit elements of the path below it; the text
// form is "MR" root-bus ":" element "," element ..., every number as two upper-case hex digits.
class cSlotPath {
    struct tNode {
        tNode* m_pPrevious;
        tNode* m_pNext;
        std::uint8_t m_Value;
    };

public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::uint8_t;
        using difference_type = std::ptrdiff_t;
        using pointer = const std::uint8_t*;
        using reference = std::uint8_t;

        explicit const_iterator(const tNode* a_pNode) noexcept : m_pNode(a_pNode) {}
        std::uint8_t operator*() const noexcept { return m_pNode->m_Value; }
        const_iterator& operator++() noexcept {
            m_pNode = m_pNode->m_pNext;
            return *this;
        }
        bool operator==(const const_iterator& a_rOther) const noexcept {
            return m_pNode == a_rOther.m_pNode;
        }
        bool operator!=(const const_iterator& a_rOther) const noexcept {
            return m_pNode != a_rOther.m_pNode;
        }

    private:
        const tNode* m_pNode;
    };

    cSlotPath() noexcept;
    ~cSlotPath();
    // Copying would need allocations that could fail without a status to report them.
    cSlotPath(const cSlotPath&) = delete;
    cSlotPath& operator=(const cSlotPath&) = delete;

    // Replaces the root bus and the elements with those of a NUL-terminated slot path text.
    void Parse(const char* a_pText, tStatus* a_pStatus) noexcept;
    // Replaces the contents of a_rText with the whole slot path text.
    void Format(cCheckedString& a_rText, tStatus* a_pStatus) const noexcept;
    // Replaces the contents of a_rText with the element part alone ("1C,00").
    void FormatElements(cCheckedString& a_rText, tStatus* a_pStatus) const noexcept;
    void ClearElements() noexcept;

    // Appends one element at the back; -52000 (memoryAllocation, 291) when no node can be had.
    void AppendElement(std::uint8_t a_Value, tStatus* a_pStatus) noexcept;
    std::uint8_t RootBus() const noexcept { return m_RootBus; }
    void SetRootBus(std::uint8_t a_RootBus) noexcept { m_RootBus = a_RootBus; }
    std::size_t ElementCount() const noexcept;
    const_iterator begin() const noexcept { return const_iterator(m_Elements.m_pNext); }
    const_iterator end() const noexcept { return const_iterator(&m_Elements); }

    // The slot path's own status: an error in it makes every conversion hand that error on
    // instead of working. Nothing of the component writes it; an owner may.
    tStatus& OwnStatus() noexcept { return m_Status; }
    const tStatus& OwnStatus() const noexcept { return m_Status; }

private:
    // False (with the error merged into a_pStatus) when the own status holds an error.
    bool PassesOwnStatusCheck(tStatus* a_pStatus) const noexcept;

    // Sentinel of the element list: m_pNext is the front, m_pPrevious the back.
    tNode m_Elements;
    std::uint8_t m_RootBus;
    tStatus m_Status;
};

} // namespace nZU7461_14_0
