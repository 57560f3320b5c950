# SPDX-License-Identifier: MIT
# Sourced by the scripts that run sanitizer builds: the options every such run shares.
#
# The `__tls_get_addr` interception of GCC 12's and Clang 14's sanitizer runtime takes a
# dynamic TLS block that malloc happened to place 16 bytes past a page boundary for one
# carrying the header glibc stopped writing in 2.25, and reads a start and a size from the
# two words before it. LeakSanitizer's stop-the-world thread then scans from a wild address
# and dies ("Tracer caught signal 11") after a test that passed, at random. Without the
# interception, dynamic TLS is still scanned: glibc allocates its blocks, and the table that
# points to them, with malloc.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}intercept_tls_get_addr=0"
