# Sourced by scripts/test and scripts/check-i386: makes 32-bit x86 programs runnable on this
# machine, the same way for every one of them (test programs, the programs they start and the
# children of those).
#
#   i386_start    sets I386_WAY to "native" or "under qemu-i386" and prints
#                 "32-bit suite: $I386_WAY"; fails with the reason when neither way works
#   i386_stop     removes what i386_start registered (call it from an EXIT trap)
#
# Some kernels run 32-bit x86 programs and some do not. Where they do not, qemu-i386 (Debian's
# qemu-user) is registered for them in binfmt_misc, so that the kernel starts every 32-bit
# program under the emulator, children included: an emulator named only on the test command
# lines would miss the programs the tests start. TERN_I386_EMULATE=1 takes the emulated way
# even where the kernel could run them (a binfmt_misc entry comes before the kernel's own ELF
# loader).

I386_WAY=
i386_entry=/proc/sys/fs/binfmt_misc/tern-i386
i386_registered=
i386_dir=

i386_fail() {
  echo "32-bit suite: $*" >&2
  exit 1
}

# Runs a command as root: directly, or through sudo.
i386_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo -n "$@"
  else
    return 1
  fi
}

# Whether an enabled binfmt_misc entry other than ours claims 32-bit x86 programs.
i386_foreign_entry() {
  local f
  for f in /proc/sys/fs/binfmt_misc/*; do
    case $(basename "$f") in register | status | tern-i386) continue ;; esac
    [ -r "$f" ] || continue
    # The magic of a 32-bit ELF file ("7f454c46" "01") for machine 3 ("0300").
    if grep -qx enabled "$f" && grep -qE '^magic 7f454c4601[0-9a-f]*0300$' "$f"; then
      return 0
    fi
  done 2>/dev/null
  return 1
}

i386_start() {
  i386_dir=$(mktemp -d)
  local probe=$i386_dir/probe
  echo 'int main(void) { return 42; }' >"$i386_dir/probe.c"
  gcc -m32 -o "$probe" "$i386_dir/probe.c" 2>"$i386_dir/gcc.err" ||
    i386_fail "cannot build a 32-bit program: $(head -n 3 "$i386_dir/gcc.err")"
  local rc=0
  if [ "${TERN_I386_EMULATE:-0}" != 1 ]; then
    "$probe" 2>/dev/null || rc=$?
    if [ "$rc" -eq 42 ]; then
      if [ -e "$i386_entry" ] || i386_foreign_entry; then
        I386_WAY="under qemu-i386"
      else
        I386_WAY=native
      fi
      echo "32-bit suite: $I386_WAY"
      return 0
    fi
  fi

  local qemu
  qemu=$(command -v qemu-i386) ||
    i386_fail "this kernel cannot run 32-bit x86 programs and qemu-i386 is missing (scripts/setup installs qemu-user)"
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    i386_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>"$i386_dir/mount.err" ||
      i386_fail "cannot mount binfmt_misc to run 32-bit x86 programs under qemu-i386 (needs root): $(cat "$i386_dir/mount.err")"
  fi
  if [ ! -e "$i386_entry" ]; then
    # ELF, 32-bit, little-endian, executable or shared object (PIE), machine 3 (i386). F: the
    # kernel opens the emulator now, so it works in any mount namespace later.
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':tern-i386:M::%s:%s:%s:F' "$magic" "$mask" "$qemu" |
      i386_root tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>"$i386_dir/register.err" ||
      i386_fail "cannot register qemu-i386 for 32-bit x86 programs in binfmt_misc (needs root): $(cat "$i386_dir/register.err")"
    i386_registered=1
  fi
  rc=0
  "$probe" 2>"$i386_dir/probe.err" || rc=$?
  [ "$rc" -eq 42 ] ||
    i386_fail "a 32-bit program does not run under qemu-i386 (exit $rc): $(head -n 3 "$i386_dir/probe.err")"
  I386_WAY="under qemu-i386"
  echo "32-bit suite: $I386_WAY"
}

i386_stop() {
  if [ -n "$i386_registered" ] && [ -e "$i386_entry" ]; then
    echo -1 | i386_root tee "$i386_entry" >/dev/null 2>&1 || true
  fi
  i386_registered=
  if [ -n "$i386_dir" ]; then rm -rf "$i386_dir"; fi
  i386_dir=
}
