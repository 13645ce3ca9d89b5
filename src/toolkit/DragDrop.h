// Drag and drop onto the program's lists: file:// URLs from the desktop's
// file manager (text/uri-list), and drags between the program's own
// controls (a list view with SetDragEnabled).
//
// Contract: user-interface thread only. A drop is accepted only when it
// carries something the target takes; dropped URLs that are not local files
// are left out. The events run through the handler wrapper.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Component.h"

class QMimeData;
class TControl;

// Local paths dropped (decoded from their file:// URLs).
using TDropFilesEvent = std::function<void(TObject* Sender, const std::vector<std::string>& Paths)>;
// A drag of this program dropped; Source is the control it started on.
using TDragDropEvent = std::function<void(TObject* Sender, TControl* Source)>;

// Makes control a drop target; an unset event refuses that kind of drop.
void AcceptDrops(TControl* control, TDropFilesEvent onFiles, TDragDropEvent onDragDrop);

// The data a drag started on source carries (the drag itself and tests).
QMimeData* InternalDragData(TControl* source);
