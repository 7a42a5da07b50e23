# Sourced by bash, as root: hosts that are users of this machine, each
# behind an sshd of its own on a free port of 127.0.0.1 that lives no
# longer than LIFE seconds (default 300), and a client user whose
# ~/.ssh/config names them host1 and host2, as a user's would.  The users
# are this run's own, named by its pid, so that runs at the same time keep
# apart; those of runs that were killed go first.  Gives: $tmp (removed at
# exit), $client and its $home, user[H], start H [sshd_config line...],
# stop H, hosts_cleanup, which the caller's EXIT trap must call, and
# block KEY, the README's command for them (under $src).
# (`hosts` exits 77, not run, when it cannot make hosts here.)

hosts() {
  [[ $(id -u) == 0 ]] ||
    { echo "$me: skipped: the hosts are users, which only root can make" >&2; exit 77; }
  [[ -x /usr/sbin/sshd ]] ||
    { echo "$me: skipped: no sshd here (apt-get install openssh-server)" >&2; exit 77; }
  local need
  for need in ssh:openssh-client ssh-keygen:openssh-client rsync:rsync parallel:parallel \
    useradd:passwd runuser:util-linux; do
    command -v "${need%%:*}" >/dev/null ||
      { echo "$me: ${need%%:*} is missing: apt-get install ${need#*:}" >&2; exit 1; }
  done
  local u
  for u in $(getent passwd | awk -F: '$1 ~ /^scandec-(c|h[12])-[0-9]+$/ { print $1 }'); do
    kill -0 "${u##*-}" 2>/dev/null || drop "$u"
  done
  tmp=$(mktemp -d)
  chmod 755 "$tmp"
  mkdir -m 711 "$tmp/ssh"
  ssh-keygen -q -t ed25519 -N '' -f "$tmp/ssh/host_key"
  client=scandec-c-$$
  for u in c h1 h2; do useradd -m -s /bin/sh -p '*' "scandec-$u-$$"; done
  user=([host1]=scandec-h1-$$ [host2]=scandec-h2-$$)
  home=$(getent passwd "$client" | cut -d: -f6)
  runuser -u "$client" -- sh -c 'mkdir -m 700 ~/.ssh && ssh-keygen -q -t ed25519 -N "" -f ~/.ssh/id_ed25519'
  cp "$home/.ssh/id_ed25519.pub" "$tmp/ssh/keys"
  chmod 644 "$tmp/ssh/keys"
  echo "scandec-test $(cat "$tmp/ssh/host_key.pub")" >"$home/.ssh/known_hosts"
  # sshd's own privilege separation folder, which its service makes.
  mkdir -p -m 755 /run/sshd
}
declare -A user pid port

freeport() {
  perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(LocalAddr => "127.0.0.1", Proto => "tcp")->sockport'
}
start() {
  local h=$1 waiter
  shift
  for _ in 1 2 3 4 5; do
    port[$h]=$(freeport)
    rm -f "$tmp/ssh/$h.pid"
    printf '%s\n' "ListenAddress 127.0.0.1" "Port ${port[$h]}" "HostKey $tmp/ssh/host_key" \
      "PidFile $tmp/ssh/$h.pid" "AuthorizedKeysFile $tmp/ssh/keys" "AllowUsers ${user[$h]}" \
      "StrictModes no" "UsePAM no" "PasswordAuthentication no" "KbdInteractiveAuthentication no" \
      "PrintMotd no" "$@" >"$tmp/ssh/$h.conf"
    timeout "${LIFE:-300}" /usr/sbin/sshd -D -e -f "$tmp/ssh/$h.conf" 2>>"$tmp/ssh/$h.log" &
    waiter=$!
    disown $waiter
    for _ in $(seq 100); do
      [[ ! -s $tmp/ssh/$h.pid ]] || { pid[$h]=$(cat "$tmp/ssh/$h.pid"); config; return; }
      kill -0 $waiter 2>/dev/null || break
      sleep 0.05
    done
  done
  echo "$me: sshd for $h did not start:" >&2
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
  [[ -z ${pid[$1]:-} ]] || kill -KILL $(tree "${pid[$1]}") 2>/dev/null || true
  unset "pid[$1]"
  config
}
# A host that is stopped keeps its port in the config: nothing listens there.
# (The key exchange is ssh's default but for its post-quantum half, which
# makes each login twice as long here and is not what is measured.)
config() {
  local h
  [[ -n ${home:-} ]] || return 0
  {
    for h in "${!port[@]}"; do printf 'Host %s\n  Port %s\n  User %s\n' "$h" "${port[$h]}" "${user[$h]}"; done
    printf '%s\n' "Host *" "  HostName 127.0.0.1" "  HostKeyAlias scandec-test" \
      "  IdentitiesOnly yes" "  StrictHostKeyChecking yes" "  LogLevel ERROR" \
      "  KexAlgorithms curve25519-sha256"
  } >"$home/.ssh/config"
  chown "$client" "$home/.ssh/config"
}
drop() {
  local pids
  pids=$(ps -o pid= -u "$1" || true)
  [[ -z $pids ]] || kill -KILL $pids 2>/dev/null || true
  userdel -f -r "$1" >/dev/null 2>&1 || true
  ! getent passwd "$1" >/dev/null || { echo "$me: cannot remove user $1" >&2; return 1; }
}
hosts_cleanup() {
  local h u
  for h in "${!pid[@]}"; do stop "$h"; done
  for u in "$client" "${user[@]}"; do [[ -z $u ]] || drop "$u" || true; done
  [[ -z ${tmp:-} ]] || rm -rf "$tmp"
}

# The README's command under the line that holds KEY: the indented lines
# that follow it.
block() {
  awk -v k="$1" 'index($0, k) && !f { f = 1; next }
    f && /^    / { sub(/^    /, ""); print; g = 1; next } g { exit }' "$src/README.md"
}
