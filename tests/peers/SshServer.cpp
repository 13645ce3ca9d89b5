// sshd as an SFTP server on 127.0.0.1.
#include "peers/SshServer.h"

#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace peers {

SshServer::~SshServer() { Stop(); }

bool SshServer::Fail(const std::string& why) {
    error_ = why;
    return false;
}

bool SshServer::Start() {
    const std::string sshd = "/usr/sbin/sshd", keygen = "/usr/bin/ssh-keygen";
    if (!ProgramExists(sshd)) return Fail(sshd + " is missing (package openssh-server)");
    if (!ProgramExists(keygen)) return Fail(keygen + " is missing (package openssh-client)");
    if (dir_.Path().empty()) return Fail("cannot make a run folder in /tmp");
    mkdir("/run/sshd", 0755);
    if (!user_.Create(dir_.File("home"))) return Fail(user_.Error());
    for (const char* key : {"host_key", "other_host_key", "client_key"}) {
        CommandResult r = RunCommand({keygen, "-q", "-t", "ed25519", "-N", "", "-f", dir_.File(key)});
        if (r.ExitCode != 0) return Fail("ssh-keygen failed: " + r.Output);
    }
    CommandResult fp = RunCommand({keygen, "-l", "-E", "sha256", "-f", dir_.File("host_key.pub")});
    std::istringstream fields(fp.Output);
    std::string bits;
    fields >> bits >> fingerprint_;
    const std::string authorized = dir_.File("authorized_keys");
    if (!WriteTextFile(authorized, ReadTextFile(ClientKey() + ".pub"), 0644))
        return Fail("cannot write " + authorized);
    port_ = FreePort();
    if (port_ == 0) return Fail("no free port");
    std::ostringstream conf;
    conf << "Port " << port_ << "\nListenAddress 127.0.0.1\n"
         << "HostKey " << dir_.File("host_key") << "\nPidFile " << dir_.File("sshd.pid") << "\n"
         << "AuthorizedKeysFile " << authorized << "\n"
         << "UsePAM " << (options_.KeyboardInteractive ? "yes" : "no") << "\nStrictModes no\n"
         << "PasswordAuthentication " << (options_.Password ? "yes" : "no") << "\nPermitRootLogin no\n"
         << "KbdInteractiveAuthentication " << (options_.KeyboardInteractive ? "yes" : "no")
         << "\nMaxAuthTries 10\nAllowUsers " << User() << "\n";
    if (options_.Sftp) conf << "Subsystem sftp internal-sftp\n";
    const std::string confPath = dir_.File("sshd_config");
    if (!WriteTextFile(confPath, conf.str(), 0600)) return Fail("cannot write " + confPath);
    if (!sshd_.Start({sshd, "-D", "-e", "-f", confPath}, dir_.File("sshd.out")))
        return Fail(sshd_.Error());
    if (!WaitForPort(port_, Millis(10000)))
        return Fail("sshd did not open its port:\n" + ReadTextFile(sshd_.LogPath()));
    return true;
}

void SshServer::Stop() {
    CutSessions();
    sshd_.Stop();
    user_.Remove();
}

std::string SshServer::KnownHostsLine() const {
    std::string key = ReadTextFile(dir_.File("host_key.pub"));
    return "[127.0.0.1]:" + std::to_string(port_) + " " + key.substr(0, key.find(" ", key.find(" ") + 1)) + "\n";
}

std::string SshServer::OtherKnownHostsLine() const {
    std::string key = ReadTextFile(dir_.File("other_host_key.pub"));
    return "[127.0.0.1]:" + std::to_string(port_) + " " + key.substr(0, key.find(" ", key.find(" ") + 1)) + "\n";
}

bool SshServer::PutFile(const std::string& relativePath, const std::string& content) {
    namespace fs = std::filesystem;
    const fs::path path = fs::path(Home()) / relativePath;
    fs::path at = Home();
    for (const auto& part : fs::relative(path.parent_path(), Home())) {
        if (part == ".") continue;
        at /= part;
        if (!fs::exists(at)) {
            if (mkdir(at.c_str(), 0755) != 0) return false;
            if (chown(at.c_str(), static_cast<uid_t>(user_.Uid()), static_cast<gid_t>(user_.Gid())) != 0) return false;
        }
    }
    if (!WriteTextFile(path.string(), content)) return false;
    return chown(path.c_str(), static_cast<uid_t>(user_.Uid()), static_cast<gid_t>(user_.Gid())) == 0;
}

void SshServer::CutSessions() {
    const int root = sshd_.Pid();
    if (root <= 0) return;
    std::map<int, int> parents;
    DIR* proc = opendir("/proc");
    if (!proc) return;
    while (dirent* entry = readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "pid (comm) state ppid ...": the name may hold spaces.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        int ppid = 0;
        rest >> state >> ppid;
        parents[pid] = ppid;
    }
    closedir(proc);
    // Every descendant of our sshd: the per-connection monitor and the
    // unprivileged child that holds the connection.
    for (const auto& [pid, ppid] : parents) {
        for (int up = ppid, hops = 0; up > 1 && hops < 8; up = parents.count(up) ? parents[up] : 0, ++hops) {
            if (up != root) continue;
            kill(pid, SIGKILL);
            break;
        }
    }
}

}  // namespace peers
