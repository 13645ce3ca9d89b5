// The transfer window's local file list at a large folder: the re-read that
// follows every download (TFileListBox::Update), timed until Qt has painted
// the window. The folder holds FILES files of a few kinds (and some
// subfolders, which the list leaves out); settings and files live in a
// folder of the bench's own, removed at the end. Prints the fastest and the
// median of ROUNDS re-reads in milliseconds, of the clock and of the
// thread's own CPU time (which a busy machine does not inflate).
//
//     tarn_folder_bench [FILES] [ROUNDS]
//
// Run it on a real display (or QT_QPA_PLATFORM=offscreen).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <time.h>

#include <QApplication>

#include "app/Project1.h"
#include "toolkit/Application.h"
#include "transfer/Unit1.h"

namespace {

double ThreadCpuMs() {
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void FillFolder(const std::string& folder, int files) {
    static const char* kExtensions[] = {".txt", ".tar.gz", ".c", ".jpg", "", ".sh", ".pdf", ".log"};
    std::filesystem::create_directories(folder);
    for (int i = 0; i < files; ++i) {
        const std::string name = "File " + std::to_string((i * 7919) % files) + kExtensions[i % 8];
        std::ofstream(folder + "/" + name) << i;
    }
    for (int i = 0; i < files / 100; ++i) std::filesystem::create_directories(folder + "/folder " + std::to_string(i));
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 9;
    char tmpl[] = "/tmp/tarn-folder-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    const std::string root = tmpl, folder = root + "/files";
    setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    FillFolder(folder, files);

    int status = 0;
    {
        QApplication qt(argc, argv);
        TApplication application;
        StartUp();
        FrmFTP->Show();
        FrmFTP->DirectoryListBox1->SetDirectory(folder);
        application.ProcessMessages();
        std::vector<double> ms, cpu;
        for (int r = 0; r < rounds; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = ThreadCpuMs();
            FrmFTP->FileListBox1->Update();
            QApplication::processEvents();
            cpu.push_back(ThreadCpuMs() - cpuStart);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        if (FrmFTP->FileListBox1->Count() != files) {
            std::fprintf(stderr, "%d files listed, %d expected\n", FrmFTP->FileListBox1->Count(), files);
            status = 2;
        }
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        std::printf("files %d  clock: fastest %.1f ms, median %.1f ms  cpu: fastest %.1f ms, median %.1f ms\n",
                    files, ms.front(), ms[ms.size() / 2], cpu.front(), cpu[cpu.size() / 2]);
        Application->Terminate();
    }
    std::filesystem::remove_all(root);
    return status;
}
