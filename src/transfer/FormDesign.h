// Helpers for building the transfer window's controls (private to this
// folder): the window colour, the design fonts, and creating a named control.
#pragma once

#include <string>

#include "toolkit/Control.h"
#include "toolkit/Types.h"

// The window's background, light beige (0x00BBGGRR).
constexpr TColor kFormColor = 15135218;

inline TFont ArialFont(int size = 8, bool bold = false) {
    TFont font;
    font.Name = "Arial";
    font.Size = size;
    font.Bold = bold;
    return font;
}

inline TFont NamedFont(const std::string& name, int size = 8, bool bold = false) {
    TFont font = ArialFont(size, bold);
    font.Name = name;
    return font;
}

template <class T>
T* Make(TComponent* owner, TControl* parent, const char* name) {
    T* control = new T(owner, parent);
    control->Name = name;
    return control;
}
