// Parsing and checking of tarnftp's command line.
#include "cli/CliOptions.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "ftp/FtpUrl.h"
#include "net/SslContext.h"

namespace {

// More sessions than this only crowd the server (many limit clients per address).
constexpr int kMaxParallel = 16;

struct TCommandShape {
    std::size_t MinArgs;
    std::size_t MaxArgs;  // SIZE_MAX: any number
};

const std::map<std::string, TCommandShape>& Commands() {
    static const std::map<std::string, TCommandShape> commands = {
        {"ls", {0, 1}},     {"nlst", {0, 1}},    {"get", {1, 2}},
        {"put", {1, 2}},    {"mget", {1, SIZE_MAX}}, {"mput", {1, SIZE_MAX}},
        {"append", {2, 2}}, {"mkdir", {1, 1}},   {"rmdir", {1, 1}},
        {"rename", {2, 2}}, {"delete", {1, SIZE_MAX}}, {"pwd", {0, 0}},
        {"size", {1, 1}},   {"syst", {0, 0}},    {"quote", {1, SIZE_MAX}},
        {"mirror", {1, 2}},
    };
    return commands;
}

bool IsPortNumber(const std::string& Text) {
    if (Text.empty() || Text.size() > 5) return false;
    for (char c : Text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    int value = std::stoi(Text);
    return value >= 1 && value <= 65535;
}

// "HOST:PORT" (port required) or "HOST[:PORT]" (port optional); an IPv6
// host in brackets.
bool SplitProxyAddress(const std::string& Text, bool PortRequired, std::string& Host,
                       std::string& Port) {
    std::string error;
    if (!SplitHostPort(Text, Text, Host, Port, error)) return false;
    return !PortRequired || !Port.empty();
}

// Text that goes onto the control connection must stay one line.
bool HasLineBreak(const std::string& Text) {
    return Text.find_first_of("\r\n") != std::string::npos;
}

// mget stores each file under its base name: a name whose base name is
// empty, "." or ".." would leave (or clobber) the output folder.
bool SafeBaseName(const std::string& Name) {
    std::size_t slash = Name.find_last_of('/');
    std::string base = slash == std::string::npos ? Name : Name.substr(slash + 1);
    return !base.empty() && base != "." && base != "..";
}

class TParser {
public:
    TParser(const std::vector<std::string>& Arguments, TCliOptions& Options, std::string& Error)
        : Args(Arguments), Opts(Options), Err(Error) {}

    TParseOutcome Run();

private:
    // Takes the value of an option: the text after "=" (long) or the rest of
    // the cluster (short), else the next argument.
    bool TakeValue(const std::string& Name, std::string& Value);
    bool LongOption(const std::string& Arg);
    bool ShortCluster(const std::string& Arg);
    bool SetProxy(TProxyKind Kind, const std::string& Name, const std::string& Value);
    bool Apply(const std::string& Name, const std::string& Value);
    bool Fail(const std::string& Why) {
        Err = Why;
        return false;
    }
    TParseOutcome Refuse(const std::string& Why) {
        Err = Why;
        return TParseOutcome::Error;
    }
    bool CheckPositionals();

    const std::vector<std::string>& Args;
    TCliOptions& Opts;
    std::string& Err;
    std::size_t Index = 0;
    std::string Inline;  // "=value" of a long option or the rest of a cluster
    bool HasInline = false;
    std::vector<std::string> Positionals;
    bool Help = false, Version = false, SawActive = false, SawPassive = false, HasParallel = false;
    bool SawPort = false;
    bool UrlPort = false;
    TFtpSecurity SawSecurity = ftpSecurityNone;
};

bool TParser::TakeValue(const std::string& Name, std::string& Value) {
    if (HasInline) {
        Value = Inline;
        HasInline = false;
        return true;
    }
    if (Index + 1 >= Args.size()) return Fail("option " + Name + " needs a value");
    Value = Args[++Index];
    return true;
}

bool TParser::SetProxy(TProxyKind Kind, const std::string& Name, const std::string& Value) {
    if (Opts.Proxy != TProxyKind::None) return Fail("only one proxy option may be given");
    Opts.Proxy = Kind;
    if (!SplitProxyAddress(Value, Kind != TProxyKind::Ftp, Opts.ProxyHost, Opts.ProxyPort))
        return Fail(Name + " wants " + (Kind == TProxyKind::Ftp ? "HOST[:PORT]" : "HOST:PORT") +
                    ", not \"" + Value + "\"");
    return true;
}

// Options that take a value, by their long name.
bool TParser::Apply(const std::string& Name, const std::string& Value) {
    if (Name == "--user") {
        std::size_t colon = Value.find(':');
        Opts.User = Value.substr(0, colon);
        Opts.HasUser = true;
        if (colon != std::string::npos) {
            Opts.Password = Value.substr(colon + 1);
            Opts.HasPassword = true;
        }
        if (Opts.User.empty()) return Fail("--user wants USER[:PASS]");
        return true;
    }
    if (Name == "--port") {
        if (!IsPortNumber(Value)) return Fail("--port wants a number from 1 to 65535");
        Opts.Port = Value;
        SawPort = true;
        return true;
    }
    if (Name == "--socks4") return SetProxy(TProxyKind::Socks4, Name, Value);
    if (Name == "--socks4a") return SetProxy(TProxyKind::Socks4A, Name, Value);
    if (Name == "--socks5") return SetProxy(TProxyKind::Socks5, Name, Value);
    if (Name == "--ftp-proxy") return SetProxy(TProxyKind::Ftp, Name, Value);
    if (Name == "--socks-user") {
        Opts.SocksUser = Value;
        return true;
    }
    if (Name == "--socks-password") {
        Opts.SocksPassword = Value;
        return true;
    }
    if (Name == "--cacert") {
        if (Value.empty()) return Fail("--cacert wants a file of trusted certificates");
        Opts.CaFile = Value;
        return true;
    }
    if (Name == "--pin") {
        // A typo would otherwise read as "certificate changed" at connect.
        if (SslSha256Hex(Value).empty())
            return Fail("--pin wants a SHA-256 fingerprint of the server's public key: 64 hex digits, "
                        "':' allowed between them");
        Opts.PinSha256 = Value;
        return true;
    }
    if (Name == "--hostkey") {
        if (Value.rfind("SHA256:", 0) != 0 || Value.size() < 20)
            return Fail("--hostkey wants the key's fingerprint as SHA256:... (ssh-keygen -l shows it)");
        Opts.HostKeyPin = Value;
        return true;
    }
    if (Name == "--timeout") {
        bool digits = !Value.empty() && Value.size() <= 6;
        for (char c : Value) digits = digits && std::isdigit(static_cast<unsigned char>(c));
        if (!digits) return Fail("--timeout wants a number of seconds (0: no limit)");
        Opts.TimeoutSeconds = std::stoi(Value);
        return true;
    }
    if (Name == "--parallel") {
        bool digits = !Value.empty() && Value.size() <= 2;
        for (char c : Value) digits = digits && std::isdigit(static_cast<unsigned char>(c));
        if (!digits || std::stoi(Value) < 1 || std::stoi(Value) > kMaxParallel)
            return Fail("--parallel wants a number of sessions from 1 to " + std::to_string(kMaxParallel));
        Opts.Parallel = std::stoi(Value);
        HasParallel = true;
        return true;
    }
    if (Name == "--output-dir") {
        if (Value.empty()) return Fail("--output-dir wants a folder");
        Opts.OutputDir = Value;
        return true;
    }
    if (Name == "--if-exists") {
        static const std::map<std::string, TExistingChoice> choices = {
            {"overwrite", TExistingChoice::Overwrite}, {"resume", TExistingChoice::Resume},
            {"skip", TExistingChoice::Skip},           {"rename", TExistingChoice::Rename}};
        const auto it = choices.find(Value);
        if (it == choices.end()) return Fail("--if-exists wants overwrite, resume, skip or rename");
        Opts.IfExists = it->second;
        Opts.HasIfExists = true;
        return true;
    }
    return Fail("unknown option " + Name);
}

bool TParser::LongOption(const std::string& Arg) {
    std::string name = Arg;
    std::size_t eq = Arg.find('=');
    HasInline = eq != std::string::npos;
    if (HasInline) {
        name = Arg.substr(0, eq);
        Inline = Arg.substr(eq + 1);
    }
    static const std::map<std::string, bool TCliOptions::*> flags = {
        {"--password-stdin", &TCliOptions::PasswordStdin},
        {"--ascii", &TCliOptions::Ascii},
        {"--continue", &TCliOptions::Continue},
        {"--verbose", &TCliOptions::Verbose},
        {"--quiet", &TCliOptions::Quiet},
        {"--insecure", &TCliOptions::Insecure},
        {"--accept-new-hostkey", &TCliOptions::AcceptNewHostKey},
        {"--reverse", &TCliOptions::Reverse},
        {"--only-newer", &TCliOptions::OnlyNewer},
        {"--delete", &TCliOptions::DeleteMissing},
    };
    if (auto it = flags.find(name); it != flags.end()) {
        if (HasInline) return Fail("option " + name + " takes no value");
        Opts.*(it->second) = true;
        return true;
    }
    if (name == "--ftps" || name == "--ftps-implicit") {
        if (HasInline) return Fail("option " + name + " takes no value");
        const TFtpSecurity security = name == "--ftps" ? ftpSecurityExplicit : ftpSecurityImplicit;
        if (SawSecurity != ftpSecurityNone && SawSecurity != security)
            return Fail("--ftps and --ftps-implicit exclude each other");
        SawSecurity = security;
        return true;
    }
    if (name == "--binary" || name == "--passive" || name == "--active" || name == "--help" ||
        name == "--version") {
        if (HasInline) return Fail("option " + name + " takes no value");
        if (name == "--binary") Opts.Ascii = false;
        if (name == "--passive") SawPassive = true;
        if (name == "--active") SawActive = true;
        if (name == "--help") Help = true;
        if (name == "--version") Version = true;
        return true;
    }
    static const char* const valued[] = {"--user",   "--port",         "--socks4",
                                         "--socks4a", "--socks5",      "--socks-user",
                                         "--socks-password", "--ftp-proxy", "--timeout",
                                         "--output-dir", "--cacert", "--pin", "--hostkey", "--if-exists",
                                         "--parallel"};
    for (const char* known : valued) {
        if (name != known) continue;
        std::string value;
        return TakeValue(name, value) && Apply(name, value);
    }
    return Fail("unknown option " + name);
}

bool TParser::ShortCluster(const std::string& Arg) {
    for (std::size_t i = 1; i < Arg.size(); ++i) {
        char c = Arg[i];
        const char* longName = c == 'u' ? "--user" : c == 'P' ? "--port" : c == 'o' ? "--output-dir"
                                                                                  : nullptr;
        if (longName) {
            HasInline = i + 1 < Arg.size();
            Inline = HasInline ? Arg.substr(i + 1) : std::string();
            std::string value;
            return TakeValue(std::string("-") + c, value) && Apply(longName, value);
        }
        switch (c) {
            case 'C': Opts.Continue = true; break;
            case 'R': Opts.Reverse = true; break;
            case 'v': Opts.Verbose = true; break;
            case 'q': Opts.Quiet = true; break;
            case 'h': Help = true; break;
            default: return Fail(std::string("unknown option -") + c);
        }
    }
    return true;
}

bool TParser::CheckPositionals() {
    if (Positionals.empty()) return Fail("no host given");
    std::string target = Positionals[0];
    std::vector<std::string> rest(Positionals.begin() + 1, Positionals.end());
    if (LooksLikeFtpUrl(target)) {
        TFtpUrl url;
        if (!ParseFtpUrl(target, url, Err)) return false;
        Opts.Host = url.Host;
        Opts.Sftp = url.Sftp;
        if (url.Sftp && SawSecurity != ftpSecurityNone)
            return Fail("an sftp:// URL is SSH: --ftps and --ftps-implicit do not apply");
        if (url.Security != ftpSecurityNone) {
            if (SawSecurity != ftpSecurityNone && SawSecurity != url.Security)
                return Fail("the URL's scheme and --ftps/--ftps-implicit disagree");
            SawSecurity = url.Security;
        } else if (SawSecurity != ftpSecurityNone) {
            return Fail("an ftp:// URL is plain FTP: use ftpes:// or ftps:// for TLS");
        }
        if (!url.Port.empty() && !SawPort) Opts.Port = url.Port;
        UrlPort = !url.Port.empty();
        if (url.HasUser) {
            if (Opts.HasUser) return Fail("give the user either in the URL or with --user");
            Opts.User = url.User;
            Opts.HasUser = true;
            Opts.Password = url.Password;
            Opts.HasPassword = url.HasPassword;
        }
        if (rest.empty()) {
            // Like curl: a folder (or nothing) is listed, a file is fetched
            // to standard output.
            if (url.Path.empty() || url.Path.back() == '/') {
                Opts.Command = "ls";
                if (!url.Path.empty()) Opts.Args = {url.Path};
            } else {
                Opts.Command = "get";
                Opts.Args = {url.Path, "-"};
            }
            return true;
        }
        Opts.StartDir = url.Path;
    } else {
        // "[v6]" or a bare IPv6 address; the port comes with its option.
        std::string port;
        if (!SplitHostPort(target, target, Opts.Host, port, Err)) return false;
        if (!port.empty()) {
            if (!SawPort) Opts.Port = port;
            UrlPort = true;
        }
        if (rest.empty()) return Fail("no command given");
    }
    Opts.Command = rest[0];
    Opts.Args.assign(rest.begin() + 1, rest.end());
    auto it = Commands().find(Opts.Command);
    if (it == Commands().end()) return Fail("unknown command \"" + Opts.Command + "\"");
    if (Opts.Args.size() < it->second.MinArgs || Opts.Args.size() > it->second.MaxArgs)
        return Fail("wrong number of arguments for " + Opts.Command);
    if (Opts.Command == "mget")
        for (const std::string& name : Opts.Args)
            if (!SafeBaseName(name))
                return Fail("mget: \"" + name + "\" has no file name to store it under");
    const bool mirror = Opts.Command == "mirror";
    if (!mirror && (Opts.Reverse || Opts.OnlyNewer || Opts.DeleteMissing || HasParallel))
        return Fail("-R, --only-newer, --delete and --parallel belong to mirror");
    static const char* const writers[] = {"get", "put", "mget", "mput", "mirror"};
    if (Opts.HasIfExists &&
        std::find(std::begin(writers), std::end(writers), Opts.Command) == std::end(writers))
        return Fail("--if-exists belongs to get, put, mget, mput and mirror");
    if (Opts.HasIfExists && Opts.Continue)
        return Fail("--continue and --if-exists exclude each other (--if-exists resume is -C)");
    if (mirror && Opts.Continue) return Fail("mirror resumes with --if-exists resume, not -C");
    return true;
}

TParseOutcome TParser::Run() {
    bool optionsEnded = false;
    for (Index = 1; Index < Args.size(); ++Index) {
        const std::string& arg = Args[Index];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            Positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        bool ok = arg[1] == '-' ? LongOption(arg) : ShortCluster(arg);
        if (!ok) return TParseOutcome::Error;
    }
    if (Help) return TParseOutcome::Help;
    if (Version) return TParseOutcome::Version;
    if (SawActive && SawPassive) return Refuse("--active and --passive exclude each other");
    if (SawActive && Opts.Proxy != TProxyKind::None)
        return Refuse("--active cannot be used with a proxy (a proxied session is passive)");
    Opts.Passive = SawPassive || Opts.Proxy != TProxyKind::None;
    Opts.PassiveFallback = !SawActive && !Opts.Passive;
    if ((!Opts.SocksUser.empty() || !Opts.SocksPassword.empty()) &&
        Opts.Proxy != TProxyKind::Socks4 && Opts.Proxy != TProxyKind::Socks4A &&
        Opts.Proxy != TProxyKind::Socks5)
        return Refuse("--socks-user and --socks-password need --socks4, --socks4a or --socks5");
    if (Opts.Verbose && Opts.Quiet)
        return Refuse("--verbose and --quiet exclude each other");
    if (!CheckPositionals()) return TParseOutcome::Error;
    Opts.Security = SawSecurity;
    if (Opts.Security == ftpSecurityImplicit && !SawPort && !UrlPort) Opts.Port = "990";
    if (Opts.Sftp && !SawPort && !UrlPort) Opts.Port = "22";
    if (!Opts.Sftp && (!Opts.HostKeyPin.empty() || Opts.AcceptNewHostKey))
        return Refuse("--hostkey and --accept-new-hostkey need an sftp:// URL");
    if (Opts.Sftp && Opts.Proxy == TProxyKind::Ftp)
        return Refuse("--ftp-proxy cannot carry SFTP (use a SOCKS proxy)");
    if (Opts.Security == ftpSecurityNone &&
        (!Opts.CaFile.empty() || !Opts.PinSha256.empty() || Opts.Insecure))
        return Refuse("--cacert, --pin and --insecure need --ftps, --ftps-implicit or an "
                      "ftpes:// or ftps:// URL");
    if (Opts.PasswordStdin && Opts.HasPassword)
        return Refuse("--password-stdin, but a password was given as well");
    if (Opts.PasswordStdin && !Opts.HasUser)
        return Refuse("--password-stdin needs a user (--user USER)");
    std::vector<const std::string*> wire = {&Opts.Host, &Opts.User, &Opts.Password,
                                            &Opts.StartDir, &Opts.SocksUser, &Opts.SocksPassword};
    for (const std::string& arg : Opts.Args) wire.push_back(&arg);
    for (const std::string* text : wire)
        if (HasLineBreak(*text))
            return Refuse("a name or argument holds a line break");
    return TParseOutcome::Run;
}

}  // namespace

TParseOutcome ParseCommandLine(const std::vector<std::string>& Arguments, TCliOptions& Options,
                               std::string& Error) {
    return TParser(Arguments, Options, Error).Run();
}

std::string VersionText() { return std::string("tarnftp ") + TARNFTP_VERSION + "\n"; }

std::string HelpText() {
    return R"(Usage: tarnftp [options] HOST COMMAND [ARGS...]
       tarnftp [options] ftp://[USER[:PASS]@]HOST[:PORT]/PATH [COMMAND [ARGS...]]

ftpes:// instead of ftp:// means FTP over explicit TLS, ftps:// implicit TLS,
sftp:// SFTP over SSH (port 22; log-in with the SSH agent, ~/.ssh/id_ed25519,
id_ecdsa or id_rsa, or the password; the user defaults to yours).
A URL alone lists a folder (PATH empty or ending in "/") or writes a file to
standard output. With a command, the URL's PATH is the folder to work in.

Commands:
  ls [DIR]              list a folder (LIST) on standard output
  nlst [DIR]            list names only (NLST) on standard output
  get REMOTE [LOCAL]    download (LOCAL "-": standard output)
  put LOCAL [REMOTE]    upload
  mget REMOTE...        download several files into the output folder, each
                        under its base name (names are taken literally)
  mput LOCAL...         upload several files into the current remote folder
  append LOCAL REMOTE   append a local file to a remote one
  mkdir DIR             make a remote folder
  rmdir DIR             remove a remote folder
  rename FROM TO        rename a remote file or folder
  delete FILE...        delete remote files
  pwd                   print the remote working folder
  size FILE             print the size of a remote file in bytes
  syst                  print the server's system type
  quote COMMAND...      send a raw command and print the reply
  mirror REMOTE [LOCAL] download the folder REMOTE with everything in it into
                        LOCAL (default: a folder of its name in the current one)
  mirror -R LOCAL [REMOTE]  upload the folder LOCAL with everything in it
                        (default REMOTE: a folder of its name in the current one)

Options:
  -u, --user USER[:PASS]   log in as USER (default: ~/.netrc, else anonymous)
      --password-stdin     read the password from the first line of standard input
  -P, --port PORT          server port (default 21)
      --passive            passive data connections (PASV)
      --active             active data connections (PORT) only; by default
                           active mode goes passive once it fails
      --ascii              transfer type A
      --binary             transfer type I (the default)
  -C, --continue           resume get and put where the local or remote copy ends
  -o, --output-dir DIR     folder mget stores into (default: the current one)
      --if-exists WHAT     a file that is already there: overwrite, resume
                           (binary and smaller only), skip, or rename (the new
                           file gets a free name "NAME (N).EXT"); for get, put,
                           mget, mput and mirror (default: overwrite)
  -R, --reverse            mirror uploads (local to remote)
      --only-newer         mirror leaves files that are not older than the source's
      --delete             mirror removes what the source side does not have
                           (only after every folder was read and every file moved)
      --parallel N         mirror moves files on N sessions at once (default 1,
                           at most 16)
      --socks4 HOST:PORT   connect through a SOCKS 4 proxy
      --socks4a HOST:PORT  connect through a SOCKS 4A proxy (the server's name is
                           still resolved here, as for every connection type)
      --socks5 HOST:PORT   connect through a SOCKS 5 proxy
      --socks-user USER    user for the SOCKS proxy
      --socks-password PW  password for the SOCKS proxy
      --ftp-proxy HOST[:PORT]  log in through an FTP proxy (USER user@host)
                           A proxied session always uses passive mode.
      --ftps               FTP over explicit TLS (AUTH TLS); the login and
                           every data connection are encrypted, or nothing is sent
      --ftps-implicit      FTP over implicit TLS (default port 990)
      --cacert FILE        also trust the certificates (PEM) in FILE
      --pin SHA256         trust exactly the server key with this SHA-256
                           fingerprint of its public key, 64 hex digits with
                           or without ':' (a certificate's fingerprint works too)
      --insecure           do not check the certificate (warns on standard error)
                           Otherwise an untrusted certificate ends the run (7).
      --hostkey SHA256:... SFTP: trust the host key with this fingerprint when
                           ~/.ssh/known_hosts does not know the host
      --accept-new-hostkey SFTP: trust a host key known_hosts does not know yet
                           and add it there. A key that differs from the one
                           in known_hosts is always refused (7).
      --timeout SECONDS    longest wait for the server (default 60; 0: none)
  -v, --verbose            show the FTP conversation on standard error
                           (passwords masked)
  -q, --quiet              no progress bar and no notices
  -h, --help               show this help
      --version            show the version

~/.netrc is read only when no user is given (or for the password of the
given user), and only when no one but its owner can read it.

Exit status: 0 success, 1 usage, 2 cannot connect or resolve, 3 login
refused, 4 the server refused a command, 5 local file error, 6 time-out,
7 the server's certificate or host key is not trusted (or not the pinned one),
130 interrupted. mirror exits 0 only when every file arrived; otherwise with
the status of the first failure.
)";
}
