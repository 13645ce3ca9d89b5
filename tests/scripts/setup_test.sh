#!/usr/bin/env bash
# scripts/run and scripts/setup against recording stand-ins for the package
# manager, the service manager, sudo and the build: what they install, which
# services they touch, that privileged steps go through sudo, and that the
# temporary policy file never outlives them. Nothing outside a scratch folder
# is touched.
#
#   setup_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(cd "${1:?usage: setup_test.sh SOURCE_DIR}" && pwd)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL [$case_name]: $*" >&2; failures=$((failures + 1)); }

# --- Stand-ins. Each records "NAME ARGS... (root|user)" into $CALLS: root
# when running as root (the uid override) or under the sudo stand-in.
bin=$scratch/bin
mkdir -p "$bin"
recorder='echo "$(basename "$0") $* ($([[ ${AS_ROOT:-} == 1 || $TARNWICK_SETUP_TEST_UID == 0 ]] && echo root || echo user))" >>"$CALLS"'
standin() { printf '#!/usr/bin/env bash\n%s\n%s\n' "$recorder" "$2" >"$bin/$1"; chmod +x "$bin/$1"; }

standin sudo 'AS_ROOT=1 exec "$@"'
# Prints the packages listed in $STATE/installed as installed.
standin dpkg-query 'sed "s/$/ install ok installed/" "$STATE/installed"'
# "install" enables every service named in $STATE/apt-enables (with systemd
# running, enables and starts its unit; without, gives it an init script and
# start links), then fails if $STATE/apt-fails exists.
standin apt-get '
[[ $1 == install ]] || exit 0
root=$TARNWICK_SETUP_TEST_ROOT
for s in $(cat "$STATE/apt-enables" 2>/dev/null); do
  if [[ -d $root/run/systemd/system ]]; then
    touch "$root/lib/systemd/system/$s.service"
    echo "$s.service enabled enabled" >>"$STATE/units-enabled"
    echo "$s.service loaded active running" >>"$STATE/units-active"
  else
    touch "$root/etc/init.d/$s"; chmod +x "$root/etc/init.d/$s"
    ln -sf "../init.d/$s" "$root/etc/rc2.d/S01$s"
  fi
done
[[ ! -e $STATE/apt-fails ]]'
# Lists the units in $STATE/units-enabled and $STATE/units-active.
standin systemctl '
case "$1 $2" in
  "list-unit-files --state=enabled") cat "$STATE/units-enabled" 2>/dev/null ;;
  "list-units --type=service,socket") cat "$STATE/units-active" 2>/dev/null ;;
esac
exit 0'
standin service 'exit 0'
# "disable" turns start links into stop links.
standin update-rc.d '
[[ $2 == disable ]] || exit 0
for link in "$TARNWICK_SETUP_TEST_ROOT"/etc/rc[2-5].d/S[0-9][0-9]"$1"; do mv "$link" "${link/\/S/\/K}"; done'
standin invoke-rc.d 'exit 0'
standin cmake 'exit 0'
standin ninja 'echo "[1/2] Building CXX object main.cpp.o"; echo "[2/2] Linking CXX executable tarnwick-ftp"'

# A copy of the scripts in a tree of their own, whose "program" records that
# it was started.
tree=$scratch/tree
mkdir -p "$tree/build/src/app"
cp -r "$source_dir/scripts" "$tree/"
printf '#!/bin/sh\necho "tarnwick-ftp $*" >>"$CALLS"\n' >"$tree/build/src/app/tarnwick-ftp"
chmod +x "$tree/build/src/app/tarnwick-ftp"

list() { sed -e 's/#.*//' "$source_dir/scripts/packages/$1" | awk 'NF { print $1 }'; }
program_packages=$(list program)
test_packages=$(list test)

# Runs COMMAND... as uid UID with fresh state; sets $status.
run_as() {
  local uid=$1
  shift
  export CALLS=$scratch/calls STATE=$scratch/state TARNWICK_SETUP_TEST_ROOT=$scratch/root
  export TARNWICK_SETUP_TEST_UID=$uid PATH=$bin:$PATH
  status=0
  "$@" >"$scratch/output" 2>&1 || status=$?
  PATH=${PATH#"$bin:"}
}

fresh() {
  case_name=$1
  rm -rf "$scratch/calls" "$scratch/state" "$scratch/root"
  mkdir -p "$scratch/state" "$scratch/root/usr/sbin" "$scratch/root/etc/init.d" "$scratch/root/etc/rc2.d" \
    "$scratch/root/lib/systemd/system"
  touch "$scratch/calls" "$scratch/state/installed"
}

policy() { echo "$scratch/root/usr/sbin/policy-rc.d"; }
has() { grep -qE -- "$1" "$scratch/calls"; }
expect() { has "$1" || fail "expected a call matching '$1'"; }
expect_none() { ! has "$1" || fail "unexpected call: $(grep -E -- "$1" "$scratch/calls" | head -1)"; }
# A service was enabled, disabled, started, stopped or restarted.
service_changes='^(systemctl (enable|disable|start|stop|restart|reload|mask)|update-rc\.d|invoke-rc\.d|service [^ ]+ (start|stop|restart|reload|force-reload))'
# A privileged step not under sudo.
unprivileged='^(apt-get|update-rc\.d|invoke-rc\.d|systemctl (enable|disable|start|stop)|service [^ ]+ stop).*\(user\)$'

# 1. scripts/run as an ordinary user with sudo on a machine that already has
# vsftpd enabled at boot: it installs the program's packages through sudo and
# nothing of the tests', touches no service, builds the program alone and
# starts it; the policy file is gone afterwards.
fresh "run as user"
ln -s ../init.d/vsftpd "$scratch/root/etc/rc2.d/S01vsftpd"
run_as 1000 "$tree/scripts/run" --some-option
[[ $status == 0 ]] || fail "scripts/run exited with $status: $(cat "$scratch/output")"
install=$(grep -E '^apt-get install ' "$scratch/calls" || true)
for p in $program_packages; do
  [[ " $install " == *" $p "* ]] || fail "program package $p not installed"
done
for p in $test_packages vsftpd dante-server microsocks openssh-server ftp-proxy clang-14 libfuzzer-14-dev; do
  [[ " $install " != *" $p "* ]] || fail "test package $p installed by scripts/run"
done
expect "^sudo apt-get install "
expect "^sudo tee $(policy)"
expect "^sudo rm -f $(policy)"
expect_none "$service_changes"
expect_none "$unprivileged"
expect_none "^sudo mkdir"
expect "^cmake -S \. -B build .*-DBUILD_TESTING=OFF"
expect "^cmake --build build --target tarnwick-ftp \(user\)$"
expect "^tarnwick-ftp --some-option$"
grep -q "Building tarnwick-ftp (2 steps)" "$scratch/output" || fail "no line before the build"
grep -q "installing $(wc -w <<<"$program_packages") packages" "$scratch/output" || fail "no line before the install"
[[ ! -e $(policy) ]] || fail "policy file left behind"

# 2. The install fails: scripts/run stops there with the error, builds
# nothing, and the policy file is removed all the same.
fresh "failing install"
touch "$scratch/state/apt-fails"
run_as 1000 "$tree/scripts/run"
[[ $status != 0 ]] || fail "a failing install reported success"
expect "^sudo tee $(policy)"
[[ ! -e $(policy) ]] || fail "policy file left behind after a failing install"
expect_none "^(cmake|tarnwick-ftp)"
expect_none "$service_changes"

# 3. A policy file the machine already has is neither replaced nor removed.
fresh "machine's own policy"
echo "the machine's own" >"$(policy)"
run_as 1000 "$tree/scripts/setup" program
expect_none "^sudo (tee|rm)"
grep -q "the machine's own" "$(policy)" || fail "the machine's policy file was changed"

# 4. scripts/setup test as root without systemd: the servers the install
# enables (vsftpd, danted) are disabled at boot and stopped; ssh, enabled
# before, is left alone; no sudo is used; sshd's folder is made.
fresh "test set as root"
ln -s ../init.d/ssh "$scratch/root/etc/rc2.d/S01ssh"
touch "$scratch/root/etc/init.d/ssh"
printf 'vsftpd\ndanted\n' >"$scratch/state/apt-enables"
run_as 0 "$tree/scripts/setup" test
[[ $status == 0 ]] || fail "setup exited with $status: $(cat "$scratch/output")"
install=$(grep -E '^apt-get install ' "$scratch/calls" || true)
for p in $program_packages $test_packages; do
  [[ " $install " == *" $p "* ]] || fail "package $p not installed"
done
expect "^update-rc.d vsftpd disable \(root\)$"
expect "^update-rc.d danted disable \(root\)$"
expect "^service danted stop \(root\)$"
expect "^service vsftpd stop \(root\)$"
[[ $(ls "$scratch/root/etc/rc2.d") == $'K01danted\nK01vsftpd\nS01ssh' ]] ||
  fail "start links now: $(ls "$scratch/root/etc/rc2.d" | tr '\n' ' ')"
! grep -q "could not disable" "$scratch/output" || fail "$(cat "$scratch/output")"
expect_none "^(update-rc.d|systemctl [a-z]+|service) ssh "
expect_none "^sudo"
[[ -d $scratch/root/run/sshd ]] || fail "/run/sshd not made"
[[ ! -e $(policy) ]] || fail "policy file left behind"

# 5. The same as a user under systemd, the install failing after it
# configured vsftpd: the unit it enabled and started is disabled and stopped
# all the same, through sudo; ssh, enabled and running before, is left alone.
fresh "failing install under systemd"
mkdir -p "$scratch/root/run/systemd/system"
echo "ssh.service enabled enabled" >"$scratch/state/units-enabled"
echo "ssh.service loaded active running" >"$scratch/state/units-active"
echo vsftpd >"$scratch/state/apt-enables"
touch "$scratch/state/apt-fails"
run_as 1000 "$tree/scripts/setup" test
[[ $status != 0 ]] || fail "a failing install reported success"
expect "^systemctl disable --quiet vsftpd.service \(root\)$"
expect "^systemctl stop vsftpd \(root\)$"
[[ ! -e $(policy) ]] || fail "policy file left behind"
expect_none "^(sudo )?(systemctl [a-z]+|service) ssh"
expect_none "^(update-rc.d|service)"
expect_none "$unprivileged"

# 6. Everything installed: nothing is installed, no policy file, no service
# touched; only sshd's folder is made, through sudo.
fresh "all installed"
printf '%s\n' $program_packages $test_packages >"$scratch/state/installed"
run_as 1000 "$tree/scripts/setup" test
[[ $status == 0 ]] || fail "setup exited with $status: $(cat "$scratch/output")"
expect_none "^(sudo (apt-get|tee|rm)|apt-get)"
expect_none "$service_changes"
expect "^sudo mkdir -p $scratch/root/run/sshd "

if ((failures)); then
  echo "$failures failures; last calls:" >&2
  cat "$scratch/calls" >&2
  exit 1
fi
echo "setup scripts: all cases pass"
