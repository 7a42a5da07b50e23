#!/bin/bash
# The README's two commands for text on other machines, run as written by
# a user whose ~/.ssh/config names two hosts, each a user of this machine
# behind an sshd of the test's own on 127.0.0.1, with an app.log of its
# own and no scandec.  Whole, they give the counts of both texts scanned
# as one, and each host's lines in host order; each fault in the table
# must make them exit non-zero with a message, with pipefail off and on.
# Usage: remote.sh BUILD SRC   (ONLY=WORDS runs the cases whose name has them)
set -euo pipefail
me=remote
build=$(realpath "$1") src=$(realpath "$2")
source "$src/tests/hosts.sh"
hosts
trap hosts_cleanup EXIT

block 'each host folding its lines:' >"$tmp/count"
block 'in its own `EOF found`:' >"$tmp/lines"
for form in count lines; do
  grep -q 'hosts=host1,host2' "$tmp/$form" ||
    { echo "remote: README.md has no $form command for host1 and host2" >&2; exit 1; }
done
prog=$(grep -o 'scandec-[0-9.]*-[a-z0-9_]*-linux' "$tmp/count" | head -n 1)
install -o "$client" -m 755 "$build/scandec" "$home/$prog"

# The hosts' texts: one long enough for many reads, on the host named
# first, so that its lines come last unless they are kept in host order;
# and the sample.
h1=$(getent passwd "${user[host1]}" | cut -d: -f6)
h2=$(getent passwd "${user[host2]}" | cut -d: -f6)
for _ in $(seq 400); do cat "$src/examples/sample.c"; done >"$tmp/text1"
cp "$src/examples/sample.c" "$tmp/text2"
mkdir -m 755 "$tmp/norsync"
ln -s /usr/bin/* "$tmp/norsync/"
rm "$tmp/norsync/rsync"
mkdir -m 555 "$tmp/ro"

# Each case starts from whole hosts, without the program that a failed
# run may leave behind.
whole() {
  stop host2
  start host2
  rm -f "$h1/$prog" "$h2/$prog"
  install -o "${user[host1]}" -m 644 "$tmp/text1" "$h1/app.log"
  rm -f "$h2/app.log"
  install -o "${user[host2]}" -m 644 "$tmp/text2" "$h2/app.log"
}
proc() { ln -sf /proc/version "$h2/app.log"; }
down() { stop host2; }
norsync() { stop host2 && start host2 "SetEnv PATH=$tmp/norsync"; }
notmp() { stop host2 && start host2 "SetEnv TMPDIR=$tmp/missing"; }
rotmp() { stop host2 && start host2 "SetEnv TMPDIR=$tmp/ro"; }
nolog() { rm "$h2/app.log"; }
# host2's scan waits on a FIFO until its sshd and all below it are killed.
fifo() { rm "$h2/app.log" && mkfifo -m 644 "$h2/app.log" && chown "${user[host2]}" "$h2/app.log"; }
running() {
  for _ in $(seq 300); do
    ! pgrep -u "${user[host2]}" -f "$prog" >/dev/null || return 0
    sleep 0.1
  done
}
kill2() { running && kill -KILL $(tree "${pid[host2]}") 2>/dev/null || true; }
hang2() { running && kill -STOP $(tree "${pid[host2]}") 2>/dev/null || true; }

# What each form must give when every host is whole.
want() {
  local t2=$tmp/text2
  [[ ! -L $h2/app.log ]] || t2=$(readlink "$h2/app.log")
  cat "$tmp/text1" "$t2" | "$build/scandec" | uniq -c | awk '$2 != "EOF" { n[$2] += $1 }
    END { printf "%d identifier\n%d octal\n%d decimal\n", n["identifier"], n["octal"], n["decimal"] }' \
    >"$tmp/want.count"
  { "$build/scandec" "$tmp/text1" && "$build/scandec" "$t2"; } >"$tmp/want.lines"
}

# name | done to host2 before | while it runs | what the commands give
cases=(
  "whole|-|-|whole"
  "app.log a /proc file of size 0|proc|-|whole"
  "a host down|down|-|fails"
  "a host killed mid-run|fifo|kill2|fails"
  "a host that stops answering mid-run|fifo|hang2|fails"
  "a host without rsync, which cannot get the program|norsync|-|fails"
  "a host whose TMPDIR does not exist|notmp|-|fails"
  "a host whose TMPDIR is read-only|rotmp|-|fails"
  "a host without app.log|nolog|-|fails"
)
start host1
for c in "${cases[@]}"; do
  IFS='|' read -r name before during expect <<<"$c"
  [[ -z ${ONLY:-} || $name == *$ONLY* ]] || continue
  for form in count lines; do
    for pf in off on; do
      whole
      [[ $before == - ]] || $before
      want
      t0=$SECONDS status=0
      flag=+o
      [[ $pf == off ]] || flag=-o
      runuser -u "$client" -- timeout 60 bash -c "cd && set $flag pipefail && . $tmp/$form" \
        >"$tmp/out" 2>"$tmp/err" &
      run=$!
      [[ $during == - ]] || $during
      wait $run || status=$?
      echo "remote: $name: $form, pipefail $pf: status $status, $((SECONDS - t0)) s"
      if [[ $expect == whole ]]; then
        [[ $status == 0 ]] && cmp -s "$tmp/want.$form" "$tmp/out" ||
          { echo "remote: $name: $form: not what scandec gives (status $status)" >&2; cat "$tmp/err" >&2; exit 1; }
        [[ -z $(find "$h1" "$h2" -name "$prog") ]] ||
          { echo "remote: $name: $form: the program was left on a host" >&2; exit 1; }
      else
        [[ $status != 0 && -s $tmp/err ]] ||
          { echo "remote: $name: $form: the fault went unseen (status $status)" >&2; cat "$tmp/out" "$tmp/err" >&2; exit 1; }
        # Within ssh's bounds, not by the test's timeout.
        ((SECONDS - t0 < 30)) || { echo "remote: $name: $form: took $((SECONDS - t0)) s" >&2; exit 1; }
      fi
    done
  done
done
