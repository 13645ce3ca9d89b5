// Every event handler of a window runs through RunHandler: an exception that
// no handler catches is shown in the application's default error box and ends
// only that handler. Nothing ever propagates into Qt.
#pragma once

#include <functional>

#include "base/Component.h"

void RunHandler(const std::function<void()>& body);

// Runs an event if one is attached.
inline void FireEvent(const std::function<void(TObject*)>& event, TObject* sender) {
    if (event) RunHandler([&] { event(sender); });
}
