// Linked into every Windows program of the project (cmake/WindowsPrograms.cmake). Before any
// other code runs, DLLs loaded at run time are looked for in System32 only: never beside the
// program (a download folder full of other files) and never in the current folder.
#include <windows.h>

namespace
{
struct SSafeDllSearch
{
    SSafeDllSearch()
    {
        SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
        SetDllDirectoryW(L"");
    }
};

// Priority 101 is the first the compiler allows for user code: ahead of every other static
// initializer of the program.
__attribute__((init_priority(101))) const SSafeDllSearch g_safeDllSearch;
} // namespace
