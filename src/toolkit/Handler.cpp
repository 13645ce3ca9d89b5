#include "toolkit/Handler.h"

#include <cstdio>
#include <exception>

#include "toolkit/Application.h"

void RunHandler(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& e) {
        if (Application != nullptr) Application->ShowException(e);
        else std::fprintf(stderr, "Unhandled exception: %s\n", e.what());
    } catch (...) {
        const std::runtime_error unknown("Unknown exception");
        if (Application != nullptr) Application->ShowException(unknown);
        else std::fprintf(stderr, "Unhandled exception of unknown type\n");
    }
}
