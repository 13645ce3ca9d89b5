#include "peers/FtpServers.h"

#include <filesystem>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace peers {

namespace {

const Millis kStartTimeout(10000);

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

std::string Tail(const std::string& text, size_t max = 2000) {
    return text.size() <= max ? text : text.substr(text.size() - max);
}

}  // namespace

std::string PeerScriptsDir() { return TARN_PEERS_SCRIPTS_DIR; }

// --- FtpServerPeer

bool FtpServerPeer::Fail(const std::string& why) {
    error_ = why;
    return false;
}

bool FtpServerPeer::Start() {
    if (dir_.Path().empty()) return Fail("cannot make a run folder in /tmp");
    if (!user_.Create(dir_.File("home"))) return Fail(user_.Error());
    for (int attempt = 1;; ++attempt) {
        if (!Launch()) return false;
        const Listening state = WaitForListener(process_, port_, kStartTimeout, ipv6_);
        if (state == Listening::Yes) return true;
        std::string log = process_.Log();
        process_.Stop();
        if (state == Listening::Exited && attempt < 3) continue;
        return Fail("server " + std::string(state == Listening::Exited ? "exited before it answered"
                                                                       : "did not answer") +
                    " on port " + std::to_string(port_) + "; its output:\n" + Tail(log));
    }
}

bool FtpServerPeer::PickPorts(int passivePortCount, int controlPort) {
    port_ = controlPort != 0 ? controlPort : FreePort();
    passiveMin_ = FreePortRange(passivePortCount);
    passiveMax_ = passiveMin_ + passivePortCount - 1;
    if (port_ == 0 || passiveMin_ == 0) return Fail("no free ports on 127.0.0.1");
    return true;
}

bool FtpServerPeer::PutFile(const std::string& relativePath, const std::string& content) {
    namespace fs = std::filesystem;
    fs::path path = fs::path(Home()) / relativePath;
    fs::path parent = path.parent_path();
    if (!parent.empty() && parent != fs::path(Home())) {
        fs::path rel = fs::relative(parent, Home());
        fs::path at = Home();
        for (const auto& part : rel) {
            at /= part;
            if (!fs::exists(at) && !MakeFolder(fs::relative(at, Home()).string())) return false;
        }
    }
    if (!WriteTextFile(path.string(), content)) return false;
    return chown(path.c_str(), static_cast<uid_t>(user_.Uid()),
                 static_cast<gid_t>(user_.Gid())) == 0;
}

bool FtpServerPeer::MakeFolder(const std::string& relativePath) {
    std::string path = Home() + "/" + relativePath;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) return false;
    return chown(path.c_str(), static_cast<uid_t>(user_.Uid()),
                 static_cast<gid_t>(user_.Gid())) == 0;
}

std::string FtpServerPeer::FileContent(const std::string& relativePath) const {
    return ReadTextFile(Home() + "/" + relativePath);
}

bool FtpServerPeer::WaitForCommand(const std::string& prefix, Millis timeout) const {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const auto& c : Commands())
            if (c.compare(0, prefix.size(), prefix) == 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(Millis(20));
    }
}

// --- VsftpdServer

VsftpdServer::~VsftpdServer() { Stop(); }

bool VsftpdServer::Launch() {
    const std::string program = "/usr/sbin/vsftpd";
    if (!ProgramExists(program))
        return Fail("program not found: " + program + " (package vsftpd, see scripts/setup)");
    if (!PickPorts(options_.PassivePortCount, options_.ControlPort)) return false;
    ipv6_ = options_.Ipv6;

    // A PAM service of our own: Debian's "vsftpd" one delays a wrong password
    // by seconds.
    std::string service = "tarn-" + User();
    if (!WriteTextFile("/etc/pam.d/" + service,
                       "auth required pam_unix.so nodelay\n"
                       "account required pam_unix.so\n"
                       "session required pam_permit.so\n"))
        return Fail("cannot write /etc/pam.d/" + service);
    pamService_ = service;

    std::string empty = dir_.MakeDir("empty");
    std::ostringstream conf;
    conf << "background=NO\n"
         << (options_.Ipv6 ? "listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n"
                           : "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")
         << "listen_port=" << port_ << "\n"
         << "anonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
         << "pasv_enable=YES\npasv_address=127.0.0.1\n"
         << "pasv_min_port=" << passiveMin_ << "\npasv_max_port=" << passiveMax_ << "\n"
         << "port_enable=YES\nconnect_from_port_20=NO\n"
         << "secure_chroot_dir=" << empty << "\n"
         << "seccomp_sandbox=NO\nisolate_network=NO\nisolate=NO\n"
         << "use_localtime=NO\ndelay_failed_login=0\n"
         << "pam_service_name=" << service << "\n"
         << "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
         << "vsftpd_log_file=" << ProtocolLogPath() << "\n";
    for (const auto& line : options_.ExtraConfig) conf << line << "\n";
    std::string confPath = dir_.File("vsftpd.conf");
    if (!WriteTextFile(confPath, conf.str(), 0600)) return Fail("cannot write " + confPath);

    process_.SetStdinToLog();
    if (!process_.Start({program, confPath}, dir_.File("vsftpd.out")))
        return Fail(process_.Error());
    return true;
}

void VsftpdServer::Stop() {
    process_.Stop();
    if (!pamService_.empty()) {
        unlink(("/etc/pam.d/" + pamService_).c_str());
        pamService_.clear();
    }
    user_.Remove();
}

std::vector<std::string> VsftpdServer::Commands() const {
    // Lines look like: ... FTP command: Client "127.0.0.1", "USER name"
    std::vector<std::string> out;
    const std::string marker = "FTP command: Client \"";
    for (const auto& line : Lines(ProtocolLog())) {
        size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        size_t open = line.find("\", \"", at + marker.size());
        if (open == std::string::npos || line.back() != '"') continue;
        open += 4;
        out.push_back(line.substr(open, line.size() - 1 - open));
    }
    return out;
}

// --- PyftpdlibServer

PyftpdlibServer::~PyftpdlibServer() { Stop(); }

bool PyftpdlibServer::Launch() {
    const std::string python = "/usr/bin/python3";
    if (!ProgramExists(python))
        return Fail("program not found: " + python + " (package python3, see scripts/setup)");
    if (access("/usr/lib/python3/dist-packages/pyftpdlib/__init__.py", R_OK) != 0)
        return Fail("pyftpdlib not installed (package python3-pyftpdlib, see scripts/setup)");
    if (!PickPorts(options_.PassivePortCount)) return false;
    ipv6_ = options_.Ipv6;

    // The script runs as the user: give it a readable copy and a command
    // record it may write.
    std::string script = dir_.File("pyftpd_peer.py");
    std::string source = ReadTextFile(PeerScriptsDir() + "/pyftpd_peer.py");
    if (source.empty() || !WriteTextFile(script, source, 0644))
        return Fail("cannot copy " + PeerScriptsDir() + "/pyftpd_peer.py");
    std::string commands = dir_.File("commands.log");
    std::string out = dir_.File("pyftpd.out");
    for (const auto& f : {commands, out}) {
        WriteTextFile(f, "", 0644);
        if (chown(f.c_str(), static_cast<uid_t>(user_.Uid()), static_cast<gid_t>(user_.Gid())) != 0)
            return Fail("cannot give " + f + " to " + User());
    }

    process_.SetUser(User());
    process_.SetWorkDir(Home());
    process_.AddEnv("HOME=" + Home());
    process_.AddEnv("PYTHONDONTWRITEBYTECODE=1");
    std::vector<std::string> argv = {
        python, "-u", script,
        "--port", std::to_string(port_),
        "--user", User(),
        "--password", Password(),
        "--home", Home(),
        "--passive", std::to_string(passiveMin_) + "-" + std::to_string(passiveMax_),
        "--commands", commands,
        "--mode", options_.Mode,
        "--cut-after", std::to_string(options_.CutAfterBytes),
        "--address", options_.Ipv6 ? "::1" : "127.0.0.1"};
    if (!options_.TlsCertFile.empty())
        argv.insert(argv.end(), {"--tls-cert", options_.TlsCertFile, "--tls-key", options_.TlsKeyFile});
    if (!process_.Start(argv, out)) return Fail(process_.Error());
    return true;
}

void PyftpdlibServer::Stop() {
    process_.Stop();
    user_.Remove();
}

std::vector<std::string> PyftpdlibServer::Commands() const {
    return Lines(ReadTextFile(dir_.File("commands.log")));
}

}  // namespace peers
