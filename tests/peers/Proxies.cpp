#include "peers/Proxies.h"

#include <sstream>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace peers {

namespace {

const Millis kStartTimeout(10000);

std::string Tail(const std::string& text, size_t max = 2000) {
    return text.size() <= max ? text : text.substr(text.size() - max);
}

std::string Missing(const std::string& program, const std::string& package) {
    return "program not found: " + program + " (package " + package + ", see scripts/setup)";
}

}  // namespace

// --- ProxyPeer

bool ProxyPeer::Fail(const std::string& why) {
    error_ = why;
    return false;
}

bool ProxyPeer::WaitReady(PeerProcess& process, int port) {
    const Listening state = WaitForListener(process, port, kStartTimeout);
    if (state == Listening::Yes) return true;
    std::string log = process.Log();
    process.Stop();
    return Fail(std::string(state == Listening::Exited ? "it exited before it" : "nothing") +
                " answered on port " + std::to_string(port) + "; output of " + process.LogPath() +
                ":\n" + Tail(log));
}

// --- DanteProxy

DanteProxy::~DanteProxy() { Stop(); }

bool DanteProxy::Start() {
    const std::string program = "/usr/sbin/danted";
    if (!ProgramExists(program)) return Fail(Missing(program, "dante-server"));
    if (dir_.Path().empty()) return Fail("cannot make a run folder in /tmp");
    if (options_.UserAuth && !user_.Create(dir_.File("home"))) return Fail(user_.Error());
    port_ = FreePort();
    if (port_ == 0) return Fail("no free port on 127.0.0.1");

    const std::string method = options_.UserAuth ? "username" : "none";
    std::ostringstream conf;
    conf << "logoutput: " << LogPath() << "\n"
         << "internal: 127.0.0.1 port = " << port_ << "\n"
         << "external: " << options_.External << "\n"
         << "clientmethod: none\n"
         << "socksmethod: " << method << "\n"
         << "user.privileged: root\n"
         << "user.unprivileged: nobody\n"
         << "client pass {\n  from: 127.0.0.0/8 to: 0.0.0.0/0\n}\n"
         << "socks pass {\n  from: 127.0.0.0/8 to: 127.0.0.0/8\n"
         << "  command: connect bind bindreply\n  protocol: tcp\n"
         << "  socksmethod: " << method << "\n}\n";
    std::string confPath = dir_.File("danted.conf");
    if (!WriteTextFile(confPath, conf.str())) return Fail("cannot write " + confPath);
    if (!process_.Start({program, "-f", confPath, "-p", dir_.File("danted.pid")},
                        dir_.File("danted.out")))
        return Fail(process_.Error());
    return WaitReady(process_, port_);
}

void DanteProxy::Stop() {
    process_.Stop();
    user_.Remove();
}

// --- MicrosocksProxy

MicrosocksProxy::~MicrosocksProxy() { Stop(); }

bool MicrosocksProxy::Start() {
    const std::string program = "/usr/bin/microsocks";
    if (!ProgramExists(program)) return Fail(Missing(program, "microsocks"));
    if (dir_.Path().empty()) return Fail("cannot make a run folder in /tmp");
    port_ = FreePort();
    if (port_ == 0) return Fail("no free port on 127.0.0.1");
    std::vector<std::string> argv = {program, "-i", "127.0.0.1", "-p", std::to_string(port_)};
    if (!options_.User.empty() || !options_.Password.empty())
        argv.insert(argv.end(), {"-u", options_.User, "-P", options_.Password});
    if (!process_.Start(argv, dir_.File("microsocks.out"))) return Fail(process_.Error());
    return WaitReady(process_, port_);
}

void MicrosocksProxy::Stop() { process_.Stop(); }

// --- SshSocksProxy

SshSocksProxy::~SshSocksProxy() { Stop(); }

bool SshSocksProxy::Start() {
    const std::string sshd = "/usr/sbin/sshd", ssh = "/usr/bin/ssh",
                      keygen = "/usr/bin/ssh-keygen";
    if (!ProgramExists(sshd)) return Fail(Missing(sshd, "openssh-server"));
    if (!ProgramExists(ssh)) return Fail(Missing(ssh, "openssh-client"));
    if (!ProgramExists(keygen)) return Fail(Missing(keygen, "openssh-client"));
    if (dir_.Path().empty()) return Fail("cannot make a run folder in /tmp");
    // sshd's privilege separation needs it; `scripts/setup test` makes it too.
    mkdir("/run/sshd", 0755);
    if (!user_.Create(dir_.File("home"))) return Fail(user_.Error());

    const std::string hostKey = dir_.File("host_key"), clientKey = dir_.File("client_key");
    for (const auto& key : {hostKey, clientKey}) {
        CommandResult r = RunCommand({keygen, "-q", "-t", "ed25519", "-N", "", "-f", key});
        if (r.ExitCode != 0) return Fail("ssh-keygen failed: " + r.Output);
    }
    const std::string authorized = dir_.File("authorized_keys");
    if (!WriteTextFile(authorized, ReadTextFile(clientKey + ".pub"), 0644))
        return Fail("cannot write " + authorized);

    sshdPort_ = FreePort();
    port_ = FreePort();
    if (sshdPort_ == 0 || port_ == 0 || sshdPort_ == port_) return Fail("no free ports");

    std::ostringstream conf;
    conf << "Port " << sshdPort_ << "\nListenAddress 127.0.0.1\n"
         << "HostKey " << hostKey << "\nPidFile " << dir_.File("sshd.pid") << "\n"
         << "AuthorizedKeysFile " << authorized << "\n"
         << "UsePAM no\nStrictModes no\nPasswordAuthentication no\n"
         << "KbdInteractiveAuthentication no\nPermitRootLogin no\n"
         << "AllowUsers " << user_.Name() << "\nAllowTcpForwarding yes\n";
    const std::string confPath = dir_.File("sshd_config");
    if (!WriteTextFile(confPath, conf.str(), 0600)) return Fail("cannot write " + confPath);
    if (!sshd_.Start({sshd, "-D", "-e", "-f", confPath}, dir_.File("sshd.out")))
        return Fail(sshd_.Error());
    if (!WaitReady(sshd_, sshdPort_)) return false;

    if (!ssh_.Start({ssh, "-N", "-F", "/dev/null",
                     "-D", "127.0.0.1:" + std::to_string(port_),
                     "-p", std::to_string(sshdPort_), "-i", clientKey,
                     "-o", "BatchMode=yes", "-o", "IdentitiesOnly=yes",
                     "-o", "StrictHostKeyChecking=no", "-o", "UserKnownHostsFile=/dev/null",
                     "-o", "ExitOnForwardFailure=yes", "-o", "LogLevel=ERROR",
                     user_.Name() + "@127.0.0.1"},
                    dir_.File("ssh.out")))
        return Fail(ssh_.Error());
    if (WaitReady(ssh_, port_)) return true;
    error_ += "\nsshd output:\n" + Tail(sshd_.Log());
    return false;
}

void SshSocksProxy::Stop() {
    ssh_.Stop();
    sshd_.Stop();
    user_.Remove();
}

// --- FtpProxyServer

FtpProxyServer::~FtpProxyServer() { Stop(); }

bool FtpProxyServer::Start() {
    const std::string program = "/usr/sbin/ftp-proxy";
    if (!ProgramExists(program)) return Fail(Missing(program, "ftp-proxy"));
    if (dir_.Path().empty()) return Fail("cannot make a run folder in /tmp");
    port_ = FreePort();
    const int ports = 8;
    const int passive = FreePortRange(3 * ports), active = passive + ports,
              destination = active + ports;
    if (port_ == 0 || passive == 0)
        return Fail("no free ports on 127.0.0.1");

    // It drops to nobody and then writes its log and PID file.
    std::string logDir = dir_.MakeDir("log");
    passwd* nobody = getpwnam("nobody");
    group* nogroup = getgrnam("nogroup");
    if (!nobody || !nogroup || chown(logDir.c_str(), nobody->pw_uid, nogroup->gr_gid) != 0)
        return Fail("cannot give " + logDir + " to nobody:nogroup");

    auto range = [&](const char* name, int first) {
        return std::string(name) + "MinDataPort " + std::to_string(first) + "\n" + name +
               "MaxDataPort " + std::to_string(first + ports - 1) + "\n";
    };
    std::ostringstream conf;
    conf << "[-Global-]\n"
         << "ServerType standalone\nListen 127.0.0.1\nPort " << port_ << "\n"
         << "DestinationAddress 127.0.0.1\nDestinationPort " << serverPort_ << "\n"
         << "AllowMagicUser yes\nDestinationTransferMode client\n"
         << range("Passive", passive) << range("Active", active)
         << "DestinationMinPort " << destination << "\n"
         << "DestinationMaxPort " << destination + ports - 1 << "\n"
         << "User nobody\nGroup nogroup\n"
         << "PidFile " << logDir << "/ftp-proxy.pid\n"
         << "LogDestination " << LogPath() << "\n";
    std::string confPath = dir_.File("ftp-proxy.conf");
    if (!WriteTextFile(confPath, conf.str())) return Fail("cannot write " + confPath);
    if (!process_.Start({program, "-d", "-n", "-f", confPath}, dir_.File("ftp-proxy.out")))
        return Fail(process_.Error());
    return WaitReady(process_, port_);
}

void FtpProxyServer::Stop() { process_.Stop(); }

}  // namespace peers
