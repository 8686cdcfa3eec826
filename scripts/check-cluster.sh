#!/usr/bin/env bash
# Runs the README's cluster recipes, as they stand there, on this one machine:
# GNU parallel over two ssh names that reach a private sshd here, and a Slurm
# array job on a one-node cluster of its own (slurmctld, slurmd and munged on
# private ports, socket and files). Each recipe exports 20 generated WAVs
# through x42 dpl into a folder of its own; every output must be there
# exactly once and equal, byte for byte, what one `tolvex-cli export` of the
# same files makes.
#
#   sudo scripts/check-cluster.sh [--keep]
#
#   --keep   leave the temporary folder (files, configurations, logs)
#
# The recipes are the README's fenced blocks after the comments
# "<!-- check-cluster: parallel -->", "... slurm-script -->" and
# "... slurm-submit -->", so the README and this check cannot drift apart.
# Installs what is missing (GNU parallel, openssh-server, Slurm, munge)
# without starting their system services, uses build/cli/tolvex-cli (built
# when missing) and x42-plugins, and starts every daemon directly, without
# systemd. Everything it started is stopped on every exit.
set -euo pipefail

keep=0
case "${1-}" in
  --keep) keep=1 ;;
  '') ;;
  *) echo "Unknown option: $1" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "Run this as root (it starts sshd and the Slurm daemons)." >&2; exit 1; }

repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
readme=$repo/README.md
files=20
uri='http://gareus.org/oss/lv2/dpl#stereo'
log() { printf '[%s] %s\n' "$(date +%T)" "$*"; }
fail() { log "FAILED: $*" >&2; exit 1; }

pids=()     # the daemons started, in order
policy=     # a policy-rc.d made for the installation
made_run_sshd=0
tmp=

# Cancels what still runs in the cluster, stops the daemons (newest first),
# then removes what it made.
cleanup() {
  local status=$? i
  set +e
  # Only this check's own cluster, never one the caller's SLURM_CONF names.
  if [ -n "$tmp" ] && [ "${SLURM_CONF-}" = "$tmp/slurm/slurm.conf" ]; then
    timeout 10 scancel --quiet --user="$(id -un)" 2>/dev/null
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    timeout 20 tail --pid="${pids[i]}" -f /dev/null 2>/dev/null || kill -9 "${pids[i]}" 2>/dev/null
  done
  [ -z "$policy" ] || rm -f "$policy"
  [ "$made_run_sshd" -eq 0 ] || rmdir /run/sshd 2>/dev/null
  if [ -n "$tmp" ]; then
    if [ "$keep" -eq 1 ]; then log "Kept $tmp"; else rm -rf "$tmp"; fi
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# --- what it needs ------------------------------------------------------------

needed=(parallel openssh-server openssh-client slurmctld slurmd slurm-client munge ffmpeg x42-plugins)
missing=()
for package in "${needed[@]}"; do
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)" = installed ] ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "Installing ${missing[*]}"
  # Keeps the packages' services from starting: this check starts its own.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    policy=/usr/sbin/policy-rc.d
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
  fi
  status=0
  { apt-get update -q && DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -q --no-install-recommends "${missing[@]}"; } >/dev/null || status=$?
  rm -f "$policy"
  policy=
  [ "$status" -eq 0 ] || fail "apt-get could not install ${missing[*]}"
fi

cli=$repo/build/cli/tolvex-cli
if [ ! -x "$cli" ]; then
  log "Building tolvex-cli"
  (cd "$repo" && { [ -f build/build.ninja ] || cmake --preset default >/dev/null; } &&
    cmake --build build --target tolvex-cli >/dev/null)
fi

# --- the stage: files, chain, reference -----------------------------------------

tmp=$(mktemp -d /tmp/tolvex-check-cluster.XXXXXX)
# munged wants its socket's folders searchable by all.
chmod 755 "$tmp"

mkdir -p "$tmp"/{inputs/Band\ 1,inputs/Band\ 2,reference,bin,ssh,munge,slurm/state,slurm/spool}
log "Making $files WAVs in $tmp/inputs"
for ((n = 1; n <= files; n++)); do
  folder="Band $(((n - 1) % 2 + 1))"
  name=$(printf 'Aufnahme %02d – Stück' "$n")
  ffmpeg -v error -f lavfi -i "sine=frequency=$((100 + 37 * n)):duration=1.5,volume=$((n % 5 + 2))" \
    -ac 2 -ar 44100 -c:a pcm_s16le "$tmp/inputs/$folder/$name.wav"
done
"$repo/scripts/chain-file.sh" "$uri" >"$tmp/chain.json"
ln -s "$cli" "$tmp/bin/tolvex-cli"
export PATH="$tmp/bin:$PATH"

log "Reference: one tolvex-cli export of all files"
mapfile -d '' sources < <(find "$tmp/inputs" -type f -name '*.wav' -print0 | sort -z)
tolvex-cli export --chain "$tmp/chain.json" --format wav24 --suffix '' \
  --output-dir "$tmp/reference" --jobs 2 "${sources[@]}" >"$tmp/reference.log" ||
  { cat "$tmp/reference.log"; fail "the reference export"; }

# The README's block after the marker comment NAME.
recipe() {
  awk -v marker="<!-- check-cluster: $1 -->" '
    $0 == marker { found = 1; next }
    found == 1 && /^```/ { found = 2; next }
    found == 2 && /^```/ { exit }
    found == 2 { print }' "$readme"
}

# OUTDIR holds exactly the reference's files, each equal to its reference.
compare() {
  local folder=$1 name
  diff <(cd "$tmp/reference" && ls -A | sort) <(cd "$folder" && ls -A | sort) >&2 ||
    fail "$folder does not hold exactly the reference's files"
  while IFS= read -r -d '' name; do
    cmp -s "$tmp/reference/$name" "$folder/$name" || fail "$folder/$name differs from the reference"
  done < <(cd "$tmp/reference" && find . -type f -printf '%P\0')
  log "$folder: $(ls -A "$folder" | wc -l) files, each once, each equal to the reference"
}

# A TCP port nothing listens on (from the kernel's tables; no tools needed).
listening() { awk 'NR > 1 && $4 == "0A" { split($2, a, ":"); print strtonum("0x" a[2]) }' /proc/net/tcp /proc/net/tcp6 2>/dev/null; }
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 20000))
    listening | grep -qx "$port" || { echo "$port"; return; }
  done
}

# Each recipe runs in a folder of its own with the README's settings filled
# in, under a time limit: a hanging daemon fails the check, not CI.

# --- GNU parallel over ssh ---------------------------------------------------------

user=$(id -un)
ssh_port=$(free_port)
ssh-keygen -q -t ed25519 -N '' -f "$tmp/ssh/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$tmp/ssh/client_key"
cp "$tmp/ssh/client_key.pub" "$tmp/ssh/authorized_keys"
cat >"$tmp/ssh/sshd_config" <<EOF
Port $ssh_port
ListenAddress 127.0.0.1
HostKey $tmp/ssh/host_key
PidFile $tmp/ssh/sshd.pid
AuthorizedKeysFile $tmp/ssh/authorized_keys
AllowUsers $user
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
SetEnv PATH=$PATH
EOF
cat >"$tmp/ssh/ssh_config" <<EOF
Host knoten1 knoten2
  HostName 127.0.0.1
  Port $ssh_port
  User $user
  IdentityFile $tmp/ssh/client_key
  IdentitiesOnly yes
  StrictHostKeyChecking no
  UserKnownHostsFile $tmp/ssh/known_hosts
  BatchMode yes
  LogLevel ERROR
EOF
# sshd wants its privilege separation folder; a machine without a running
# sshd may lack it.
if [ ! -d /run/sshd ]; then
  mkdir -p /run/sshd
  made_run_sshd=1
fi
log "Starting sshd on port $ssh_port"
/usr/sbin/sshd -D -e -f "$tmp/ssh/sshd_config" 2>"$tmp/ssh/sshd.log" &
pids+=($!)
export PARALLEL_SSH="ssh -F $tmp/ssh/ssh_config"
for ((i = 0; i < 100; i++)); do
  $PARALLEL_SSH knoten1 true 2>/dev/null && break
  kill -0 "${pids[-1]}" 2>/dev/null || { cat "$tmp/ssh/sshd.log"; fail "sshd ended"; }
  sleep 0.2
done
[ "$($PARALLEL_SSH knoten2 'command -v tolvex-cli')" = "$tmp/bin/tolvex-cli" ] ||
  { cat "$tmp/ssh/sshd.log"; fail "ssh to knoten2 does not reach tolvex-cli"; }

log "Recipe: GNU parallel over knoten1 and knoten2"
mkdir "$tmp/out-parallel" "$tmp/run-parallel"
recipe parallel >"$tmp/run-parallel/recipe.sh"
[ -s "$tmp/run-parallel/recipe.sh" ] || fail "no parallel recipe in the README"
(cd "$tmp/run-parallel" &&
  hosts=knoten1,knoten2 chain=$tmp/chain.json inputs=$tmp/inputs out=$tmp/out-parallel \
    timeout 180 bash -euo pipefail -c "$(cat recipe.sh)") >"$tmp/run-parallel/output.log" 2>&1 ||
  { cat "$tmp/run-parallel/output.log"; fail "the parallel recipe"; }
for host in knoten1 knoten2; do
  awk -F'\t' -v host="$host" 'NR > 1 && $2 == host' "$tmp/run-parallel/tolvex-parallel.log" | grep -q . ||
    fail "no batch ran on $host"
done
compare "$tmp/out-parallel"

# --- Slurm array job ----------------------------------------------------------------

node=$(hostname -s)
log "Starting munged on $tmp/munge/munge.sock"
mungekey -c -k "$tmp/munge/munge.key"
munged -F --key-file="$tmp/munge/munge.key" --socket="$tmp/munge/munge.sock" \
  --pid-file="$tmp/munge/munged.pid" --seed-file="$tmp/munge/munged.seed" \
  --log-file="$tmp/munge/munged.log" 2>"$tmp/munge/munged.log" &
pids+=($!)
for ((i = 0; i < 100; i++)); do
  [ -S "$tmp/munge/munge.sock" ] && break
  kill -0 "${pids[-1]}" 2>/dev/null || { cat "$tmp/munge/munged.log"; fail "munged ended"; }
  sleep 0.2
done

controller_port=$(free_port)
node_port=$(free_port)
# One node; its CPUs are taken as written (config_overrides), so that the
# recipe's four CPUs per task fit on any machine.
touch "$tmp/slurm/plugstack.conf"
cat >"$tmp/slurm/slurm.conf" <<EOF
ClusterName=tolvexcheck
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$controller_port
SlurmdPort=$node_port
SlurmUser=$user
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$tmp/munge/munge.sock
StateSaveLocation=$tmp/slurm/state
SlurmdSpoolDir=$tmp/slurm/spool
SlurmctldPidFile=$tmp/slurm/slurmctld.pid
SlurmdPidFile=$tmp/slurm/slurmd.pid
SlurmctldLogFile=$tmp/slurm/slurmctld.log
SlurmdLogFile=$tmp/slurm/slurmd.log
PlugStackConfig=$tmp/slurm/plugstack.conf
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MailProg=/bin/true
SlurmdParameters=config_overrides
NodeName=$node NodeAddr=127.0.0.1 CPUs=8 State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm/slurm.conf
log "Starting slurmctld (port $controller_port) and slurmd (port $node_port)"
slurmctld -D -i -f "$SLURM_CONF" >"$tmp/slurm/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -N "$node" -f "$SLURM_CONF" >"$tmp/slurm/slurmd.out" 2>&1 &
pids+=($!)
for ((i = 0; ; i++)); do
  state=$(sinfo -h -N -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  if [ "$i" -ge 300 ]; then
    tail -n 20 "$tmp/slurm/slurmctld.log" "$tmp/slurm/slurmd.log"
    fail "the Slurm node is not idle after 60 s (state: ${state:-none})"
  fi
  sleep 0.2
done

log "Recipe: Slurm array job"
mkdir "$tmp/out-slurm" "$tmp/run-slurm"
recipe slurm-script >"$tmp/run-slurm/tolvex-slice.sh"
recipe slurm-submit >"$tmp/run-slurm/recipe.sh"
if [ ! -s "$tmp/run-slurm/tolvex-slice.sh" ] || [ ! -s "$tmp/run-slurm/recipe.sh" ]; then
  fail "no Slurm recipe in the README"
fi
(cd "$tmp/run-slurm" &&
  chain=$tmp/chain.json inputs=$tmp/inputs out=$tmp/out-slurm \
    timeout 240 bash -euo pipefail -c "$(cat recipe.sh)") >"$tmp/run-slurm/output.log" 2>&1 ||
  { cat "$tmp/run-slurm/output.log" "$tmp/run-slurm"/tolvex-*.log; fail "the Slurm recipe"; }
tasks=$(find "$tmp/run-slurm" -name 'tolvex-*_*.log' | wc -l)
[ "$tasks" -eq 10 ] || fail "expected reports of 10 array tasks, found $tasks"
compare "$tmp/out-slurm"

log "check-cluster: both README recipes wrote all $files outputs once each, equal to one export"
