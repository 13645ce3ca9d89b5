// TImage: a picture in a fixed place, drawn centred and as large as the
// control allows; clickable.
#pragma once

#include "toolkit/Control.h"
#include "toolkit/Pictures.h"

class TImage : public TControl {
public:
    TImage(TComponent* AOwner, TControl* AParent);
    TPicture Picture() const { return FPicture; }
    void SetPicture(TPicture picture);

    // Used by the image's widget.
    void NotifyClick() { Click(); }
    void NotifyResize();

private:
    TPicture FPicture = piNone;
};
