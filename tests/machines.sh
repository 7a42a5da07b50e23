#!/bin/bash
# scandec-parallel over ssh as the README runs it, to two hosts that are
# users of this machine, each behind an sshd of the test's own on
# 127.0.0.1, that can't read the text and have no scandec of their own:
# the program they run is the one parallel sends.  The lines must be
# scandec's; and a host down from the start, one that dies or hangs in
# the middle of a part, one without rsync, a part that exits 255 and one
# killed mid-line must each fail the run, with the shell's pipefail off
# and on: a status other than 0 and a last line other than "EOF found".
# Usage: machines.sh BUILD SRC
set -euo pipefail
build=$(realpath "$1") src=$(realpath "$2")
[[ $(id -u) == 0 ]] ||
  { echo "machines: skipped: the hosts are users, which only root can make" >&2; exit 77; }
for need in /usr/sbin/sshd:openssh-server ssh:openssh-client ssh-keygen:openssh-client \
  rsync:rsync parallel:parallel useradd:passwd; do
  command -v "${need%%:*}" >/dev/null ||
    { echo "machines: ${need%%:*} is missing: apt-get install ${need#*:}" >&2; exit 1; }
done

# The hosts' users are this run's own, named by its pid, so that runs at
# the same time keep apart; those of runs that were killed go first.
drop() {
  local pids
  pids=$(ps -o pid= -u "$1" || true)
  [[ -z $pids ]] || kill -KILL $pids 2>/dev/null || true
  userdel -f -r "$1" >/dev/null 2>&1 || true
  ! getent passwd "$1" >/dev/null || { echo "machines: cannot remove user $1" >&2; return 1; }
}
for u in $(getent passwd | awk -F: '$1 ~ /^scandec-h[12]-[0-9]+$/ { print $1 }'); do
  kill -0 "${u##*-}" 2>/dev/null || drop "$u"
done

tmp=$(mktemp -d)
declare -A user pid port
cleanup() {
  local h
  for h in "${!pid[@]}"; do stop "$h"; done
  [[ -z ${down:-} ]] || kill "$down" 2>/dev/null || true
  for h in "${!user[@]}"; do drop "${user[$h]}" || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
# The hosts may pass through $tmp and write in ctl, where the stand-in
# program says it is waiting; the text is in a folder only root reads.
chmod 711 "$tmp"
mkdir -m 700 "$tmp/ssh" "$tmp/home" "$tmp/in"
mkdir -m 755 "$tmp/auth" "$tmp/fake" "$tmp/norsync"
mkdir -m 1777 "$tmp/ctl"
ctl=$tmp/ctl
ssh-keygen -q -t ed25519 -N '' -f "$tmp/ssh/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$tmp/ssh/client_key"
cp "$tmp/ssh/client_key.pub" "$tmp/auth/keys"
chmod 644 "$tmp/auth/keys"
echo "scandec-test $(cat "$tmp/ssh/host_key.pub")" >"$tmp/ssh/known_hosts"
# A host without rsync: the system's programs but that one.
ln -s /usr/bin/* "$tmp/norsync/"
rm "$tmp/norsync/rsync"
for h in host1 host2; do
  user[$h]=scandec-${h/ost/}-$$
  useradd -m -s /bin/sh -p '*' "${user[$h]}"
done
# sshd's own privilege separation folder, which its service makes.
mkdir -p -m 755 /run/sshd

# A host that is down: its port is bound, so no one else takes it, but
# nothing listens.
perl -MIO::Socket::INET -e '$s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", Proto => "tcp")
  or die "machines: no port: $!\n"; print $s->sockport, "\n"; close STDOUT; sleep' >"$tmp/down" &
down=$!
freeport() {
  perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(LocalAddr => "127.0.0.1", Proto => "tcp")->sockport'
}

# Each host is an sshd of its own, on a free port (tried again if taken
# meanwhile), that lives no longer than ctest lets the test run.
start() {
  local h=$1 try
  shift
  for _ in 1 2 3 4 5; do
    port[$h]=$(freeport)
    rm -f "$tmp/ssh/$h.pid"
    printf '%s\n' "ListenAddress 127.0.0.1" "Port ${port[$h]}" "HostKey $tmp/ssh/host_key" \
      "PidFile $tmp/ssh/$h.pid" "AuthorizedKeysFile $tmp/auth/keys" "AllowUsers ${user[$h]}" \
      "StrictModes no" "UsePAM no" "PasswordAuthentication no" "KbdInteractiveAuthentication no" \
      "PrintMotd no" "$@" >"$tmp/ssh/$h.conf"
    timeout 300 /usr/sbin/sshd -D -e -f "$tmp/ssh/$h.conf" 2>>"$tmp/ssh/$h.log" &
    local waiter=$!
    disown $waiter
    for _ in $(seq 100); do
      [[ ! -s $tmp/ssh/$h.pid ]] || { pid[$h]=$(cat "$tmp/ssh/$h.pid"); config; return; }
      kill -0 $waiter 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "machines: sshd for $h did not start:" >&2
  cat "$tmp/ssh/$h.log" >&2
  return 1
}
# The host's every process: its sshd and all that descends from it.
tree() {
  ps -e -o pid=,ppid= | awk -v root="$1" '{ kids[$2] = kids[$2] " " $1 }
    END { q = root; while (q != "") { n = split(q, a, " "); q = ""
      for (i = 1; i <= n; i++) { print a[i]; q = q " " kids[a[i]] } } }'
}
stop() {
  kill -KILL $(tree "${pid[$1]}") 2>/dev/null || true
  unset "pid[$1]"
}
config() {
  {
    for h in "${!port[@]}"; do printf 'Host %s\n  Port %s\n  User %s\n' "$h" "${port[$h]}" "${user[$h]}"; done
    printf 'Host down\n  Port %s\n' "$(cat "$tmp/down")"
    printf '%s\n' "Host *" "  HostName 127.0.0.1" "  HostKeyAlias scandec-test" \
      "  IdentityFile $tmp/ssh/client_key" "  IdentitiesOnly yes" "  BatchMode yes" \
      "  UserKnownHostsFile $tmp/ssh/known_hosts" "  StrictHostKeyChecking yes" "  LogLevel ERROR" \
      "  KexAlgorithms curve25519-sha256"
  } >"$tmp/ssh/config"
}
# (The key exchange is ssh's default but for its post-quantum half, which
# makes each login twice as long here and is not what is tested.)
for _ in $(seq 100); do [[ ! -s $tmp/down ]] || break; sleep 0.05; done
start host1
start host2

# The text of the parallel test, and five files of it.
awk -f "$src/tests/text.awk" >"$tmp/in/big"
cat "$src/examples/sample.c" >>"$tmp/in/big"
"$build/scandec" "$tmp/in/big" >"$tmp/want.big"
split -n 5 --additional-suffix=.c "$tmp/in/big" "$tmp/in/"
for f in "$tmp"/in/*.c; do "$build/scandec" "$f"; done >"$tmp/want.files"

# The README's command, with parts small enough for every host to get
# some: about one for each of the six job slots.
cmd=$(sed -n 's/^    \(scandec-parallel .*-S :,host1,host2 ::: big\)$/\1/p' "$src/README.md")
[[ -n $cmd ]] || { echo "machines: README.md has no scandec-parallel command for host1 and host2" >&2; exit 1; }
cmd=${cmd/--block 64M/--block 256k}
files=${cmd%%::: big}'::: *.c'

# Runs COMMAND in the text's folder with pipefail off, then on, with
# scandec-parallel and the program from BIN; once a part on host2 waits,
# FAULT (if not -) does what happens to the host.  WANT is the lines it
# must give, or "fails".
try() {
  local name=$1 bin=$2 want=$3 fault=$4 cmd=$5 pf run t0 secs status last
  for pf in +o -o; do
    rm -f "$ctl"/* "$tmp/jl"
    t0=$EPOCHREALTIME
    (cd "$tmp/in" && HOME=$tmp/home PATH=$bin:$PATH PARALLEL_SSH="ssh -F $tmp/ssh/config" \
      PARALLEL="--joblog $tmp/jl" exec timeout 90 bash -c "set $pf pipefail; $cmd") \
      >"$tmp/out" 2>"$tmp/err" &
    run=$!
    if [[ $fault != - ]]; then
      for _ in $(seq 300); do [[ -z $(ls "$ctl") ]] || break; sleep 0.1; done
      [[ -n $(ls "$ctl") ]] || { echo "machines: $name: no part waited on host2" >&2; exit 1; }
      $fault
    fi
    status=0
    wait $run || status=$?
    secs=$(echo "$t0 $EPOCHREALTIME" | awk '{ printf "%.1f", $2 - $1 }')
    last=$(tail -n 1 "$tmp/out")
    # The host is whole again for the next run.
    [[ $fault == - ]] || { stop host2; start host2; }
    echo "machines: $name, pipefail $([[ $pf == -o ]] && echo on || echo off):" \
      "status $status, $(wc -l <"$tmp/out") lines, $secs s"
    if [[ $want == fails ]]; then
      [[ $status != 0 && $last != "EOF found" ]] ||
        { echo "machines: $name: a lost part went unseen (status $status, last line '$last')" >&2; cat "$tmp/err" >&2; exit 1; }
      # A hung host must fail the run within the time ssh is given.
      awk -v s="$secs" 'BEGIN { exit !(s < 30) }' ||
        { echo "machines: $name: took $secs s" >&2; exit 1; }
    else
      [[ $status == 0 ]] && cmp "$tmp/$want" "$tmp/out" ||
        { echo "machines: $name: lines differ from scandec's (status $status)" >&2; cat "$tmp/err" >&2; exit 1; }
      # Every host took parts, and none is left with a file of the run.
      [[ $(awk -F '\t' 'NR > 1 { print $2 }' "$tmp/jl" | sort -u | tr '\n' ' ') == ": host1 host2 " ]] ||
        { echo "machines: $name: not every host took parts" >&2; cat "$tmp/jl" >&2; exit 1; }
      [[ -z $(find "/home/${user[host1]}" "/home/${user[host2]}" -mindepth 1 -cnewer "$tmp/want.big") ]] ||
        { echo "machines: $name: files left on the hosts" >&2; exit 1; }
    fi
  done
}

# A stand-in for scandec, beside a copy of scandec-parallel: each part
# gives a line and its "EOF found", but a part on host2 does FAULT first.
fake() {
  mkdir -p "$tmp/fake/$1"
  cp "$build/scandec-parallel" "$tmp/fake/$1/"
  printf '#!/bin/sh\n[ $# -eq 0 ] || exec <"$1"\ncat >/dev/null\necho identifier\n%s\necho "EOF found"\n' \
    "[ \"\$(id -un)\" != ${user[host2]} ] || { $2; }" >"$tmp/fake/$1/scandec"
  chmod 755 "$tmp/fake/$1/scandec"
  echo "$tmp/fake/$1"
}
wait_on_host2="touch $ctl/\$\$; i=0; while [ \$i -lt 300 ]; do sleep 0.1; i=\$((i + 1)); done"
# (A process may end between the listing and the signal.)
dies() { kill -KILL $(tree "${pid[host2]}") 2>/dev/null || true; }
hangs() { kill -STOP $(tree "${pid[host2]}") 2>/dev/null || true; }
no_rsync() { stop host2; start host2 "SetEnv PATH=$tmp/norsync"; }

try "one text split" "$build" want.big - "$cmd"
try "many files" "$build" want.files - "$files"
try "a host down from the start" "$build" fails - "${cmd/host2/down}"
try "a host down, many files" "$build" fails - "${files/host2/down}"
try "a host that dies mid-part" "$(fake waits "$wait_on_host2")" fails dies "$cmd"
try "a part that exits 255" "$(fake exits 'exit 255')" fails - "$cmd"
try "a part killed mid-line" "$(fake killed 'printf identi; kill -9 $$')" fails - "$cmd"
no_rsync
try "a host without rsync" "$build" fails - "$cmd"
stop host2
start host2
try "a host that hangs mid-part" "$(fake waits "$wait_on_host2")" fails hangs "$cmd"
