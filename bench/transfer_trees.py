"""Folder trees for bench/transfer: tarnftp mirror against lftp mirror.

Two trees on the same vsftpd in the same run: 10,000 files of 4 KiB in 100
folders, and 1 GiB in 16 files (4 folders of 4). Each is mirrored down and
up by `tarnftp mirror` and `lftp mirror`, on 1 and on 4 sessions
(`--parallel 4` / `--parallel=4`), the tools alternating, every result
compared name for name and byte for byte. Prints MB/s and files/s (wall time
of the whole process, login included) and tarnftp's speed over lftp's at the
same number of sessions.
"""

import filecmp
import os
import shutil
import statistics
import subprocess
import tempfile

TREE_TOOLS = ["tarnftp-1", "lftp-1", "tarnftp-4", "lftp-4"]


def make_small_tree(root):
    for d in range(100):
        folder = os.path.join(root, f"d{d:03d}")
        os.makedirs(folder)
        for i in range(100):
            with open(os.path.join(folder, f"f{i:03d}.bin"), "wb") as f:
                f.write(os.urandom(4096))
    return 10000, 10000 * 4096


def make_large_tree(root):
    for d in range(4):
        folder = os.path.join(root, f"part{d}")
        os.makedirs(folder)
        for i in range(4):
            with open(os.path.join(folder, f"chunk{i}.bin"), "wb") as f:
                for _ in range(64):
                    f.write(os.urandom(1 << 20))
    return 16, 1 << 30


def same_tree(a, b):
    """Whether b holds exactly a's folders and files, byte for byte."""
    for here, folders, files in os.walk(a):
        there = os.path.join(b, os.path.relpath(here, a))
        if not os.path.isdir(there):
            return False
        if sorted(os.listdir(there)) != sorted(folders + files):
            return False
        for name in files:
            if not filecmp.cmp(os.path.join(here, name), os.path.join(there, name), shallow=False):
                return False
    return True


def mirror_argv(tool, tarnftp, server, source, target, upload):
    sessions = tool.split("-")[1]
    if tool.startswith("tarnftp"):
        return [tarnftp, "-q", "--passive", "-u", f"{server.user}:{server.password}", "-P",
                str(server.port), "127.0.0.1", "mirror", "--parallel", sessions] + \
               (["-R"] if upload else []) + [source, target]
    setup = ("set ftp:passive-mode on; set ftp:prefer-epsv no; set ftp:ssl-allow no; "
             "set net:max-retries 1; "
             f"open -u {server.user},{server.password} -p {server.port} 127.0.0.1; ")
    return ["/usr/bin/lftp", "-c", setup + f"mirror {'-R ' if upload else ''}--parallel={sessions} "
            f"'{source}' '{target}'"]


def report_trees(title, results, files, size):
    print(f"\n{title}")
    med = {}
    for tool in TREE_TOOLS:
        secs = statistics.median(s for s, _ in results[tool])
        peak = max(p for _, p in results[tool])
        med[tool] = secs
        print(f"  {tool:10} {size / secs / 1e6:8.1f} MB/s  {files / secs:8.0f} files/s   "
              f"median {secs:7.3f} s   peak RSS {peak / 1024:6.1f} MiB")
    for n in ("1", "4"):
        print(f"  tarnftp / lftp at {n} session{'s' if n != '1' else ''}: "
              f"{med['lftp-' + n] / med['tarnftp-' + n]:.2f}")


def bench_trees(tarnftp, server, work, runs, timed):
    """timed(argv, cwd) -> (seconds, peak KiB), raising on failure."""
    for name, make in (("10,000 files of 4 KiB in 100 folders", make_small_tree),
                       ("1 GiB in 16 files", make_large_tree)):
        remote = server.file("tree")
        files, size = make(remote)
        subprocess.run(["/bin/chown", "-R", f"{server.user}:{server.user}", remote], check=True)
        local = os.path.join(work, "tree-local")
        shutil.copytree(remote, local)
        down = {t: [] for t in TREE_TOOLS}
        up = {t: [] for t in TREE_TOOLS}
        try:
            for i in range(runs):
                order = TREE_TOOLS[i % 4:] + TREE_TOOLS[:i % 4]
                for tool in order:
                    out = os.path.join(work, "tree-out")
                    down[tool].append(timed(mirror_argv(tool, tarnftp, server, "tree", out, False), work))
                    if not same_tree(remote, out):
                        raise RuntimeError(f"{tool} mirror down ({name}): trees differ")
                    shutil.rmtree(out)
                for tool in order:
                    target = server.file("tree-up")
                    up[tool].append(timed(mirror_argv(tool, tarnftp, server, local, "tree-up", True), work))
                    if not same_tree(local, target):
                        raise RuntimeError(f"{tool} mirror up ({name}): trees differ")
                    shutil.rmtree(target)
        finally:
            shutil.rmtree(remote, ignore_errors=True)
            shutil.rmtree(local, ignore_errors=True)
        report_trees(f"mirror down, {name} (passive)", down, files, size)
        report_trees(f"mirror up, {name} (passive)", up, files, size)
