// Every event handler of a window runs through RunHandler: an exception that
// no handler catches is shown in the application's default error box and ends
// only that handler. Nothing ever propagates into Qt.
#pragma once

#include <exception>
#include <functional>

#include "base/Component.h"

// Shows the exception a handler let out (the current one, inside a catch).
void ShowHandlerException();

// A template, so that handlers run at every data block wrap nothing on the heap.
template <class Body>
void RunHandler(Body&& body) {
    try {
        body();
    } catch (...) {
        ShowHandlerException();
    }
}

// Runs an event if one is attached.
inline void FireEvent(const std::function<void(TObject*)>& event, TObject* sender) {
    if (event) RunHandler([&] { event(sender); });
}
