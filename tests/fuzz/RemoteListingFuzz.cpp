// The transfer window reading a listing file of any bytes into its entry
// table, sorting it and showing it. The first byte picks the sort. The table
// never holds more than its capacity or an unsafe name, the sort leaves its
// order, the list shows the table, and the file is gone afterwards.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <QApplication>

#include "FuzzSupport.h"
#include "platform/Folders.h"
#include "platform/ProgramPaths.h"
#include "toolkit/Application.h"
#include "toolkit/ScriptedDialogs.h"
#include "transfer/Unit1.h"

namespace {

TFrmFTP* Window() {
    static TFrmFTP* window = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("XDG_CONFIG_HOME", FuzzTempDir().c_str(), 1);
        static int argc = 1;
        static char name[] = "remote-listing-fuzz";
        static char* argv[] = {name, nullptr};
        // Lives until the process ends, as a program's would.
        new QApplication(argc, argv);
        auto* app = new TApplication();
        SetDialogs(std::make_unique<TScriptedDialogs>());
        app->CreateForm(FrmFTP);
        return FrmFTP;
    }();
    return window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 1) return 0;
    TFrmFTP* w = Window();
    const int sort = Data[0] % 3;
    (sort == 0 ? w->RadSortAlpha : sort == 1 ? w->RadSortData : w->RadSortExt)->SetChecked(true);
    WriteFuzzFile(ListingFile, std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    w->LoadRemoteListing();

    FUZZ_CHECK(!platform::FileExists(ListingFile));
    FUZZ_CHECK(w->RemoteCount >= 0 && w->RemoteCount <= TRemoteEntries::kCapacity);
    FUZZ_CHECK(w->ListView1->Count() == w->RemoteCount + 1);  // and ".."
    const TRemoteEntries& e = w->RemoteEntries;
    for (int i = 1; i <= w->RemoteCount; ++i) {
        const std::string& name = e.Name[static_cast<std::size_t>(i)];
        FUZZ_CHECK(!name.empty() && name != "." && name != "..");
        FUZZ_CHECK(name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
        if (sort == 0 && i > 1) FUZZ_CHECK(e.Name[static_cast<std::size_t>(i - 1)] <= name);
        if (sort != 0 && i > 1)
            FUZZ_CHECK(e.IsFolder[static_cast<std::size_t>(i - 1)] >= e.IsFolder[static_cast<std::size_t>(i)]);
    }
    return 0;
}
