#include "pcibrd/cSlotPath.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>

#include "platform/cAllocator.h"
#include "platform/memoryAllocation.h"
#include "status/detailsDocument.h"

namespace nZU7461_14_0 {

namespace {

constexpr const char kFile[] = "cSlotPath";
constexpr std::uint32_t kLineMalformedElement = 427;

constexpr std::uint64_t kMinimumCapacity = 127;
constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

constexpr const char kPrefix[] = "MR";
constexpr std::size_t kPrefixLength = 2;
constexpr const char kHexByte[] = "%02X";
constexpr const char kHexElement[] = "%02X,";
// "MR", two digits and ":": where the elements start.
constexpr std::size_t kRootPartLength = 5;
// Two digits and the comma after every element but the last.
constexpr std::size_t kElementLength = 3;

bool liesWithin(const char* a_pText, const char* a_pStorage, std::uint64_t a_Size) {
    if (a_pStorage == nullptr) {
        return false;
    }
    // std::less gives a total order even for pointers into different objects.
    const std::less<const char*> l_Before;
    return !l_Before(a_pText, a_pStorage) && l_Before(a_pText, a_pStorage + a_Size);
}

// Two hexadecimal digits of either case, as "%02X" reads them, but nothing else that such a scan
// would also take (blanks, a sign, "0x", a single digit). The second character is looked at only
// when the first is a digit, so a terminator ends the reading.
bool readHexByte(const char* a_pText, std::uint8_t* a_pValue) {
    const int l_High = hexDigitValue(a_pText[0]);
    const int l_Low = l_High < 0 ? -1 : hexDigitValue(a_pText[1]);
    if (l_Low < 0) {
        return false;
    }
    *a_pValue = static_cast<std::uint8_t>(l_High * 16 + l_Low);
    return true;
}

// "MR", two hex digits, ":" and zero or more elements of two hex digits separated by commas,
// nothing after the last: "MR00:" is what Format writes for a path without elements. Each
// character is looked at only after the ones before it matched.
bool isWellFormed(const char* a_pText) {
    std::uint8_t l_Value = 0;
    if (a_pText[0] != kPrefix[0] || a_pText[1] != kPrefix[1] ||
        !readHexByte(a_pText + kPrefixLength, &l_Value) || a_pText[kPrefixLength + 2] != ':') {
        return false;
    }
    if (a_pText[kRootPartLength] == '\0') {
        return true;
    }
    for (const char* l_pAt = a_pText + kRootPartLength;; l_pAt += kElementLength) {
        if (!readHexByte(l_pAt, &l_Value)) {
            return false;
        }
        if (l_pAt[2] != ',') {
            return l_pAt[2] == '\0';
        }
    }
}

} // namespace

// ---- cCheckedString ------------------------------------------------------------------------

cCheckedString::~cCheckedString() {
    cAllocator::release(m_pData);
}

void cCheckedString::Clear() noexcept {
    if (m_Length != 0) {
        m_pData[0] = '\0';
        m_Length = 0;
    }
}

void cCheckedString::Reserve(std::uint64_t a_Needed, tStatus* a_pStatus) noexcept {
    if (a_Needed <= m_Capacity && m_Capacity != 0) {
        return;
    }
    std::uint64_t l_NewCapacity = a_Needed < kMinimumCapacity ? kMinimumCapacity : a_Needed;
    // Growing by half when that suffices keeps a run of appends linear.
    const std::uint64_t l_Grown = m_Capacity + m_Capacity / 2;
    if (l_Grown > m_Capacity && l_NewCapacity <= l_Grown) {
        l_NewCapacity = l_Grown;
    }
    if (l_NewCapacity == kUnlimited ||
        l_NewCapacity + 1 > std::numeric_limits<std::size_t>::max()) {
        cAllocator::recordFailure(a_pStatus);
        return;
    }
    char* l_pNew = cAllocator::allocate(static_cast<std::size_t>(l_NewCapacity + 1), a_pStatus);
    if (l_pNew == nullptr) {
        return;
    }
    if (m_Length != 0) {
        std::memcpy(l_pNew, m_pData, static_cast<std::size_t>(m_Length));
    }
    l_pNew[m_Length] = '\0';
    cAllocator::release(m_pData);
    m_pData = l_pNew;
    m_Capacity = l_NewCapacity;
}

void cCheckedString::Append(const char* a_pText, std::uint64_t a_Count,
                            tStatus* a_pStatus) noexcept {
    if (a_Count > kUnlimited - m_Length) {
        cAllocator::recordFailure(a_pStatus);
        return;
    }
    // A range taken from our own storage must be read from where Reserve moves it.
    const bool l_Inside = liesWithin(a_pText, m_pData, m_Capacity + 1);
    const std::uint64_t l_Offset = l_Inside ? static_cast<std::uint64_t>(a_pText - m_pData) : 0;
    Reserve(m_Length + a_Count, a_pStatus);
    if (isFailed(a_pStatus) || m_pData == nullptr) {
        return;
    }
    const char* l_pSource = l_Inside ? m_pData + l_Offset : a_pText;
    if (a_Count != 0) {
        // memmove: the source may overlap the place it is copied to.
        std::memmove(m_pData + m_Length, l_pSource, static_cast<std::size_t>(a_Count));
    }
    m_Length += a_Count;
    m_pData[m_Length] = '\0';
}

void cCheckedString::Append(const char* a_pText, tStatus* a_pStatus) noexcept {
    Append(a_pText, std::strlen(a_pText), a_pStatus);
}

void cCheckedString::EraseLast() noexcept {
    if (m_Length != 0) {
        --m_Length;
        m_pData[m_Length] = '\0';
    }
}

// ---- cSlotPath -----------------------------------------------------------------------------

cSlotPath::cSlotPath() noexcept : m_RootBus(0), m_Status(makeStatus()) {
    m_Elements.m_pPrevious = &m_Elements;
    m_Elements.m_pNext = &m_Elements;
    m_Elements.m_Value = 0;
}

cSlotPath::~cSlotPath() {
    ClearElements();
}

void cSlotPath::ClearElements() noexcept {
    tNode* l_pNode = m_Elements.m_pNext;
    while (l_pNode != &m_Elements) {
        tNode* l_pNext = l_pNode->m_pNext;
        destroyAndRelease(l_pNode);
        l_pNode = l_pNext;
    }
    m_Elements.m_pPrevious = &m_Elements;
    m_Elements.m_pNext = &m_Elements;
}

void cSlotPath::AppendElement(std::uint8_t a_Value, tStatus* a_pStatus) noexcept {
    tNode* l_pNode = createWithStatus<tNode>(a_pStatus);
    if (l_pNode == nullptr) {
        return;
    }
    l_pNode->m_Value = a_Value;
    l_pNode->m_pNext = &m_Elements;
    l_pNode->m_pPrevious = m_Elements.m_pPrevious;
    m_Elements.m_pPrevious->m_pNext = l_pNode;
    m_Elements.m_pPrevious = l_pNode;
}

std::size_t cSlotPath::ElementCount() const noexcept {
    std::size_t l_Count = 0;
    for (const_iterator l_It = begin(); l_It != end(); ++l_It) {
        ++l_Count;
    }
    return l_Count;
}

bool cSlotPath::PassesOwnStatusCheck(tStatus* a_pStatus) const noexcept {
    tStatus l_Copy = makeStatus();
    mergeStatus(&l_Copy, &m_Status);
    if (isFailed(&l_Copy)) {
        mergeStatus(a_pStatus, &l_Copy);
        return false;
    }
    return true;
}

void cSlotPath::Parse(const char* a_pText, tStatus* a_pStatus) noexcept {
    if (isFailed(a_pStatus) || !PassesOwnStatusCheck(a_pStatus)) {
        return;
    }
    // The whole text is checked before anything changes: a malformed one leaves the path as it
    // was.
    if (!isWellFormed(a_pText)) {
        raiseStatus(a_pStatus, kStatusMalformedSlotPath, kFile, kLineMalformedElement);
        return;
    }
    ClearElements();
    readHexByte(a_pText + kPrefixLength, &m_RootBus);
    std::uint8_t l_Element = 0;
    for (const char* l_pAt = a_pText + kRootPartLength; *l_pAt != '\0' && !isFailed(a_pStatus);
         l_pAt += kElementLength) {
        readHexByte(l_pAt, &l_Element);
        AppendElement(l_Element, a_pStatus);
        if (l_pAt[2] == '\0') {
            break;
        }
    }
}

void cSlotPath::Format(cCheckedString& a_rText, tStatus* a_pStatus) const noexcept {
    if (isFailed(a_pStatus) || !PassesOwnStatusCheck(a_pStatus)) {
        return;
    }
    a_rText.Clear();
    a_rText.Append(kPrefix, a_pStatus);
    char l_RootBus[3];
    std::snprintf(l_RootBus, sizeof l_RootBus, kHexByte, static_cast<unsigned int>(m_RootBus));
    a_rText.Append(l_RootBus, a_pStatus);
    a_rText.Append(":", a_pStatus);

    cCheckedString l_Elements;
    FormatElements(l_Elements, a_pStatus);
    if (!isFailed(a_pStatus)) {
        a_rText.Append(l_Elements.CStr(), l_Elements.Length(), a_pStatus);
    }
}

void cSlotPath::FormatElements(cCheckedString& a_rText, tStatus* a_pStatus) const noexcept {
    if (isFailed(a_pStatus) || !PassesOwnStatusCheck(a_pStatus)) {
        return;
    }
    a_rText.Clear();
    char l_Element[4];
    for (const_iterator l_It = begin(); l_It != end(); ++l_It) {
        std::snprintf(l_Element, sizeof l_Element, kHexElement, static_cast<unsigned int>(*l_It));
        a_rText.Append(l_Element, a_pStatus);
    }
    // The separator after the last element.
    a_rText.EraseLast();
}

} // namespace nZU7461_14_0
