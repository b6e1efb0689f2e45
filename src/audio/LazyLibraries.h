#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace sonalto::audio {

// Libraries the program opens when it first calls one of their functions
// rather than when it starts, so that their loading (and that of everything
// they pull in) does not delay the window. The program defines each function
// it calls itself, with the library's own name and signature, as a call through
// a table of these (CodecLibraries.cpp, PulseLibrary.cpp).
class LazyLibraries
{
public:
    struct Function
    {
        int library; // its library's place among the file names
        const char *name;
    };

    // The libraries' file names, in the order they depend on one another, and
    // every function of theirs the program calls (both kept, not copied).
    LazyLibraries(std::span<const char *const> fileNames, std::span<const Function> functions);
    ~LazyLibraries();

    // Opens the library and looks up all of its functions, once. False, with
    // the reason, when it or one of its functions is missing.
    bool load(int library, std::string *error = nullptr);
    // Every library, in order; the reason is the first failure's.
    bool loadAll(std::string *error = nullptr);

    // The function at that place in the list, its library loaded first if it
    // is not yet. A library that cannot be loaded ends the program, as the
    // dynamic loader would have refused to start it.
    void *address(std::size_t function);

    // Calls the function at that place in the list as the declared one.
    template <typename Result, typename... Parameters, typename... Arguments>
    Result call(Result (*)(Parameters...), std::size_t function, Arguments... arguments)
    {
        return reinterpret_cast<Result (*)(Parameters...)>(address(function))(arguments...);
    }

private:
    const std::span<const char *const> m_fileNames;
    const std::span<const Function> m_functions;
    std::unique_ptr<std::once_flag[]> m_once;
    std::vector<std::string> m_errors;
    // Filled before the library's once flag is set; read without a lock after it.
    std::vector<void *> m_addresses;
};

// A file that calls functions through a table names them by an enum class of
// its own (the places in its list), and says what the table holds by
// specializing this with two static arrays: `fileNames` (const char *const)
// and `functions` (LazyLibraries::Function).
template <typename Which> struct LazyTable;

template <typename Which> LazyLibraries &lazyLibraries()
{
    // Never destroyed: a worker may still be loading or calling when the
    // program ends.
    static auto *instance =
        new LazyLibraries(LazyTable<Which>::fileNames, LazyTable<Which>::functions);
    return *instance;
}

// What the program's own definition of a library function does: calls the
// library's, declared as `declared`, at place `which` of its table.
template <typename Result, typename... Parameters, typename Which, typename... Arguments>
Result forward(Result (*declared)(Parameters...), Which which, Arguments... arguments)
{
    return lazyLibraries<Which>().call(declared, std::size_t(which), arguments...);
}

} // namespace sonalto::audio

// For a list of functions written as X(library, name) entries: the enumerator
// that gives a function's place, and its entry in the table.
#define SONALTO_LAZY_FUNCTION_INDEX(library, name) name,
#define SONALTO_LAZY_FUNCTION_ENTRY(library, name) {library, #name},
