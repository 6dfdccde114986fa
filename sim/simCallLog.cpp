#include "sim/simCallLog.h"

#include "sim/simJsonReading.h"
#include "sim/zupcibrdSim.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace nZU7461_14_0 {
namespace nZuPciBrdSim {
namespace {

// Lines of two threads must not interleave.
std::mutex g_LogLock;

std::FILE* openLog() {
#ifdef _WIN32
    const wchar_t* l_pPath = _wgetenv(L"" ZUPCIBRD_SIM_LOG_VARIABLE);
    return l_pPath == nullptr || *l_pPath == L'\0' ? nullptr : _wfopen(l_pPath, L"ab");
#else
    const char* l_pPath = std::getenv(ZUPCIBRD_SIM_LOG_VARIABLE);
    return l_pPath == nullptr || *l_pPath == '\0' ? nullptr : std::fopen(l_pPath, "ab");
#endif
}

// 'd' in decimal; 'b', 'w' and 'l' in hexadecimal of their width.
std::string formatted(std::uint32_t a_Value, char a_Format) {
    return a_Format == 'd' ? std::to_string(a_Value)
                           : hexText(a_Value, a_Format == 'b'   ? 2
                                              : a_Format == 'w' ? 4
                                                                : 8);
}

} // namespace

void appendCallLog(const std::string& a_rLine) {
    const std::lock_guard<std::mutex> l_Guard(g_LogLock);
    std::FILE* l_pFile = openLog();
    if (l_pFile == nullptr) {
        return;
    }
    const std::string l_Line = a_rLine + "\n";
    std::fwrite(l_Line.data(), 1, l_Line.size(), l_pFile);
    std::fclose(l_pFile);
}

void appendLogNote(const std::string& a_rNote) {
    appendCallLog("# " + a_rNote);
}

std::string logLine(const tSimCall& a_rCall, const std::string& a_rCause) {
    const tEntryInfo& l_Info = infoOf(a_rCall.m_Entry);
    std::string l_Line = std::string(entryName(a_rCall.m_Entry)) + "(" + a_rCall.m_Arguments + ")";
    if (!l_Info.m_Void) {
        l_Line += " -> " + std::to_string(a_rCall.m_Code);
    }
    if (a_rCall.m_WriteOutputs) {
        for (std::size_t l_Index = 0; l_Index < a_rCall.m_Outputs.size(); ++l_Index) {
            if (l_Index < a_rCall.m_OutputGiven.size() && a_rCall.m_OutputGiven[l_Index]) {
                l_Line += std::string(" ") + l_Info.m_Outputs[l_Index] + "=" +
                          formatted(a_rCall.m_Outputs[l_Index], l_Info.m_OutputFormat);
            }
        }
    }
    if (a_rCall.m_WriteCount && a_rCall.m_CountGiven) {
        l_Line += (a_rCall.m_Entry == tEntry::GetBridgeSlotPath ? " size=" : " count=") +
                  std::to_string(a_rCall.m_Count);
    }
    if (!a_rCall.m_Fill.empty()) {
        l_Line += std::string(" ") + l_Info.m_pList + "=";
        if (l_Info.m_ItemFormat == 'c') {
            const std::string l_Bytes(a_rCall.m_Fill.begin(), a_rCall.m_Fill.end());
            l_Line += quotedText(l_Bytes.data(), l_Bytes.size());
        } else {
            for (std::size_t l_Index = 0; l_Index < a_rCall.m_Fill.size(); ++l_Index) {
                l_Line += (l_Index == 0 ? "[" : ",") +
                          formatted(a_rCall.m_Fill[l_Index], l_Info.m_ItemFormat);
            }
            l_Line += "]";
        }
    }
    return a_rCause.empty() ? l_Line : l_Line + " [" + a_rCause + "]";
}

namespace nShown {

std::string num(std::uint32_t a_Value) {
    return std::to_string(a_Value);
}
std::string hex(std::uint32_t a_Value, int a_Digits) {
    return hexText(a_Value, a_Digits);
}
std::string out(const void* a_pOutput) {
    return a_pOutput == nullptr ? "null" : "out";
}
std::string buffer(const void* a_pBuffer) {
    return a_pBuffer == nullptr ? "null" : "buf";
}
std::string count(const std::uint32_t* a_pCount) {
    return a_pCount == nullptr ? "null" : std::to_string(*a_pCount);
}
std::string id(const std::uint16_t* a_pId) {
    return a_pId == nullptr ? "null" : hexText(*a_pId, 4);
}

std::string text(const char* a_pText) {
    // A slot path is short; a caller's text without its end is shown only so far.
    return a_pText == nullptr ? "null" : quotedText(a_pText, strnlen(a_pText, 256));
}

std::string bytes(const void* a_pBytes, std::uint32_t a_Count) {
    const auto* l_pBytes = static_cast<const std::uint8_t*>(a_pBytes);
    if (l_pBytes == nullptr) {
        return "null";
    }
    std::string l_Shown = "[";
    for (std::uint32_t l_Index = 0; l_Index < a_Count && l_Index < 16; ++l_Index) {
        l_Shown += (l_Index == 0 ? "" : " ") + hexText(l_pBytes[l_Index], 2).substr(2);
    }
    return l_Shown + "]";
}

} // namespace nShown

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
