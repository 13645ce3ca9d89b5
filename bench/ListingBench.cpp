// The remote list of the transfer window at a large folder, for
// bench/transfer: a listing of ENTRIES lines (folders and files of many
// extensions) is read, parsed, sorted and shown, once per sort order, as
// the ftpDirAsync completion does; timed until Qt has painted the window.
// Prints "ORDER SECONDS" per order.
//
//     tarn_listing_bench [ENTRIES]
//
// Run it on a real display (or QT_QPA_PLATFORM=offscreen).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include <QApplication>

#include "app/Project1.h"
#include "platform/ProgramPaths.h"
#include "toolkit/Application.h"
#include "transfer/Unit1.h"

namespace {

void WriteListing(const std::string& path, int entries) {
    static const char* kExtensions[] = {".txt", ".tar.gz", ".c", ".h", ".jpg", "", ".bin", ".log"};
    std::mt19937 random(7);
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < entries; ++i) {
        const bool folder = random() % 10 == 0;
        std::string name = "entry" + std::to_string(random() % 100000);
        if (!folder) name += kExtensions[random() % 8];
        out << (folder ? "drwxr-xr-x" : "-rw-r--r--") << "   1 owner    group    " << random() % 10000000
            << " Mar  4 12:" << 10 + random() % 50 << " " << name << "\r\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
    QApplication qt(argc, argv);
    TApplication application;
    StartUp();
    FrmFTP->Show();
    application.ProcessMessages();
    struct Order {
        const char* name;
        TRadioButton* button;
    };
    for (const Order& order : {Order{"alpha", FrmFTP->RadSortAlpha}, Order{"data", FrmFTP->RadSortData},
                               Order{"ext", FrmFTP->RadSortExt}}) {
        order.button->SetChecked(true);
        WriteListing(ListingFile, entries);
        const auto start = std::chrono::steady_clock::now();
        FrmFTP->LoadRemoteListing();
        QApplication::processEvents();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (FrmFTP->ListView1->Count() != entries + 1) {
            std::fprintf(stderr, "%s: %d rows shown, %d expected\n", order.name, FrmFTP->ListView1->Count(),
                         entries + 1);
            return 2;
        }
        std::printf("%s %.6f\n", order.name, seconds);
    }
    return 0;
}
