#include "toolkit/Handler.h"

#include <cstdio>
#include <stdexcept>

#include "toolkit/Application.h"

void ShowHandlerException() {
    try {
        throw;
    } catch (const std::exception& e) {
        if (Application != nullptr) Application->ShowException(e);
        else std::fprintf(stderr, "Unhandled exception: %s\n", e.what());
    } catch (...) {
        const std::runtime_error unknown("Unknown exception");
        if (Application != nullptr) Application->ShowException(unknown);
        else std::fprintf(stderr, "Unhandled exception of unknown type\n");
    }
}
