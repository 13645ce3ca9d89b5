"""Folder trees for bench/transfer: tarnftp mirror against lftp mirror.

Two trees on the same vsftpd in the same run: 10,000 files of 4 KiB in 100
folders, and 1 GiB in 16 files (4 folders of 4). Each is mirrored down and
up by `tarnftp mirror` and `lftp mirror`, on 1 and on 4 sessions
(`--parallel 4` / `--parallel=4`), the tools alternating, every result
compared name for name and byte for byte. Prints MB/s and files/s (wall time
of the whole process, login included) and tarnftp's speed over lftp's at the
same number of sessions.

With a window (tarn_folder_window_bench on a real display), each tree also
goes down and up through the window's context menus, alternating with the
mirrors, and the window's speed over `tarnftp mirror` at 1 session is
printed. The window's figure is the transfer's own time (from the menu's
choice until the window has logged the batch's end and is idle), without its
start-up and login.
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
    for tool, runs in results.items():
        secs = statistics.median(s for s, _ in runs)
        peak = max(p for _, p in runs)
        med[tool] = secs
        print(f"  {tool:10} {size / secs / 1e6:8.1f} MB/s  {files / secs:8.0f} files/s   "
              f"median {secs:7.3f} s (spread {min(s for s, _ in runs):.3f}-{max(s for s, _ in runs):.3f})   "
              f"peak RSS {peak / 1024:6.1f} MiB")
    for n in ("1", "4"):
        print(f"  tarnftp / lftp at {n} session{'s' if n != '1' else ''}: "
              f"{med['lftp-' + n] / med['tarnftp-' + n]:.2f}")
    if "window-1" in med:
        print(f"  window / tarnftp at 1 session: {med['tarnftp-1'] / med['window-1']:.2f}")


def window_down(window, remote, work):
    """The window fetches the remote "tree" into an empty local folder."""
    folder = os.path.join(work, "window-down")
    os.makedirs(folder)
    try:
        result = window(folder).run("down", "tree")
        if not same_tree(remote, os.path.join(folder, "tree")):
            raise RuntimeError("window folder download: trees differ")
        return result
    finally:
        shutil.rmtree(folder)


def window_up(window, server, local, work):
    """The window sends the local tree as "tree-up" (its folder's name)."""
    folder = os.path.join(work, "window-up")
    os.makedirs(folder)
    source = os.path.join(folder, "tree-up")
    os.rename(local, source)
    try:
        result = window(folder).run("up", "tree-up")
        if not same_tree(source, server.file("tree-up")):
            raise RuntimeError("window folder upload: trees differ")
        return result
    finally:
        os.rename(source, local)
        shutil.rmtree(folder)
        shutil.rmtree(server.file("tree-up"), ignore_errors=True)


def bench_trees(tarnftp, server, work, runs, timed, folder_window=None):
    """timed(argv, cwd) -> (seconds, peak KiB), raising on failure;
    folder_window(server, folder) -> a window showing `folder` whose
    run(verb, name) gives (seconds, peak KiB), or None for no window rows."""
    tools = TREE_TOOLS + (["window-1"] if folder_window else [])
    windows = []

    def window(folder):
        windows.append(folder_window(server, folder))
        return windows[-1]

    for name, make in (("10,000 files of 4 KiB in 100 folders", make_small_tree),
                       ("1 GiB in 16 files", make_large_tree)):
        remote = server.file("tree")
        files, size = make(remote)
        subprocess.run(["/bin/chown", "-R", f"{server.user}:{server.user}", remote], check=True)
        local = os.path.join(work, "tree-local")
        shutil.copytree(remote, local)
        down = {t: [] for t in tools}
        up = {t: [] for t in tools}
        try:
            for i in range(runs):
                order = tools[i % len(tools):] + tools[:i % len(tools)]
                for tool in order:
                    if tool == "window-1":
                        down[tool].append(window_down(window, remote, work))
                        continue
                    out = os.path.join(work, "tree-out")
                    down[tool].append(timed(mirror_argv(tool, tarnftp, server, "tree", out, False), work))
                    if not same_tree(remote, out):
                        raise RuntimeError(f"{tool} mirror down ({name}): trees differ")
                    shutil.rmtree(out)
                for tool in order:
                    if tool == "window-1":
                        up[tool].append(window_up(window, server, local, work))
                        continue
                    target = server.file("tree-up")
                    up[tool].append(timed(mirror_argv(tool, tarnftp, server, local, "tree-up", True), work))
                    if not same_tree(local, target):
                        raise RuntimeError(f"{tool} mirror up ({name}): trees differ")
                    shutil.rmtree(target)
        finally:
            shutil.rmtree(remote, ignore_errors=True)
            shutil.rmtree(local, ignore_errors=True)
            for w in windows:
                w.close()
            windows.clear()
        report_trees(f"mirror down, {name} (passive)", down, files, size)
        report_trees(f"mirror up, {name} (passive)", up, files, size)
