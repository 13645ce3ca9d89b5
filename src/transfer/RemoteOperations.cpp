// Remote file operations: the four server buttons and the scratch list of
// names chosen for deletion.
#include "transfer/Unit1.h"

#include "transfer/FormDesign.h"

void TFrmFTP::BuildRemoteOperations() {
    auto button = [this](const char* name, int left, const char* caption) {
        TBitBtn* b = Make<TBitBtn>(this, GroupBox3, name);
        b->SetBounds(left, 14, 88, 26);
        b->SetCaption(caption);
        b->SetFont(NamedFont("Times New Roman"));
        return b;
    };
    CmdServCreate = button("CmdServCreate", 6, "Make Dir");
    CmdServRemDir = button("CmdServRemDir", 97, "Remove Dir");
    CmdServDel = button("CmdServDel", 188, "Delete File");
    CmdServRen = button("CmdServRen", 279, "Rename File");

    ListInvis = Make<TListBox>(this, this, "ListInvis");
    ListInvis->SetVisible(false);
}
