#include "base/ExceptionClass.h"

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include <cxxabi.h>

std::string ExceptionClassName(const std::exception& E) {
    const char* mangled = typeid(E).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    // Texts name the class alone, without its namespace.
    size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}
