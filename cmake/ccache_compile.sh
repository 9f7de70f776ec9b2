#!/bin/sh
# The compiler launcher: compiles through ccache and shares the cache between
# clones in other folders (paths under the source root are hashed relative to
# it). When ccache itself fails (a cache folder that cannot be made or
# written), the compiler runs alone: a broken cache never fails the build.
# Usage: ccache_compile.sh <source root> <compiler> <arguments>...
CCACHE_BASEDIR=$1
shift
CCACHE_NOHASHDIR=1
# Precompiled headers are cached only with these; a fresh clone's headers are
# all newer than the cache.
CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
export CCACHE_BASEDIR CCACHE_NOHASHDIR CCACHE_SLOPPINESS

errors=$(mktemp "${TMPDIR:-/tmp}/wexal-ccache.XXXXXX" 2>/dev/null) || exec "$@"
trap 'rm -f "$errors"; exit 130' INT TERM
ccache "$@" 2>"$errors"
status=$?
if [ "$status" -ne 0 ] && grep -q '^ccache: error:' "$errors"; then
  rm -f "$errors"
  exec "$@"
fi
cat "$errors" >&2
rm -f "$errors"
exit "$status"
