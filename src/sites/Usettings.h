// TFrmsettings: the small window listing facts about this machine's sockets,
// opened by the site manager's (hidden) Settings button.
#pragma once

#include "toolkit/Form.h"
#include "toolkit/Label.h"

class TFrmsettings : public TForm {
public:
    explicit TFrmsettings(TComponent* AOwner);

    TLabel* Label2;
    TLabel* LblWinsock;
};

// Exists only while the window is shown.
extern TFrmsettings* Frmsettings;
