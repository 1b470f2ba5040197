# Sourced by test.sh and demo.sh: which exe Wine can run on this machine.
# Wine runs the 32-bit exe with a 32-bit loader of its own. Some kernels refuse
# 32-bit programs; under a user-mode emulator they run some thirty times slower,
# far past any time limit. There the 64-bit build of the same sources runs
# instead, through Wine's 64-bit loader alone. TVUNINST_NO_32BIT=1 takes that
# path on any machine.
runs_32bit() {
  [ -z "${TVUNINST_NO_32BIT:-}" ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] &&
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
runs_64bit() {
  [ "$(uname -m)" = x86_64 ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-x86_64 ] &&
    /usr/lib/wine/wine64 --version >/dev/null 2>&1
}
# Why the 32-bit exe is not the one tested.
no_32bit_reason() {
  if [ -n "${TVUNINST_NO_32BIT:-}" ]; then
    echo "32-bit turned off by TVUNINST_NO_32BIT"
  else
    echo "this machine cannot run 32-bit programs"
  fi
}
