// Sets a variable of this process's environment, which the libraries it loads (the simulator
// among them) read; an empty value removes it.
#pragma once

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <filesystem>
#endif

namespace zuTest {

inline void setEnvironment(const char* a_pName, const std::string& a_rUtf8Value) {
#ifdef _WIN32
    // The wide form, so that a value outside the ANSI code page (a path) survives.
    _wputenv_s(std::filesystem::u8path(a_pName).wstring().c_str(),
               std::filesystem::u8path(a_rUtf8Value).wstring().c_str());
#else
    if (a_rUtf8Value.empty()) {
        unsetenv(a_pName);
    } else {
        setenv(a_pName, a_rUtf8Value.c_str(), 1);
    }
#endif
}

} // namespace zuTest
