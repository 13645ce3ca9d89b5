#include "transfer/RemoteEntries.h"

void TRemoteEntries::ClearTexts() {
    for (int i = 1; i <= kCapacity; ++i) {
        Name[static_cast<size_t>(i)].clear();
        Size[static_cast<size_t>(i)].clear();
        Modified[static_cast<size_t>(i)].clear();
    }
}
