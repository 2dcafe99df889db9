#!/usr/bin/env bash
# Runs a Wine test where 32-bit Windows programs can start. Wine runs them through its
# 32-bit loader, an i386 Linux program: on a machine whose kernel runs 32-bit programs the
# command runs as it is; on one that runs 64-bit user code only, it runs in a private user
# and mount namespace whose own binfmt_misc hands i386 programs to QEMU's user-mode
# emulator (build/deps/qemu/qemu-i386, which scripts/setup.sh takes out of Debian 13's
# qemu-user). Nothing outside the namespace changes: no system-wide binfmt_misc entry.
#
#   i386.sh COMMAND...   runs COMMAND with BROSK_I386=native or emulated in its environment;
#                        exits 77 (CTest's "skipped") and says why when 32-bit programs
#                        cannot start here, 1 when a way that should work fails
#   i386.sh --how        prints how 32-bit programs start here, or why they cannot
#   i386.sh --machine    prints what the machine offers, whatever is installed: native,
#                        emulable (a private binfmt_misc) or "none: REASON"
#
# Under emulation the x87 differs from a real CPU's in one way the tests meet: QEMU rounds
# doubles to the precision control's width as it loads and stores them (a real CPU rounds
# only arithmetic results). What a test host passes under a reduced precision may
# then differ from what it would pass on Windows; docs/host-process.md says what that means
# for the tests.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
qemu=${BROSK_QEMU_I386:-$root/build/deps/qemu/qemu-i386}
loader=/usr/lib/wine/wine
binfmt=/proc/sys/fs/binfmt_misc
# i386 ELF programs, executables and position-independent ones alike; F: the emulator is
# opened when registered, so it is found from any mount namespace or root.
entry=':brosk-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'

# Whether the kernel starts a 32-bit program: the smallest i386 program, exit(0), run.
startsNatively() {
  local probe status
  probe=$(mktemp) || return 1
  # ELF header, one loadable segment at 0x08048000, then mov eax,1; xor ebx,ebx; int 0x80.
  {
    printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0'
    printf '\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0'
    printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x5d\0\0\0\x5d\0\0\0\x05\0\0\0\0\x10\0\0'
    printf '\xb8\x01\0\0\0\x31\xdb\xcd\x80'
  } > "$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" = 0 ]
}
# Whether a user namespace can have a binfmt_misc of its own (Linux 6.7 and later).
privateBinfmt() {
  unshare --user --map-root-user --mount --fork sh -c "mount -t binfmt_misc binfmt_misc $binfmt" 2>/dev/null
}
machine() {
  if startsNatively; then echo native
  elif privateBinfmt; then echo emulable
  else echo "none: this machine runs no 32-bit programs and gives no private binfmt_misc (a user namespace with a mount of its own, Linux 6.7 or later) to emulate them in"
  fi
}
# The way 32-bit programs start here: "native", "emulated", or "none: REASON".
way() {
  local offer
  offer=$(machine)
  if [ "${offer%%:*}" = none ]; then echo "$offer"
  elif [ ! -x "$loader" ]; then
    echo "none: Wine's 32-bit loader is not installed (wine32:i386; scripts/setup.sh all says why it could not)"
  elif [ "$offer" = native ]; then echo native
  elif [ ! -x "$qemu" ]; then
    echo "none: this machine runs no 32-bit programs and the emulator $qemu is missing (scripts/setup.sh all fetches it)"
  else echo emulated
  fi
}

[ "${1:-}" = --machine ] && { machine; exit 0; }
how=$(way)
if [ "${1:-}" = --how ]; then
  case $how in
    native) echo "32-bit programs start natively" ;;
    emulated) echo "32-bit programs start under $("$qemu" --version | head -1) in a private namespace" ;;
    *) echo "32-bit programs cannot start here: ${how#none: }" ;;
  esac
  exit 0
fi
case $how in
  native) BROSK_I386=native exec "$@" ;;
  emulated) ;;
  *) echo "skipped: ${how#none: }"; exit 77 ;;
esac

# In the namespace: our own binfmt_misc, the emulator registered there, a check that Wine's
# 32-bit loader now starts, then the command.
BROSK_I386=emulated exec unshare --user --map-root-user --mount --fork bash -c '
  binfmt=$1 loader=$2 entry=$3; shift 3
  mount -t binfmt_misc binfmt_misc "$binfmt" || exit 1
  printf "%s" "$entry" > "$binfmt/register" || { echo "FAIL the emulator cannot be registered"; exit 1; }
  version=$("$loader" --version 2>&1) || { echo "FAIL Wine'"'"'s 32-bit loader does not start under the emulator: $version"; exit 1; }
  exec "$@"' i386 "$binfmt" "$loader" "$entry$qemu:F" "$@"
