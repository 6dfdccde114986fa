// The module's stack guard linked in: with no argument it prints the guard, with N it writes N
// bytes into a buffer of 16.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" std::uintptr_t __stack_chk_guard;

// The length comes from the command line, so the compiler cannot see the overrun coming.
__attribute__((noinline)) static int fill(std::size_t a_Length) {
    volatile char l_Buffer[16];
    for (std::size_t l_Index = 0; l_Index < a_Length; ++l_Index) {
        l_Buffer[l_Index] = 'x';
    }
    return l_Buffer[0];
}

int main(int a_Count, char** a_ppArguments) {
    if (a_Count < 2) {
        std::printf("%llx\n", static_cast<unsigned long long>(__stack_chk_guard));
    } else {
        std::printf("filled %d\n", fill(std::strtoul(a_ppArguments[1], nullptr, 10)));
    }
    return 0;
}
