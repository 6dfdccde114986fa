#include "sim/simCallLog.h"

#include "sim/zupcibrdSim.h"

#include <cstdio>
#include <cstdlib>
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

std::string quotedText(const char* a_pBytes, std::size_t a_Size) {
    std::string l_Text = "\"";
    for (std::size_t l_Index = 0; l_Index < a_Size; ++l_Index) {
        const auto l_Byte = static_cast<unsigned char>(a_pBytes[l_Index]);
        if (l_Byte == '"' || l_Byte == '\\') {
            l_Text += '\\';
            l_Text += static_cast<char>(l_Byte);
        } else if (l_Byte == 0) {
            l_Text += "\\0";
        } else if (l_Byte < 0x20 || l_Byte > 0x7E) {
            char l_Escape[8];
            std::snprintf(l_Escape, sizeof l_Escape, "\\x%02X", l_Byte);
            l_Text += l_Escape;
        } else {
            l_Text += static_cast<char>(l_Byte);
        }
    }
    return l_Text + "\"";
}

} // namespace nZuPciBrdSim
} // namespace nZU7461_14_0
