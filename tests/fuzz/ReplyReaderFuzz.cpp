// The engine's reply reader fed by a server on 127.0.0.1 that sends the input
// in pieces: greetings, multi-line and continuation replies, codes of any
// length, lines without an end and over the reader's 4,095 bytes. The input's
// first byte picks the request (a login chain with CWD and SIZE, MKD or
// SYST, or single commands one after another) and the line-end option.
// Whatever arrives, every request ends, and it ends once the server closes.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "ManualPeer.h"
#include "ftp/FtpCli.h"

namespace {

struct TRun {
    TFtpClient Ftp;
    int Started = 0;
    int Done = 0;
    int Errors = 0;
    int Step = 0;
    std::uint8_t Plan = 0;
    bool Finished = false;

    bool Idle() const { return Done + Errors >= Started; }

    // Starts the next request once the last one has ended: a chain (plan bit
    // 0 set), or single commands one after another while the session lasts.
    void Next() {
        if (Finished || !Idle()) return;
        if (Step > 0 && ((Plan & 1) || !Ftp.Connected())) {
            Finished = true;
            return;
        }
        ++Started;
        switch (Step++) {
            case 0:
                if (!(Plan & 1)) Ftp.OpenAsync();
                else if ((Plan >> 1) % 3 == 0) Ftp.FileSizeAsync();
                else if ((Plan >> 1) % 3 == 1) Ftp.MkdirAsync();
                else Ftp.SystemAsync();
                break;
            case 1: Ftp.UserAsync(); break;
            case 2: Ftp.PassAsync(); break;
            case 3: Ftp.PwdAsync(); break;
            case 4: Ftp.SizeAsync(); break;
            case 5: Ftp.CwdAsync(); break;
            case 6: Ftp.MkdAsync(); break;
            case 7: Ftp.SystAsync(); break;
            case 8: Ftp.QuitAsync(); break;
            default: --Started; Finished = true; break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 2) return 0;
    ManualPeer server;
    if (!server.Listen()) return 0;
    TRun run;
    run.Plan = Data[0];
    TFuzzPieces pieces(Data + 1, Size - 1);
    TFtpClient& ftp = run.Ftp;
    ftp.HostName = "127.0.0.1";
    ftp.Port = std::to_string(server.Port());
    ftp.UserName = "user";
    ftp.PassWord = "pass";
    ftp.HostDirName = "dir";
    ftp.HostFileName = "file";
    ftp.Options = (run.Plan & 0x80) ? TFtpOptions{} : ftpAcceptLF;
    ftp.OnError = [&](TObject*, std::string&) { ++run.Errors; };
    ftp.OnRequestDone = [&](TObject*, TFtpRequest, std::uint16_t) {
        ++run.Done;
        FUZZ_CHECK(run.Done + run.Errors <= run.Started);  // one end per request
    };
    run.Next();
    FUZZ_CHECK(PumpUntilBounded([&] { return server.TryAccept(); }, 2000));
    while (!pieces.Done()) {
        server.Send(pieces.Next());
        server.Received();  // keeps the commands from filling the socket
        PumpOnce();
        run.Next();
    }
    server.Close();
    // Once the server has closed, every request ends and the session is down.
    while (!run.Finished) {
        FUZZ_CHECK(PumpUntilBounded([&] { return run.Idle(); }, 3000));
        run.Next();
    }
    FUZZ_CHECK(run.Idle());
    FUZZ_CHECK(PumpUntilBounded([&] { return !ftp.Connected(); }, 3000));
    return 0;
}
